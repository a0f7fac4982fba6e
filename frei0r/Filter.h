// One frei0r filter instance: the effect applied to frames of one size, one
// render command a frame, through the renderer every embedding filter shares.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <mutex>

#include "embed/FrameRenderer.h"
#include "params/EffectValues.h"

namespace vfrei0r {

class Filter {
public:
    // Throws HostError (or bad_alloc) when the effect cannot be set up.
    Filter(int width, int height);
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    // Safe from any thread at any time.
    void Set(int index, double value);
    double Get(int index) const;

    // Renders `in` into `out` (width x height RGBA, rows tight) at `time`
    // seconds. When the effect fails, the frame passes through unchanged and
    // the first failure is reported on stderr.
    //
    // MLT slices a frei0r filter's frame between threads when its `threads`
    // property is 0 or above 1: the instance is made for a band of rows and
    // sees each band as a whole frame, so a mask would be drawn in every band.
    // Bands are parts of one buffer, so an update whose rows adjoin those of a
    // recent one can only be a band: from then on every frame passes through.
    void Update(double time, const uint32_t* in, uint32_t* out);
    bool Sliced() const;

private:
    const int width_;
    const int height_;
    vembed::FrameRenderer renderer_;
    mutable std::mutex mutex_;
    vparams::EffectValues values_;
    bool reported_ = false;
    bool sliced_ = false;
    // The frames of the last few updates, for telling bands apart from frames.
    std::deque<std::pair<uintptr_t, uintptr_t>> recent_;
};

}  // namespace vfrei0r
