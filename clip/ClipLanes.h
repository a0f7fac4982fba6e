// A clip's frames in flight: how many lanes and threads the machine holds,
// and the lanes themselves, each rendering frame after frame through one
// loaded module until the frames run out or the clip is stopped.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "clip/ClipPlan.h"
#include "clip/ClipProgress.h"
#include "clip/CommandLog.h"
#include "clip/EffectSetup.h"
#include "imaging/ImageIO.h"
#include "params/Keyframes.h"

namespace vclip {

// Frames in flight and the iterate threads of each.
struct LaneSizes {
    int jobs = 1;
    int threads = 1;
};

// Together about the cores this process may use: --jobs (0: as many as fit,
// two frames a lane in at most half the memory free now) and --threads (0:
// the cores shared among the lanes); never more lanes than frames.
LaneSizes SizeLanes(int jobs_given, int threads_given, double frame_bytes, size_t frames);

// What every frame is rendered with, fixed before the first.
struct ClipWork {
    const ClipPlan& plan;
    const ResolvedEffect& effect;  // its warnings printed already
    const vparams::Keyframes& keys;
    vparse::FrameRate rate;
    bool record_commands = false;
};

struct FrameFailure {
    long frame = 0;
    std::string message;
    bool input_error = false;  // a mistake in the user's files, not the host's or the module's
};

struct ClipOutcome {
    std::vector<long> done;  // written, in the order they finished
    std::optional<FrameFailure> failure;
    std::vector<LoggedCommand> log;  // by frame
    bool AllDone(const ClipPlan& plan) const { return done.size() == plan.frames.Size() && !failure; }
};

// Renders the plan's frames in `sizes.jobs` lanes; the session's host renders
// the first. Stops after the frames in flight when `stop` is raised or a frame
// fails; every host's ledgers are checked after.
ClipOutcome RunLanes(const ClipWork& work, LaneSizes sizes, EffectSession& session, std::atomic<bool>& stop,
                     ClipProgress& meter);

}  // namespace vclip
