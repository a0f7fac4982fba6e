// One frei0r filter instance: the effect applied to frames of one size by the
// reference host, through the effect's entry point, one render command a frame.
//
// Video hosts render frames in parallel (MLT does), and a Host dispatches one
// command at a time, so every update takes a set-up host of its own from the
// instance (made when none is idle) and gives it back afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "frei0r/FilterParams.h"
#include "host/Host.h"
#include "host/PluginModule.h"
#include "params/EffectParams.h"
#include "host/World.h"

namespace vfrei0r {

class Filter {
public:
    // Throws HostError (or bad_alloc) when the effect cannot be set up.
    Filter(int width, int height);
    ~Filter();
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
    struct Renderer;
    std::unique_ptr<Renderer> MakeRenderer() const;

    const int width_;
    const int height_;
    vparams::Declaration declared_;
    mutable std::mutex mutex_;
    vparams::EffectValues values_;
    std::vector<std::unique_ptr<Renderer>> idle_;
    bool reported_ = false;
};

// The effect linked into the filter, wrapped as a loaded module would be.
const vhost::PluginModule& LinkedEffect();

// Host ticks of `seconds` at `time_scale` ticks a second, rounded and held
// to what PF_InData's current_time holds; 0 when not a number.
A_long HostTime(double seconds, A_u_long time_scale);

}  // namespace vfrei0r
