// Speed of the render path on a 3840x2160 frame, against two floors measured in
// the same run: a memcpy of the frame (the physical floor) and an iterate pass of
// the reference host whose callback only copies the pixel (the floor of the
// per-pixel callback design). Each render reports its time as ratios to both.
//
// Targets with all cores: copy pass <= 6x memcpy; hard-edged render <= 1.3x the
// copy pass; feathered Gaussian <= 5x it; outside and core pixels under 2 ns on
// one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "EffectParams.h"
#include "Host.h"
#include "PluginModule.h"
#include "Render.h"
#include "RenderSuites.h"
#include "Vellora_Mask.h"
#include "Vellora_Render.h"
#include "World.h"

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;

using Clock = std::chrono::steady_clock;

int AllCores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

const vhost::PluginModule& Module() {
    static vhost::PluginModule module(VELLORA_MODULE_PATH);
    return module;
}

// A set-up host per application, shared by every benchmark.
vhost::Host& SetUpHost(vhost::HostApp app) {
    static std::map<vhost::HostApp, std::unique_ptr<vhost::Host>> hosts;
    auto& host = hosts[app];
    if (!host) {
        host = std::make_unique<vhost::Host>(Module(), app);
        host->GlobalSetup();
        host->ParamsSetup();
    }
    return *host;
}

// Input frame with varied colour and alpha, and an output of the same layout.
struct Frame {
    vhost::World input;
    vhost::World output;
    explicit Frame(vhost::PixelLayout layout)
        : input(layout, kWidth, kHeight), output(layout, kWidth, kHeight) {
        const double full = input.FullScale();
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                input.Set(x, y, vhost::Rgba{full * x / kWidth, full * y / kHeight, full * 0.5,
                                            full * ((x + y) % 256) / 255.0});
            }
        }
    }
};

Frame& FrameOf(vhost::PixelLayout layout) {
    static std::map<vhost::PixelLayout, std::unique_ptr<Frame>> frames;
    auto& frame = frames[layout];
    if (!frame) frame = std::make_unique<Frame>(layout);
    return *frame;
}

PF_Err CopyPixel(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
    *out = *in;
    return PF_Err_NONE;
}

template <class Fn>
double Seconds(Fn fn) {
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Memcpy() {
    Frame& f = FrameOf(vhost::PixelLayout::ARGB8);
    std::memcpy(f.output.Bytes().data(), f.input.Bytes().data(), f.input.Bytes().size());
    benchmark::ClobberMemory();
}

PF_Err CopyPass(int threads) {
    vhost::Host& host = SetUpHost(vhost::HostApp::AfterEffects);
    Frame& f = FrameOf(vhost::PixelLayout::ARGB8);
    host.threads = threads;
    return vhost::IteratePixels8(host, 0, kHeight, &f.input.Def(), nullptr, nullptr, &CopyPixel, &f.output.Def());
}

// The floors are timed in the same loop as the pass they judge, one run of
// each per iteration, and compared by their fastest runs: the machine is
// shared, and the fastest run is the one least disturbed by other work.
struct Floors {
    double memcpy = 1e9, copy_pass = 1e9, measured = 1e9;
    void Time(int threads) {
        memcpy = std::min(memcpy, Seconds(Memcpy));
        copy_pass = std::min(copy_pass, Seconds([&] { CopyPass(threads); }));
    }
    void Report(benchmark::State& state, bool against_copy_pass) const {
        state.counters["ms_per_frame"] = measured * 1e3;
        state.counters["x_memcpy"] = measured / memcpy;
        if (against_copy_pass) state.counters["x_copy_pass"] = measured / copy_pass;
    }
};

void BM_Memcpy(benchmark::State& state) {
    const size_t bytes = FrameOf(vhost::PixelLayout::ARGB8).input.Bytes().size();
    for (auto _ : state) {
        state.SetIterationTime(Seconds(Memcpy));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_CopyPass(benchmark::State& state) {
    const int threads = state.range(0) ? static_cast<int>(state.range(0)) : AllCores();
    Floors floors;
    for (auto _ : state) {
        floors.memcpy = std::min(floors.memcpy, Seconds(Memcpy));
        const double t = Seconds([&] { benchmark::DoNotOptimize(CopyPass(threads)); });
        floors.measured = std::min(floors.measured, t);
        state.SetIterationTime(t);
    }
    floors.Report(state, false);
}
BENCHMARK(BM_CopyPass)->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();

enum class Case { HardEllipse8, FeatherGaussian8, HardEllipse16, FeatherGaussian16, PremiereFloat };

struct CaseSetup {
    vhost::HostApp app;
    vhost::PixelLayout layout;
    bool feathered;
};

CaseSetup SetupOf(Case c) {
    switch (c) {
        case Case::HardEllipse8:
            return {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8, false};
        case Case::FeatherGaussian8:
            return {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8, true};
        case Case::HardEllipse16:
            return {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB16, false};
        case Case::FeatherGaussian16:
            return {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB16, true};
        case Case::PremiereFloat:
            return {vhost::HostApp::Premiere, vhost::PixelLayout::BGRA32F, true};
    }
    return {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8, false};
}

// The 2400x1600 ellipse in the frame's centre; feathered ones get 400 pixels of Gaussian falloff.
void BM_Render(benchmark::State& state, Case which) {
    const CaseSetup setup = SetupOf(which);
    const int threads = state.range(0) ? static_cast<int>(state.range(0)) : AllCores();
    vhost::Host& host = SetUpHost(setup.app);
    Frame& f = FrameOf(setup.layout);
    vhost::EffectValues values;
    values.width = 2400;
    values.height = 1600;
    values.composite_mode = COMPOSITE_INTERSECT;
    if (setup.feathered) {
        values.feather = 400;
        values.falloff = FALLOFF_GAUSSIAN;
    }
    vhost::ApplyEffectValues(host, values, kWidth, kHeight);
    host.threads = threads;

    Floors floors;
    for (auto _ : state) {
        floors.Time(threads);
        host.threads = threads;
        PF_Err err = PF_Err_NONE;
        const double t = Seconds([&] { err = vhost::RenderFrame(host, f.input, f.output); });
        if (err != PF_Err_NONE) {
            state.SkipWithError("render failed");
            break;
        }
        floors.measured = std::min(floors.measured, t);
        state.SetIterationTime(t);
    }
    floors.Report(state, true);
}
BENCHMARK_CAPTURE(BM_Render, ae8_hard_ellipse, Case::HardEllipse8)
    ->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(BM_Render, ae8_gaussian_feather400, Case::FeatherGaussian8)
    ->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(BM_Render, ae16_hard_ellipse, Case::HardEllipse16)
    ->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(BM_Render, ae16_gaussian_feather400, Case::FeatherGaussian16)
    ->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(BM_Render, premiere_float_gaussian_feather400, Case::PremiereFloat)
    ->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseManualTime();

// Per-pixel cost on one row segment that lies wholly in one zone of the same
// 2400x1600 ellipse with a 400-pixel feather: Blend_8 called through a pointer
// as the host's iterate calls it (with the frame's shortcuts), and Blend_Float
// alone, inlined in a loop as the float row loop runs it.
enum class Zone { Outside, Core, Band };

struct ZoneRow {
    A_long y, x0, x1;
};

ZoneRow RowOf(Zone zone) {
    switch (zone) {
        case Zone::Outside:
            return {0, 0, kWidth};  // the top row
        case Zone::Core:
            return {1080, 1220, 2620};  // within the inner half-width of 800
        case Zone::Band:
            return {1080, 1920 - 1199, 1920 - 801};  // between 800 and 1200 from the centre
    }
    return {0, 0, 0};
}

VignetteInfo BenchMask(A_long falloff) {
    VignetteParams p;
    p.origin_x = 1920 << 16;
    p.origin_y = 1080 << 16;
    p.width = 2400;
    p.height = 1600;
    p.feather = 400;
    p.falloff = falloff;
    p.composite_mode = COMPOSITE_INTERSECT;
    VignetteInfo vi;
    FillVignetteInfo(p, &vi);
    return vi;
}

void CountPixels(benchmark::State& state, const ZoneRow& row) {
    const double pixels = static_cast<double>(state.iterations()) * (row.x1 - row.x0);
    state.SetItemsProcessed(static_cast<int64_t>(pixels));
    // CPU seconds per pixel, printed with an SI prefix (n = nanoseconds).
    state.counters["time_per_pixel"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_PixelBlend8(benchmark::State& state, Zone zone) {
    VignetteSpans spans;
    VignetteFrame frame;
    PrepareRenderFrame(BenchMask(static_cast<A_long>(state.range(0))), kWidth, kHeight, spans, &frame, 0);
    const ZoneRow row = RowOf(zone);
    std::vector<PF_Pixel> in(kWidth), out(kWidth);
    for (A_long x = 0; x < kWidth; ++x) in[static_cast<size_t>(x)] = PF_Pixel{A_u_char(x), 1, 2, 3};
    PF_IteratePixel8Func volatile pointer = &Blend_8;
    const PF_IteratePixel8Func blend = pointer;
    for (auto _ : state) {
        for (A_long x = row.x0; x < row.x1; ++x) {
            blend(&frame, x, row.y, &in[static_cast<size_t>(x)], &out[static_cast<size_t>(x)]);
        }
        benchmark::ClobberMemory();
    }
    CountPixels(state, row);
}

void BM_PixelBlendFloat(benchmark::State& state, Zone zone) {
    VignetteInfo vi = BenchMask(static_cast<A_long>(state.range(0)));
    const ZoneRow row = RowOf(zone);
    float in = 0.75f, out = 0.0f;
    for (auto _ : state) {
        for (A_long x = row.x0; x < row.x1; ++x) {
            Blend_Float(&vi, x, row.y, &in, &out);
            benchmark::DoNotOptimize(out);
        }
    }
    CountPixels(state, row);
}

BENCHMARK_CAPTURE(BM_PixelBlend8, outside, Zone::Outside)->Arg(FALLOFF_GAUSSIAN)->ArgName("falloff");
BENCHMARK_CAPTURE(BM_PixelBlend8, core, Zone::Core)->Arg(FALLOFF_GAUSSIAN)->ArgName("falloff");
BENCHMARK_CAPTURE(BM_PixelBlend8, band, Zone::Band)->DenseRange(FALLOFF_LINEAR, FALLOFF_EXPONENTIAL)->ArgName("falloff");
BENCHMARK_CAPTURE(BM_PixelBlendFloat, outside, Zone::Outside)->Arg(FALLOFF_GAUSSIAN)->ArgName("falloff");
BENCHMARK_CAPTURE(BM_PixelBlendFloat, core, Zone::Core)->Arg(FALLOFF_GAUSSIAN)->ArgName("falloff");
BENCHMARK_CAPTURE(BM_PixelBlendFloat, band, Zone::Band)
    ->DenseRange(FALLOFF_LINEAR, FALLOFF_EXPONENTIAL)
    ->ArgName("falloff");

}  // namespace

BENCHMARK_MAIN();
