// `vellora render` on a clip, on the command line: its options, and the
// steps of clip/ in the order a clip takes them.
#include "cli/ClipRender.h"

#include <unistd.h>

#include "cli/ExitStatus.h"
#include "clip/ClipChecks.h"
#include "clip/ClipLanes.h"
#include "clip/ClipPlan.h"
#include "clip/ClipProgress.h"
#include "clip/ClipReport.h"
#include "clip/StopSignals.h"
#include "support/InputError.h"

namespace vcli {

namespace {

// The clip's own options as values: --fps, --jobs and --progress.
struct ClipValues {
    vparse::FrameRate rate;
    int jobs = 0;  // 0: as many as fit
    bool json = false;
};

ClipValues ParseClipValues(const ClipOptions& clip) {
    ClipValues values;
    if (!clip.fps.empty()) values.rate = ParseFrameRate(clip.fps, "--fps");
    if (!clip.jobs.empty()) values.jobs = static_cast<int>(ParseInteger(clip.jobs, "--jobs", 1, 256));
    const std::string progress = Trim(clip.progress);
    if (!progress.empty() && progress != "line" && progress != "json") {
        throw vsupport::InputError("--progress '" + clip.progress +
                                   "' is not a progress format (expected line or json)");
    }
    values.json = progress == "json";
    return values;
}

// Everything from the options to the last report; `stop` is made before, so
// every thread leaves the signals to its watcher.
void RenderClipSteps(const std::string& input, const std::string& output, const EffectOptions& effect_options,
                     const ClipOptions& clip, bool quiet, vclip::ClipStop& stop) {
    ResolvedEffect effect = ResolveEffectOptions(effect_options);
    vclip::ClipPlan plan = vclip::PlanPatterns(input, output, !clip.frames.empty());
    const ClipValues values = ParseClipValues(clip);
    CheckCommandLog(clip.command_log);
    const vparams::Keyframes keys =
        clip.keys.empty() ? vparams::Keyframes() : vclip::ReadKeys(clip.keys, effect_options, effect.declared);

    // Planning looks at every frame's name and header: stop between any two looks.
    const vclip::Poll poll = [&stop] { stop.Poll(); };
    plan.requested = vclip::ChooseFrames(plan, clip.frames, poll);
    vclip::CheckTimeRange(plan.requested, values.rate);
    vclip::PlanOutputs(plan, clip.skip_existing, poll);
    stop.Poll();
    if (plan.frames.Empty()) {
        vclip::ReportNothingToRender(plan.requested, quiet);
        if (!clip.command_log.empty()) WriteCommandLog(clip.command_log, {});
        return;
    }

    vclip::ClipProgress meter(!quiet && isatty(STDERR_FILENO), values.json, plan.frames.Size());
    vclip::CheckInputShapes(plan, effect.downsample, meter, poll);
    FollowInputDepth(effect, plan.shape.type, plan.InputPath(plan.frames.Front()));
    vclip::CheckOutputs(plan, effect, poll);
    stop.Poll();
    PrintWarnings(effect);
    effect.warnings.clear();  // said once, not again by each frame's read

    const double frame_bytes =
        static_cast<double>(plan.out_width) * plan.out_height * vhost::BytesPerPixel(effect.layout);
    const vclip::LaneSizes sizes = vclip::SizeLanes(values.jobs, effect.threads, frame_bytes, plan.frames.Size());
    EffectSession session(effect, plan.shape.width, plan.shape.height);
    const vclip::ClipWork work{plan, effect, keys, values.rate, !clip.command_log.empty()};
    const vclip::ClipOutcome outcome = vclip::RunLanes(work, sizes, session, stop.Flag(), meter);
    if (!clip.command_log.empty()) WriteCommandLog(clip.command_log, outcome.log);
    if (const int code = vclip::ReportOutcome(plan, outcome, stop.Signal())) throw ExitStatus{code};
}

}  // namespace

void AddClipOptions(CLI::App* app, ClipOptions& o) {
    const char* group = "Clips (INPUT and OUTPUT as frame patterns: shot.%04d.png or shot.####.png)";
    const auto add = [&](const char* name, std::string& value, const char* help, const char* type) {
        app->add_option(name, value, help)->type_name(type)->check(NonEmpty())->group(group);
    };
    add("--frames", o.frames,
        "Frames to render, such as 1-100 or 1-10,21-30 [every frame of the INPUT sequence, which must have no gaps]; "
        "with a still INPUT, the frames of the OUTPUT pattern it is rendered to",
        "A-B[,C-D]");
    add("--keys", o.keys,
        "JSON file of keys by parameter name: {\"width\": [{\"frame\": 1, \"value\": 300}, {\"frame\": 25, "
        "\"value\": 900, \"interpolation\": \"hold\"}]}; numbers and origin interpolate linearly, popups and invert "
        "hold",
        "FILE");
    add("--fps", o.fps, "Frame rate that sets each frame's time, as 25, 30000/1001 or 29.97 [25]", "RATE");
    add("--jobs", o.jobs,
        "Frames in flight at once, 1 to 256 [as many as the cores hold with --threads each; by default one thread "
        "a frame, a frame a core]",
        "N");
    add("--progress", o.progress,
        "line: frames done, frames a second and time left on one line of a terminal (hidden by -q); json: one line "
        "{\"frame\", \"file\", \"milliseconds\"} on standard output per finished frame [line]",
        "line|json");
    app->add_flag("--skip-existing", o.skip_existing, "Leave frames whose output file exists alone")->group(group);
    app->add_option("--command-log", o.command_log,
                    "Write one JSON line per render command sent: frame, current_time, time_step, time_scale, "
                    "total_time and the plug-in's result")
        ->type_name("FILE")
        ->check(NonEmpty())
        ->group("Host");
}

bool IsClip(const std::string& input, const std::string& output, const ClipOptions& clip) {
    return !clip.frames.empty() || vclip::FramePattern::Parse(input, "INPUT") || vclip::FramePattern::Parse(output, "OUTPUT");
}

void RefuseClipOptions(const ClipOptions& clip) {
    const std::pair<const char*, bool> only_clips[] = {
        {"--keys", !clip.keys.empty()},
        {"--fps", !clip.fps.empty()},
        {"--jobs", !clip.jobs.empty()},
        {"--progress", !clip.progress.empty()},
        {"--skip-existing", clip.skip_existing},
    };
    for (const auto& option : only_clips) {
        if (option.second) {
            throw vsupport::InputError(std::string(option.first) +
                            " is for clips: give OUTPUT a frame pattern (shot.####.png) and INPUT one too, or "
                            "--frames for a still INPUT");
        }
    }
}

void RenderClip(const std::string& input, const std::string& output, const EffectOptions& effect_options,
                const ClipOptions& clip, bool quiet) {
    vclip::ClipStop stop;  // before any thread starts
    try {
        RenderClipSteps(input, output, effect_options, clip, quiet, stop);
    } catch (const vclip::ClipInterrupted& interrupted) {
        throw ExitStatus{interrupted.exit_code};
    }
}

}  // namespace vcli
