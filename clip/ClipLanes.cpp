#include "clip/ClipLanes.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "clip/ClipChecks.h"
#include "host/HostError.h"
#include "host/Render.h"
#include "host/SetUp.h"
#include "params/EffectParams.h"
#include "support/InputError.h"

namespace vclip {

namespace {

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

class LaneRunner {
public:
    LaneRunner(const ClipWork& work, std::atomic<bool>& stop, ClipProgress& meter)
        : work_(work), stop_(stop), meter_(meter),
          total_time_(static_cast<A_long>((work.plan.requested.Back() + 1) * work.rate.step)) {}

    // One module; the session's host renders the first lane, a host of its own each other lane.
    void MakeLanes(LaneSizes sizes, EffectSession& session) {
        lanes_.resize(static_cast<size_t>(sizes.jobs));
        for (size_t i = 0; i < lanes_.size(); ++i) {
            Lane& lane = lanes_[i];
            if (i == 0) {
                lane.host = &session.Host();
            } else {
                lane.owned = std::make_unique<vhost::Host>(session.Module(), work_.effect.host_app);
                lane.host = lane.owned.get();
                vhost::SetUpEffect(*lane.host);
            }
            lane.host->threads = sizes.threads;
            lane.host->record_commands = work_.record_commands;
            lane.host->abort_requested = [this] { return stop_.load(); };
        }
    }

    // A still INPUT is read once; every lane renders from a view of it.
    void ShareStill() {
        if (work_.plan.input_pattern) return;
        still_input_ = std::make_unique<InputImage>(work_.plan.still);
        still_world_ = std::make_unique<vhost::World>(LoadInputWorld(*still_input_, work_.effect));
        const vhost::World& still = *still_world_;
        for (Lane& lane : lanes_) {
            lane.input.emplace(
                vhost::World::Over(still.Layout(), still.Width(), still.Height(), still.Def().data, still.RowBytes()));
        }
    }

    ClipOutcome Run() {
        meter_.Begin();
        std::vector<std::thread> workers;
        for (size_t i = 1; i < lanes_.size(); ++i) workers.emplace_back([this, i] { Work(lanes_[i]); });
        Work(lanes_[0]);
        for (std::thread& t : workers) t.join();
        meter_.Finish(outcome_.AllDone(work_.plan));
        for (const Lane& lane : lanes_) {
            vhost::RequireBalancedLedgers(*lane.host);
            outcome_.log.insert(outcome_.log.end(), lane.log.begin(), lane.log.end());
        }
        std::sort(outcome_.log.begin(), outcome_.log.end(),
                  [](const LoggedCommand& a, const LoggedCommand& b) { return *a.frame < *b.frame; });
        return std::move(outcome_);
    }

private:
    // The frame's input into the lane's input world: read anew, or scaled down into a world of its own.
    std::unique_ptr<InputImage> ReadInput(Lane& lane, long frame) {
        if (still_world_) return nullptr;
        std::unique_ptr<InputImage> file = OpenFrame(work_.plan, frame);
        if (work_.effect.downsample > 1) {
            lane.input.emplace(LoadInputWorld(*file, work_.effect));
        } else {
            if (!lane.input) lane.input.emplace(work_.effect.layout, work_.plan.shape.width, work_.plan.shape.height);
            file->ReadInto(*lane.input);
        }
        return file;
    }

    // One frame: its values and time into the lane's parameter array and
    // PF_InData, one render command, the output written whole.
    void RenderOne(Lane& lane, long frame) {
        const Clock::time_point start = Clock::now();
        const ClipPlan& plan = work_.plan;
        vhost::Host& host = *lane.host;
        const std::unique_ptr<InputImage> file = ReadInput(lane, frame);
        vhost::World& in = *lane.input;
        if (!lane.output) lane.output.emplace(work_.effect.layout, in.Width(), in.Height());
        vparams::ApplyEffectValues(host, work_.keys.At(frame, work_.effect.values), plan.shape.width,
                                   plan.shape.height);
        vhost::FrameSettings settings;
        settings.downsample = work_.effect.downsample;
        settings.pixel_aspect = work_.effect.pixel_aspect;
        settings.time = vhost::FrameTime{static_cast<A_long>(frame * work_.rate.step),
                                         static_cast<A_long>(work_.rate.step),
                                         static_cast<A_u_long>(work_.rate.scale), total_time_};
        const PF_Err err = vhost::RenderFrame(host, in, *lane.output, settings);
        if (host.record_commands) lane.log.push_back({frame, host.Commands().back()});
        if (err == PF_Interrupt_CANCEL && stop_) return;  // asked to stop: the frame is dropped whole
        if (err != PF_Err_NONE) {
            throw vhost::HostError("the effect failed to render '" + plan.InputPath(frame) + "': error " +
                                   DescribeError(err));
        }
        vimaging::WriteOptions options = ClipWriteOptions(work_.effect);
        options.source = still_input_ ? still_input_->Source() : file->Source();
        const std::string path = plan.output.Path(frame);
        vimaging::WriteWorld(path, *lane.output, options);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outcome_.done.push_back(frame);
        }
        meter_.FrameDone(frame, path, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }

    // Frames in order from the shared counter until none is left or the clip stops.
    void Work(Lane& lane) {
        while (!stop_) {
            const size_t index = next_++;
            if (index >= work_.plan.frames.Size()) return;
            const long frame = work_.plan.frames.At(index);
            try {
                RenderOne(lane, frame);
            } catch (const std::exception& e) {
                Fail({frame, e.what(), dynamic_cast<const vsupport::InputError*>(&e) != nullptr});
            }
        }
    }

    void Fail(FrameFailure failure) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!outcome_.failure) outcome_.failure = std::move(failure);
        stop_ = true;
    }

    const ClipWork& work_;
    std::atomic<bool>& stop_;
    ClipProgress& meter_;
    const A_long total_time_;
    std::vector<Lane> lanes_;
    std::unique_ptr<InputImage> still_input_;
    std::unique_ptr<vhost::World> still_world_;
    std::atomic<size_t> next_{0};
    std::mutex mutex_;
    ClipOutcome outcome_;
};

}  // namespace

LaneSizes SizeLanes(int jobs_given, int threads_given, double frame_bytes, size_t frames) {
    const int cores = UsableCores();
    int jobs = jobs_given;
    int threads = threads_given;
    if (jobs == 0) {
        jobs = threads > 0 ? std::max(1, cores / threads) : cores;
        const double memory = AvailableMemory();
        if (memory > 0) jobs = std::min(jobs, std::max(1, static_cast<int>(memory / 2 / (2 * frame_bytes))));
    }
    if (threads == 0) threads = std::max(1, cores / jobs);
    jobs = static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs), frames));
    return {jobs, threads};
}

ClipOutcome RunLanes(const ClipWork& work, LaneSizes sizes, EffectSession& session, std::atomic<bool>& stop,
                     ClipProgress& meter) {
    LaneRunner runner(work, stop, meter);
    runner.MakeLanes(sizes, session);
    runner.ShareStill();
    return runner.Run();
}

}  // namespace vclip
