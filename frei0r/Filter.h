// One frei0r filter instance: the effect applied to frames of one size, one
// render command a frame, through the renderer every embedding filter shares.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

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
    // The bands of one frame share its time and lie at whole multiples of a
    // band in both the input and the output buffer; MLT runs them all, at
    // once or in turn, before the frame goes on. The first band that finds
    // such a neighbour turns the instance to passing frames through, and the
    // bands of that frame still being drawn put their input back (MLT's bands
    // have an input and an output of their own; in place nothing tells a band
    // from a frame rendered again). A band that
    // has already returned is never written again: its buffer is the host's,
    // and may be gone. So only an instance's first frame can keep a mask, in
    // bands that finished before another band arrived.
    void Update(double time, const uint32_t* in, uint32_t* out);
    // The frame unchanged, for an update that could not finish.
    void PassThrough(const uint32_t* in, uint32_t* out) const noexcept;

private:
    // An update of the current time, drawn or being drawn.
    struct Drawn {
        uint64_t id;
        double time;
        uintptr_t in, out;
        bool rendering;
        bool restore;  // found to be a band while rendering
    };

    // Both under mutex_.
    bool IsBandOf(const Drawn& d, uintptr_t in, uintptr_t out) const;
    void Restore(Drawn& d) const;

    const int width_;
    const int height_;
    const size_t bytes_;
    vembed::FrameRenderer renderer_;
    mutable std::mutex mutex_;
    vparams::EffectValues values_;
    bool reported_ = false;
    bool sliced_ = false;
    uint64_t updates_ = 0;
    double last_time_ = 0;
    std::vector<Drawn> drawn_;
};

}  // namespace vfrei0r
