// One frei0r filter instance: the effect applied to frames of one size, one
// render command a frame, through the renderer every embedding filter shares.
#pragma once

#include <cstdint>
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
    void Update(double time, const uint32_t* in, uint32_t* out);

private:
    const int width_;
    const int height_;
    vembed::FrameRenderer renderer_;
    mutable std::mutex mutex_;
    vparams::EffectValues values_;
    bool reported_ = false;
};

}  // namespace vfrei0r
