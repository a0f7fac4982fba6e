#include "clip/ClipReport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "clip/ClipLanes.h"
#include "clip/ClipPlan.h"
#include "clip/StopSignals.h"
#include "host/HostError.h"
#include "support/InputError.h"

namespace vclip {

std::string FramesAre(const FrameList& frames) {
    return (frames.Size() == 1 ? "frame " : "frames ") + frames.Describe() + (frames.Size() == 1 ? " is" : " are");
}

std::string CompletionState(const FrameList& complete, const FrameList& missing) {
    if (complete.Empty()) return "no frame is complete";
    return FramesAre(complete) + " complete" + (missing.Empty() ? "" : ", " + FramesAre(missing) + " not");
}

void ReportNothingToRender(const FrameList& requested, bool quiet) {
    if (quiet) return;
    std::fprintf(stderr, "vellora: %s written already; nothing to render (--skip-existing)\n",
                 FramesAre(requested).c_str());
}

int ReportOutcome(const ClipPlan& plan, const ClipOutcome& outcome, int signal) {
    if (outcome.AllDone(plan) && signal == 0) return 0;
    std::vector<long> complete_frames = plan.existing;
    complete_frames.insert(complete_frames.end(), outcome.done.begin(), outcome.done.end());
    std::sort(complete_frames.begin(), complete_frames.end());
    const FrameList complete = FrameList::Of(complete_frames);
    const FrameList missing = plan.requested.Without(complete);
    const std::string state = CompletionState(complete, missing);
    if (const auto& failure = outcome.failure) {
        const std::string message = "frame " + std::to_string(failure->frame) + ": " + failure->message + "; " + state;
        if (failure->input_error) throw vsupport::InputError(message);
        throw vhost::HostError(message);
    }
    std::fprintf(stderr, "vellora: interrupted by %s: %s%s\n", signal == SIGTERM ? "SIGTERM" : "SIGINT",
                 state.c_str(), missing.Empty() ? "" : " (run again with --skip-existing to finish)");
    return ExitCodeAfter(signal);
}

}  // namespace vclip
