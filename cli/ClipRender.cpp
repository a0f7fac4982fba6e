// A clip rendered: its plan (frames, files, checks made before anything is
// written), the lanes of frames in flight and the loop that feeds them. Kept
// together, a little over 500 lines, because all three work on the one plan.
#include "cli/ClipRender.h"

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "cli/ClipProgress.h"
#include "cli/ExitStatus.h"
#include "cli/FramePattern.h"
#include "cli/Parse.h"
#include "cli/StopSignals.h"
#include "host/HostError.h"
#include "host/Render.h"
#include "host/SetUp.h"
#include "imaging/AtomicFile.h"
#include "imaging/Formats.h"
#include "imaging/LibraryMessages.h"
#include "params/EffectParams.h"
#include "params/Keyframes.h"
#include "params/ParamTable.h"

namespace vcli {

namespace {

using vhost::HostError;
using Clock = std::chrono::steady_clock;

// Cores this process may run on (a farm task may be given fewer than the machine has).
int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// Memory the system can give without swapping, in bytes; 0 when unknown.
double AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        double kb = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %lf kB", &kb) == 1) return kb * 1024.0;
    }
    return 0;
}

// Keys for a parameter whose value an option also gives are refused: one
// value, one way.
vparams::Keyframes ReadKeys(const std::string& path, const EffectOptions& options,
                            const vparams::Declaration& declared) {
    const std::string text = vimaging::ReadTextFile(path, vparams::kMaxKeysBytes, "--keys");
    vparams::Keyframes keys = vparams::Keyframes::FromJsonText(text, "--keys '" + path + "'", declared);
    const std::vector<vparams::ParamEntry>& table = vparams::ParamTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const EffectOptions::Param& given = options.params[i];
        if (!keys.Has(table[i].key) || (given.text.empty() && !given.on && !given.off)) continue;
        const std::string option = given.off ? "--no-" + std::string(table[i].option + 2) : table[i].option;
        throw HostError(option + " is given and '" + table[i].key + "' has keys in --keys '" + path +
                        "'; give its value one way");
    }
    return keys;
}

// Everything known about the clip before the first frame is rendered.
struct ClipPlan {
    std::optional<FramePattern> input_pattern;
    std::string still;  // the input when it is one image
    FramePattern output;
    FrameList frames;             // to render, in order
    std::vector<long> existing;   // left alone (--skip-existing)
    int width = 0, height = 0;
    vimaging::SampleType type = vimaging::SampleType::U8;

    std::string InputPath(long frame) const { return input_pattern ? input_pattern->Path(frame) : still; }
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Which frames to render: --frames, else every frame of the input sequence,
// which must have no gaps. Every input frame must exist. The folder is
// listed once, however many frames the list names.
FrameList ChooseFrames(const ClipPlan& plan, const ClipOptions& clip, const std::function<void()>& poll) {
    if (!clip.frames.empty()) {
        FrameList frames = ParseFrames(clip.frames, "--frames");
        if (plan.input_pattern) {
            const FrameList missing = frames.Without(FrameList::Of(plan.input_pattern->FramesOnDisk(poll)));
            if (missing.Size() == 1) {
                throw HostError("INPUT '" + plan.input_pattern->Text() + "' has no frame " +
                                std::to_string(missing.Front()) + ": '" + plan.input_pattern->Path(missing.Front()) +
                                "' does not exist");
            }
            if (!missing.Empty()) {
                throw HostError("INPUT '" + plan.input_pattern->Text() + "' lacks frames " + missing.Describe() +
                                " of --frames " + Trim(clip.frames) + " (the first missing is '" +
                                plan.input_pattern->Path(missing.Front()) + "')");
            }
        }
        return frames;
    }
    const FrameList frames = FrameList::Of(plan.input_pattern->FramesOnDisk(poll));
    if (frames.Empty()) {
        throw HostError("INPUT '" + plan.input_pattern->Text() + "': no files match the pattern");
    }
    const FrameList gaps = FrameList({{frames.Front(), frames.Back()}}).Without(frames);
    if (!gaps.Empty()) {
        throw HostError("INPUT '" + plan.input_pattern->Text() + "' has gaps: " +
                        (gaps.Size() == 1 ? "frame " + gaps.Describe() + " is" : "frames " + gaps.Describe() + " are") +
                        " missing between " + std::to_string(frames.Front()) + " and " +
                        std::to_string(frames.Back()) + "; name the frames to render with --frames");
    }
    if (frames.Size() > static_cast<size_t>(kMaxClipFrames)) {
        throw HostError("INPUT '" + plan.input_pattern->Text() + "' has more than " + std::to_string(kMaxClipFrames) +
                        " frames; render it in parts with --frames");
    }
    return frames;
}

// The frames of the list whose output name is taken (a file, a folder, a
// link, even a broken one): one listing of the folder, or where it cannot be
// listed, a look at each name.
std::vector<long> TakenOutputs(const ClipPlan& plan, const FrameList& frames, const std::function<void()>& poll) {
    std::vector<long> taken;
    try {
        for (long f : plan.output.FramesOnDisk(poll)) {
            if (frames.Contains(f)) taken.push_back(f);
        }
        return taken;
    } catch (const HostError&) {
        // A folder that cannot be listed (write-only) or does not exist yet: its own errors come later.
    }
    for (size_t i = 0; i < frames.Size(); ++i) {
        if (i % 4096 == 0) poll();
        const long f = frames.At(i);
        struct stat st {};
        if (::lstat(plan.output.Path(f).c_str(), &st) == 0) taken.push_back(f);
    }
    return taken;
}

// No output frame may be one of the input's files, under any name. Only
// outputs that exist can be; each input is looked at once.
void RefuseOverwritingInput(const ClipPlan& plan, const FrameList& frames, const std::vector<long>& taken,
                            const std::function<void()>& poll) {
    std::map<std::pair<dev_t, ino_t>, long> outputs;
    for (long f : taken) {
        struct stat st {};
        if (::stat(plan.output.Path(f).c_str(), &st) == 0) outputs.emplace(std::make_pair(st.st_dev, st.st_ino), f);
    }
    if (outputs.empty()) return;
    const auto check = [&](const std::string& input) {
        struct stat st {};
        if (::stat(input.c_str(), &st) != 0) return;
        const auto hit = outputs.find({st.st_dev, st.st_ino});
        if (hit == outputs.end()) return;
        throw HostError("OUTPUT '" + plan.output.Text() + "' would overwrite the input: frame " +
                        std::to_string(hit->second) + " is written to '" + plan.output.Path(hit->second) +
                        "', which is the input file '" + input + "'");
    };
    if (!plan.input_pattern) {
        check(plan.still);
        return;
    }
    for (size_t i = 0; i < frames.Size(); ++i) {
        if (i % 1024 == 0) poll();
        check(plan.input_pattern->Path(frames.At(i)));
    }
}

// The input file of a frame, checked against the clip's size and depth again:
// a file replaced since the check would otherwise be rendered wrong.
std::unique_ptr<InputImage> OpenFrame(const ClipPlan& plan, long frame) {
    const std::string path = plan.InputPath(frame);
    auto file = std::make_unique<InputImage>(path);
    if (file->Width() != plan.width || file->Height() != plan.height || file->Type() != plan.type) {
        throw HostError("'" + path + "' has changed since the clip was checked (" + std::to_string(file->Width()) +
                        "x" + std::to_string(file->Height()) + " " + vimaging::SampleTypeName(file->Type()) + ")");
    }
    return file;
}

// One frame in flight: its own host on the shared module, so its parameter
// array and records are its own, as a host keeps them per render thread; and
// its own input and output worlds, kept from frame to frame (every pixel of
// both is written anew), so a frame costs no allocation of its size.
struct Lane {
    vhost::Host* host = nullptr;
    std::unique_ptr<vhost::Host> owned;
    std::vector<LoggedCommand> log;
    std::optional<vhost::World> input, output;
};

struct Failure {
    long frame = 0;
    std::string message;
};

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
    return !clip.frames.empty() || FramePattern::Parse(input, "INPUT") || FramePattern::Parse(output, "OUTPUT");
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
            throw HostError(std::string(option.first) +
                            " is for clips: give OUTPUT a frame pattern (shot.####.png) and INPUT one too, or "
                            "--frames for a still INPUT");
        }
    }
}

void CheckCommandLog(const std::string& path) {
    if (!path.empty()) vimaging::FindOutputTarget(path, true, "--command-log");
}

void WriteCommandLog(const std::string& path, const std::vector<LoggedCommand>& commands) {
    std::string text;
    for (const LoggedCommand& c : commands) {
        nlohmann::ordered_json j;
        const char* name = vhost::CommandName(c.record.cmd);
        j["command"] = name ? name : std::to_string(c.record.cmd);
        if (c.frame) j["frame"] = *c.frame;
        j["current_time"] = c.record.current_time;
        j["time_step"] = c.record.time_step;
        j["time_scale"] = c.record.time_scale;
        j["total_time"] = c.record.total_time;
        j["result"] = c.record.result;
        text += j.dump() + "\n";
    }
    vimaging::WriteTextAtomically(path, text, "--command-log");
}

void RenderClip(const std::string& input, const std::string& output, const EffectOptions& effect_options,
                const ClipOptions& clip, bool quiet) {
    // Before any thread starts, so every one of them leaves the signals to the watcher.
    std::atomic<bool> stop{false};
    StopSignals signals(stop);
    const auto interrupted_early = [&] {
        if (!stop) return;
        std::fprintf(stderr, "vellora: interrupted before the first frame; nothing was written\n");
        throw ExitStatus{signals.Received() == SIGTERM ? 143 : 130};
    };

    ResolvedEffect effect = ResolveEffectOptions(effect_options);
    ClipPlan plan;
    plan.input_pattern = FramePattern::Parse(input, "INPUT");
    const std::optional<FramePattern> output_pattern = FramePattern::Parse(output, "OUTPUT");
    if (!output_pattern) {
        if (plan.input_pattern) {
            throw HostError("INPUT '" + input + "' is a frame pattern but OUTPUT '" + output +
                            "' is not; give OUTPUT one too, such as out.####.png");
        }
        throw HostError("--frames renders a clip: give OUTPUT a frame pattern, such as out.####.png");
    }
    plan.output = *output_pattern;
    if (!plan.input_pattern) {
        if (clip.frames.empty()) {
            throw HostError("OUTPUT '" + output + "' is a frame pattern but INPUT '" + input +
                            "' is one image: give INPUT a frame pattern too, or --frames to render the still "
                            "under animated values");
        }
        plan.still = input;
    }

    const FrameRate rate = clip.fps.empty() ? FrameRate{} : ParseFrameRate(clip.fps, "--fps");
    const long jobs_given = clip.jobs.empty() ? 0 : ParseInteger(clip.jobs, "--jobs", 1, 256);
    const std::string progress = Trim(clip.progress);
    if (!progress.empty() && progress != "line" && progress != "json") {
        throw HostError("--progress '" + clip.progress + "' is not a progress format (expected line or json)");
    }
    CheckCommandLog(clip.command_log);
    const vparams::Keyframes keys = clip.keys.empty() ? vparams::Keyframes() : ReadKeys(clip.keys, effect_options, effect.declared);

    // Planning looks at every frame's name and header: stop between any two looks.
    const auto poll = [&] { interrupted_early(); };
    const FrameList frames = ChooseFrames(plan, clip, poll);
    const long last = frames.Back();
    if ((last + 1) > std::numeric_limits<A_long>::max() / rate.step) {
        throw HostError("frame " + std::to_string(last) + " at " + std::to_string(rate.scale) + "/" +
                        std::to_string(rate.step) + " frames a second lies past the time a host can send "
                        "(2147483647 units of 1/" + std::to_string(rate.scale) + " s)");
    }
    const std::vector<long> taken = TakenOutputs(plan, frames, poll);
    RefuseOverwritingInput(plan, frames, taken, poll);
    if (clip.skip_existing) {
        for (long f : taken) {
            if (Exists(plan.output.Path(f))) plan.existing.push_back(f);
        }
    }
    plan.frames = frames.Without(FrameList::Of(plan.existing));
    interrupted_early();
    if (plan.frames.Empty()) {
        if (!quiet) {
            const std::string which = (frames.Size() == 1 ? "frame " : "frames ") + frames.Describe() +
                                      (frames.Size() == 1 ? " is" : " are");
            std::fprintf(stderr, "vellora: %s written already; nothing to render (--skip-existing)\n", which.c_str());
        }
        if (!clip.command_log.empty()) WriteCommandLog(clip.command_log, {});
        return;
    }

    const bool json = progress == "json";
    ClipProgress meter(!quiet && isatty(STDERR_FILENO), json, plan.frames.Size());
    // Every frame to render has the first one's size and depth, before anything is written.
    const int n = effect.downsample;
    int out_width = 0, out_height = 0;  // the first frame's, which sizes the checks below
    {
        InputImage first(plan.InputPath(plan.frames.Front()));
        plan.width = first.Width();
        plan.height = first.Height();
        out_width = first.DownsampledWidth(n);
        out_height = first.DownsampledHeight(n);
        plan.type = first.Type();
        if (plan.input_pattern) try {
            for (size_t i = 1; i < plan.frames.Size(); ++i) {
                interrupted_early();
                meter.Checked(i, plan.frames.Size());
                const long f = plan.frames.At(i);
                const std::string path = plan.InputPath(f);
                InputImage frame(path);
                const std::string which = "INPUT frame " + std::to_string(f) + " '" + path + "'";
                if (frame.Width() != plan.width || frame.Height() != plan.height) {
                    throw HostError(which + " is " + std::to_string(frame.Width()) + "x" +
                                    std::to_string(frame.Height()) + " but frame " +
                                    std::to_string(plan.frames.Front()) + " is " + std::to_string(plan.width) + "x" +
                                    std::to_string(plan.height) + "; every frame of a clip has one size");
                }
                if (frame.Type() != plan.type) {
                    throw HostError(which + " holds " + vimaging::SampleTypeName(frame.Type()) + " samples but frame " +
                                    std::to_string(plan.frames.Front()) + " " + vimaging::SampleTypeName(plan.type) +
                                    "; every frame of a clip has one depth");
                }
            }
            meter.Finish(false);
        } catch (...) {
            meter.Finish(false);  // the message that follows starts its own line
            throw;
        }
    }
    FollowInputDepth(effect, plan.type, plan.InputPath(plan.frames.Front()));

    vimaging::WriteOptions write;
    write.type = effect.file_type;
    write.keep_source_storage = !effect.depth_given;
    write.downsample = n;
    {
        // The folder, format and depth once (every frame goes to the same
        // folder and format); each name already taken on its own (a name
        // still free has nothing to refuse).
        InputImage first(plan.InputPath(plan.frames.Front()));
        vimaging::WriteOptions check = write;
        check.source = first.Source();
        check.warn = [&effect](const std::string& warning) { effect.warnings.push_back(warning); };
        vimaging::CheckWritable(plan.output.Path(plan.frames.Front()), effect.file_type, check, out_width,
                                out_height);
        for (size_t i = 0; i < taken.size(); ++i) {
            if (i % 1024 == 0) interrupted_early();
            if (plan.frames.Contains(taken[i])) vimaging::FindOutputTarget(plan.output.Path(taken[i]), false, "OUTPUT");
        }
    }
    interrupted_early();
    PrintWarnings(effect);
    ResolvedEffect quiet_effect = effect;
    quiet_effect.warnings.clear();

    // Frames in flight and the iterate threads of each: together about the cores.
    const int cores = UsableCores();
    int jobs = static_cast<int>(jobs_given);
    int threads = effect.threads;
    if (jobs == 0) {
        jobs = threads > 0 ? std::max(1, cores / threads) : cores;
        // Two frames a frame in flight, in at most half the memory free now.
        const double frame_bytes = static_cast<double>(out_width) * out_height * vhost::BytesPerPixel(effect.layout);
        const double memory = AvailableMemory();
        if (memory > 0) jobs = std::min(jobs, std::max(1, static_cast<int>(memory / 2 / (2 * frame_bytes))));
    }
    if (threads == 0) threads = std::max(1, cores / jobs);
    jobs = static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs), plan.frames.Size()));

    // One module; the session's host renders the first lane, a host of its own each other lane.
    EffectSession session(effect, plan.width, plan.height);
    std::vector<Lane> lanes(static_cast<size_t>(jobs));
    for (size_t i = 0; i < lanes.size(); ++i) {
        Lane& lane = lanes[i];
        if (i == 0) {
            lane.host = &session.Host();
        } else {
            lane.owned = std::make_unique<vhost::Host>(session.Module(), effect.host_app);
            lane.host = lane.owned.get();
            vhost::SetUpEffect(*lane.host);
        }
        lane.host->threads = threads;
        lane.host->record_commands = !clip.command_log.empty();
        lane.host->abort_requested = [&stop] { return stop.load(); };
    }

    // A still INPUT is read once; every lane renders from a view of it.
    std::unique_ptr<InputImage> still_input;
    std::unique_ptr<vhost::World> still_world;
    if (!plan.input_pattern) {
        still_input = std::make_unique<InputImage>(plan.still);
        still_world = std::make_unique<vhost::World>(LoadInputWorld(*still_input, quiet_effect));
        for (Lane& lane : lanes) {
            lane.input.emplace(vhost::World::Over(still_world->Layout(), still_world->Width(), still_world->Height(),
                                                  still_world->Def().data, still_world->RowBytes()));
        }
    }

    meter.Begin();
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::vector<long> done;
    std::optional<Failure> failure;
    const A_long total_time = static_cast<A_long>((last + 1) * rate.step);

    // One frame: its values and time into the lane's parameter array and
    // PF_InData, one render command, the output written whole.
    const auto render_frame = [&](Lane& lane, long frame) {
        const Clock::time_point start = Clock::now();
        vhost::Host& host = *lane.host;
        std::unique_ptr<InputImage> file;
        if (!still_world) {
            file = OpenFrame(plan, frame);
            if (effect.downsample > 1) {
                lane.input.emplace(LoadInputWorld(*file, quiet_effect));
            } else {
                if (!lane.input) lane.input.emplace(effect.layout, plan.width, plan.height);
                file->ReadInto(*lane.input);
            }
        }
        vhost::World& in = *lane.input;
        if (!lane.output) lane.output.emplace(effect.layout, in.Width(), in.Height());
        vparams::ApplyEffectValues(host, keys.At(frame, effect.values), plan.width, plan.height);
        vhost::FrameSettings settings;
        settings.downsample = effect.downsample;
        settings.pixel_aspect = effect.pixel_aspect;
        settings.time = vhost::FrameTime{static_cast<A_long>(frame * rate.step), static_cast<A_long>(rate.step),
                                         static_cast<A_u_long>(rate.scale), total_time};
        const PF_Err err = vhost::RenderFrame(host, in, *lane.output, settings);
        if (host.record_commands) lane.log.push_back({frame, host.Commands().back()});
        if (err == PF_Interrupt_CANCEL && stop) return;  // asked to stop: the frame is dropped whole
        if (err != PF_Err_NONE) {
            throw HostError("the effect failed to render '" + plan.InputPath(frame) + "': error " +
                            DescribeError(err));
        }
        vimaging::WriteOptions options = write;
        options.source = still_input ? still_input->Source() : file->Source();
        const std::string path = plan.output.Path(frame);
        vimaging::WriteWorld(path, *lane.output, options);
        {
            std::lock_guard<std::mutex> lock(mutex);
            done.push_back(frame);
        }
        meter.FrameDone(frame, path, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    };

    const auto work = [&](Lane& lane) {
        while (!stop) {
            const size_t index = next++;
            if (index >= plan.frames.Size()) return;
            const long frame = plan.frames.At(index);
            try {
                render_frame(lane, frame);
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!failure) failure = Failure{frame, e.what()};
                stop = true;
            }
        }
    };
    {
        std::vector<std::thread> workers;
        for (size_t i = 1; i < lanes.size(); ++i) workers.emplace_back(work, std::ref(lanes[i]));
        work(lanes[0]);
        for (std::thread& t : workers) t.join();
    }
    const bool all_done = done.size() == plan.frames.Size();
    meter.Finish(all_done && !failure);

    for (const Lane& lane : lanes) vhost::RequireBalancedLedgers(*lane.host);
    if (!clip.command_log.empty()) {
        std::vector<LoggedCommand> log;
        for (Lane& lane : lanes) log.insert(log.end(), lane.log.begin(), lane.log.end());
        std::sort(log.begin(), log.end(), [](const LoggedCommand& a, const LoggedCommand& b) { return *a.frame < *b.frame; });
        WriteCommandLog(clip.command_log, log);
    }

    if (all_done && !failure && signals.Received() == 0) return;
    std::vector<long> complete_frames = plan.existing;
    complete_frames.insert(complete_frames.end(), done.begin(), done.end());
    std::sort(complete_frames.begin(), complete_frames.end());
    const FrameList complete = FrameList::Of(complete_frames);
    const FrameList missing = frames.Without(complete);
    const auto frames_of = [](const FrameList& list) {
        return (list.Size() == 1 ? "frame " : "frames ") + list.Describe() + (list.Size() == 1 ? " is" : " are");
    };
    const std::string state = complete.Empty() ? std::string("no frame is complete")
                                                : frames_of(complete) + " complete" +
                                                      (missing.Empty() ? "" : ", " + frames_of(missing) + " not");
    if (failure) {
        throw HostError("frame " + std::to_string(failure->frame) + ": " + failure->message + "; " + state);
    }
    std::fprintf(stderr, "vellora: interrupted by %s: %s%s\n", signals.Received() == SIGTERM ? "SIGTERM" : "SIGINT",
                 state.c_str(), missing.Empty() ? "" : " (run again with --skip-existing to finish)");
    throw ExitStatus{signals.Received() == SIGTERM ? 143 : 130};
}

}  // namespace vcli
