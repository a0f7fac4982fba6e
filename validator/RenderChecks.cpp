// Checks of rendering: frame geometries, and renders from many threads at once.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "api/AE_EffectSuites.h"
#include "validator/Checks.h"
#include "api/DrawbotSuites.h"
#include "host/HostError.h"
#include "host/Render.h"

namespace vvalidator {

void CheckGeometry(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    std::vector<FrameSpec> frames;
    const auto add = [&](int w, int h) {
        FrameSpec f;
        f.width = w;
        f.height = h;
        frames.push_back(f);
        return &frames.back();
    };
    add(1, 1);
    add(7, 3);
    add(64, 64);
    add(1920, 1080);
    add(4097, 1);
    add(64, 64)->padding = 12;
    add(33, 17)->padding = 64;
    add(64, 64)->extent = PF_Rect{5, 7, 50, 60};
    add(64, 64)->extent = PF_Rect{0, 10, 64, 64};
    add(64, 64)->extent = PF_Rect{0, 0, 64, 20};
    {
        FrameSpec* f = add(64, 64);
        f->input_width = 40;
        f->input_height = 30;
    }
    {
        FrameSpec* f = add(64, 48);
        f->input_width = 64;
        f->input_height = 1;
    }
    {
        FrameSpec* f = add(16, 16);
        f->input_width = 32;
        f->input_height = 24;
    }
    for (int d = 1; d <= 8; ++d) {
        FrameSpec* f = add((960 + d - 1) / d, (540 + d - 1) / d);
        f->downsample = d;
    }
    for (PF_RationalScale par : {PF_RationalScale{1, 2}, PF_RationalScale{10, 11}, PF_RationalScale{4, 3},
                                 PF_RationalScale{2, 1}, PF_RationalScale{4, 1}}) {
        add(96, 54)->pixel_aspect = par;
    }

    std::vector<vhost::PixelLayout> layouts = HostLayouts(ctx.app);
    const int sets = std::max(1, ctx.level / 2);
    int rendered = 0;
    for (const FrameSpec& base : frames) {
        for (vhost::PixelLayout layout : layouts) {
            for (int s = 0; s <= sets; ++s) {
                FrameSpec spec = base;
                spec.layout = layout;
                host->InData().width = spec.width * spec.downsample;
                host->InData().height = spec.height * spec.downsample;
                ResetParams(*host);
                // The defaults first, then feathered masks of any kind.
                if (s > 0) RandomizeParams(*host, ctx.Words(), s % 2 ? ValueKind::Valid : ValueKind::Snapped);
                RenderChecked(*host, spec, ctx.Next(), ctx.findings, ctx.counters);
                ++rendered;
            }
        }
    }
    if (host->IsPremiere()) {
        // A world in a format the effect did not register is refused, untouched.
        FrameSpec spec;
        spec.layout = vhost::PixelLayout::ARGB8;
        RenderChecked(*host, spec, ctx.Next(), ctx.findings, ctx.counters);
        ++rendered;
    }
    ctx.summary = std::to_string(rendered) + " frames, " + std::to_string(frames.size()) + " geometries in " +
                  std::to_string(layouts.size()) + " pixel formats";
}

void CheckThreads(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    const int kThreads = 8;
    const int rounds = std::max(1, ctx.level);
    long frames = 0;
    for (int r = 0; r < rounds; ++r) {
        struct Job {
            std::unique_ptr<vhost::Host> host;
            FrameSpec spec;
            uint64_t seed = 0;
            std::vector<unsigned char> reference, got;
            Findings findings;
            ValidationCounters counters;
        };
        std::vector<Job> jobs(kThreads);
        for (int i = 0; i < kThreads; ++i) {
            Job& job = jobs[static_cast<size_t>(i)];
            job.host = SetUpHost(ctx, module);
            job.spec.layout = ctx.Choose(HostLayouts(ctx.app));
            // One frame per round is a large one, spread over every core (full HD from level 2 on).
            const bool large = i == 0;
            job.spec.width = large ? (ctx.level >= 2 ? 1920 : 640) : ctx.Uniform(16, 256);
            job.spec.height = large ? (ctx.level >= 2 ? 1080 : 360) : ctx.Uniform(16, 256);
            job.seed = ctx.Next();
            job.host->InData().width = job.spec.width;
            job.host->InData().height = job.spec.height;
            ResetParams(*job.host);
            RandomizeParams(*job.host, ctx.Words(), ctx.Next() % 4 == 0 ? ValueKind::Snapped : ValueKind::Valid);
            job.host->threads = 1;
            RenderChecked(*job.host, job.spec, job.seed, ctx.findings, ctx.counters, {}, &job.reference);
            job.host->threads = 0;  // all cores
        }
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (Job& job : jobs) {
            threads.emplace_back([&job, &ready]() {
                ready.fetch_add(1);
                while (ready.load() < kThreads) std::this_thread::yield();
                try {
                    RenderChecked(*job.host, job.spec, job.seed, job.findings, job.counters, {}, &job.got);
                } catch (const std::exception& e) {
                    job.findings.Add(std::string("render on its own thread failed: ") + e.what());
                }
            });
        }
        for (std::thread& t : threads) t.join();
        for (size_t i = 0; i < jobs.size(); ++i) {
            Job& job = jobs[i];
            ctx.counters.Add(job.counters);
            const std::string what = "round " + std::to_string(r + 1) + ", thread " + std::to_string(i + 1) + ", " +
                                     job.spec.Describe();
            for (const std::string& f : job.findings.Items()) ctx.findings.Add(what + ": " + f);
            if (job.got != job.reference) {
                size_t first = 0;
                while (first < job.got.size() && first < job.reference.size() && job.got[first] == job.reference[first]) ++first;
                ctx.findings.Add(what + ": differs from the single-threaded render from byte " + std::to_string(first));
            }
            ++frames;
        }
    }
    ctx.counters.threads = std::max(ctx.counters.threads, kThreads);
    ctx.summary = std::to_string(kThreads) + " threads x " + std::to_string(rounds) + " rounds, " +
                  std::to_string(frames) + " frames byte-identical to single-threaded renders";
}

}  // namespace vvalidator
