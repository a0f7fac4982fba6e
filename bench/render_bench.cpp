// Speed of the render path on a 3840x2160 frame, every case against the floor
// of its own depth measured in the same loop:
// - ae8, premiere8: an iterate pass of the reference host whose 8-bit callback
//   only copies the pixel (the floor of the per-pixel callback design);
// - ae16: the same pass over a 16-bit frame;
// - premiere_float: a plain one-thread copy of the float frame (the plug-in's
//   own row loop runs on the render thread).
// Each render reports `x_floor`, its fastest run over the floor's fastest run
// (the machine is shared; the fastest run is the one least disturbed), and
// `x_memcpy` against a memcpy of its frame.
//
// Names: Render/<depth>_<mask>_<falloff>_feather<px>/threads:<n>, threads 0
// meaning every core. The per-pixel benchmarks call the adapter chosen for the
// frame through a pointer, as the host does, on one row segment that lies
// wholly in one zone, beside the copy callback's own cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "params/EffectParams.h"
#include "host/Host.h"
#include "host/PluginModule.h"
#include "host/Render.h"
#include "host/RenderSuites.h"
#include "plugin/Vellora/Vellora_Render.h"
#include "host/World.h"

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
    explicit Frame(vhost::PixelLayout layout) : input(layout, kWidth, kHeight), output(layout, kWidth, kHeight) {
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

PF_Err CopyPixel8(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
    *out = *in;
    return PF_Err_NONE;
}

PF_Err CopyPixel16(void*, A_long, A_long, PF_Pixel16* in, PF_Pixel16* out) {
    *out = *in;
    return PF_Err_NONE;
}

template <class Fn>
double Seconds(Fn fn) {
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Memcpy(vhost::PixelLayout layout) {
    Frame& f = FrameOf(layout);
    std::memcpy(f.output.Bytes().data(), f.input.Bytes().data(), f.input.Bytes().size());
    benchmark::ClobberMemory();
}

enum class Depth { AE8, AE16, Premiere8, PremiereFloat };

struct DepthSetup {
    const char* name;
    vhost::HostApp app;
    vhost::PixelLayout layout;
};

DepthSetup SetupOf(Depth d) {
    switch (d) {
        case Depth::AE8:
            return {"ae8", vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8};
        case Depth::AE16:
            return {"ae16", vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB16};
        case Depth::Premiere8:
            return {"premiere8", vhost::HostApp::Premiere, vhost::PixelLayout::BGRA8};
        case Depth::PremiereFloat:
            return {"premiere_float", vhost::HostApp::Premiere, vhost::PixelLayout::BGRA32F};
    }
    return {"ae8", vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8};
}

// The floor of a depth: the host's copy-only pass for the iterate paths, a
// plain copy of the frame for the float loop.
void FloorPass(Depth depth, int threads) {
    vhost::Host& host = SetUpHost(vhost::HostApp::AfterEffects);
    host.threads = threads;
    switch (depth) {
        case Depth::AE8:
        case Depth::Premiere8: {
            Frame& f = FrameOf(vhost::PixelLayout::ARGB8);
            benchmark::DoNotOptimize(vhost::IteratePixels8(host, 0, kHeight, &f.input.Def(), nullptr, nullptr,
                                                           &CopyPixel8, &f.output.Def()));
            break;
        }
        case Depth::AE16: {
            Frame& f = FrameOf(vhost::PixelLayout::ARGB16);
            benchmark::DoNotOptimize(vhost::IteratePixels16(host, 0, kHeight, &f.input.Def(), nullptr, nullptr,
                                                            &CopyPixel16, &f.output.Def()));
            break;
        }
        case Depth::PremiereFloat:
            Memcpy(vhost::PixelLayout::BGRA32F);
            break;
    }
}

// The floors are timed in the same loop as the pass they judge, one run of
// each per iteration, and compared by their fastest runs.
struct Floors {
    double memcpy = 1e9, floor = 1e9, measured = 1e9;
    void Time(Depth depth, int threads) {
        memcpy = std::min(memcpy, Seconds([&] { Memcpy(SetupOf(depth).layout); }));
        floor = std::min(floor, Seconds([&] { FloorPass(depth, threads); }));
    }
    void Report(benchmark::State& state, bool against_floor) const {
        state.counters["ms_per_frame"] = measured * 1e3;
        state.counters["x_memcpy"] = measured / memcpy;
        if (against_floor) state.counters["x_floor"] = measured / floor;
    }
};

// The floors themselves, against memcpy.
void BM_Floor(benchmark::State& state, Depth depth) {
    const int threads = state.range(0) ? static_cast<int>(state.range(0)) : AllCores();
    Floors floors;
    for (auto _ : state) {
        floors.memcpy = std::min(floors.memcpy, Seconds([&] { Memcpy(SetupOf(depth).layout); }));
        const double t = Seconds([&] { FloorPass(depth, threads); });
        floors.measured = std::min(floors.measured, t);
        state.SetIterationTime(t);
    }
    floors.Report(state, false);
}

struct RenderCase {
    Depth depth;
    int mask;     // MASK_ELLIPSE or MASK_RECTANGLE
    int falloff;  // unused with no feather
    double feather;
};

std::string NameOf(const RenderCase& c) {
    // Choices by their command-line names, as the effect declares them.
    const vparams::Declaration declared = vparams::Declaration::Read(SetUpHost(vhost::HostApp::AfterEffects));
    const std::string falloff = c.feather == 0.0 ? "hard" : declared.ChoiceName(PARAM_FALLOFF, c.falloff);
    return std::string("Render/") + SetupOf(c.depth).name + "_" + declared.ChoiceName(PARAM_MASK_TYPE, c.mask) + "_" +
           falloff +
           "_feather" + std::to_string(static_cast<int>(c.feather));
}

// A 2400x1600 mask in the frame's centre, intersected with the layer's alpha.
void BM_Render(benchmark::State& state, RenderCase c) {
    const DepthSetup setup = SetupOf(c.depth);
    const int threads = state.range(0) ? static_cast<int>(state.range(0)) : AllCores();
    vhost::Host& host = SetUpHost(setup.app);
    Frame& f = FrameOf(setup.layout);
    vparams::EffectValues values;
    values.mask_type = c.mask;
    values.width = 2400;
    values.height = 1600;
    values.composite_mode = COMPOSITE_INTERSECT;
    values.feather = c.feather;
    values.falloff = c.falloff;
    vparams::ApplyEffectValues(host, values, kWidth, kHeight);

    Floors floors;
    for (auto _ : state) {
        floors.Time(c.depth, threads);
        vparams::ApplyEffectValues(host, values, kWidth, kHeight);
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

// Per-pixel cost on one row segment that lies wholly in one zone of the same
// 2400x1600 ellipse with a 400-pixel feather.
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

VignetteInfo BenchMask(A_long falloff, PF_Fixed origin_x, PF_Fixed origin_y) {
    VignetteParams p;
    p.origin_x = origin_x;
    p.origin_y = origin_y;
    p.width = 2400;
    p.height = 1600;
    p.feather = 400;
    p.falloff = falloff;
    p.composite_mode = COMPOSITE_INTERSECT;
    VignetteInfo vi;
    FillVignetteInfo(p, &vi);
    return vi;
}

void CountPixels(benchmark::State& state, A_long pixels_per_iteration) {
    const double pixels = static_cast<double>(state.iterations()) * pixels_per_iteration;
    state.SetItemsProcessed(static_cast<int64_t>(pixels));
    // CPU seconds per pixel, printed with an SI prefix (n = nanoseconds).
    state.counters["time_per_pixel"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One row segment through an 8-bit callback called through a pointer.
void PixelLoop8(benchmark::State& state, PF_IteratePixel8Func fn, void* refcon, const ZoneRow& row) {
    std::vector<PF_Pixel> in(kWidth), out(kWidth);
    for (A_long x = 0; x < kWidth; ++x) in[static_cast<size_t>(x)] = PF_Pixel{A_u_char(x), 1, 2, 3};
    PF_IteratePixel8Func volatile pointer = fn;
    const PF_IteratePixel8Func blend = pointer;
    for (auto _ : state) {
        for (A_long x = row.x0; x < row.x1; ++x) {
            blend(refcon, x, row.y, &in[static_cast<size_t>(x)], &out[static_cast<size_t>(x)]);
        }
        benchmark::ClobberMemory();
    }
    CountPixels(state, row.x1 - row.x0);
}

void BM_PixelCopy8(benchmark::State& state) { PixelLoop8(state, &CopyPixel8, nullptr, RowOf(Zone::Outside)); }

void BM_PixelBlend8(benchmark::State& state, Zone zone) {
    VignetteTables tables;
    VignetteFrame frame;
    PrepareRenderFrame(BenchMask(static_cast<A_long>(state.range(0)), 1920 << 16, 1080 << 16), kWidth, kHeight,
                       tables, &frame, kPassArgb8);
    PixelLoop8(state, ChooseBlend8(frame), &frame, RowOf(zone));
}

// The float loop on a one-row frame whose every pixel lies in one zone: the
// mask's centre is moved so that the zone's segment starts at column 0.
void BM_PixelFloat(benchmark::State& state, Zone zone) {
    const ZoneRow row = RowOf(zone);
    const A_long n = row.x1 - row.x0;
    const VignetteInfo vi =
        BenchMask(static_cast<A_long>(state.range(0)), (1920 - row.x0) << 16, (1080 - row.y) << 16);
    VignetteTables tables;
    VignetteFrame frame;
    PrepareRenderFrame(vi, n, 1, tables, &frame, kPassFloat);
    vhost::World input(vhost::PixelLayout::BGRA32F, n, 1), output(vhost::PixelLayout::BGRA32F, n, 1);
    for (A_long x = 0; x < n; ++x) input.Set(x, 0, vhost::Rgba{0.25, 0.5, 0.75, (x % 97) / 96.0});
    for (auto _ : state) {
        benchmark::DoNotOptimize(RenderFloatRows(&frame, &input.Def(), &output.Def(), 1));
        benchmark::ClobberMemory();
    }
    CountPixels(state, n);
}

void RegisterAll() {
    const auto ms = [](benchmark::internal::Benchmark* b) {
        return b->Unit(benchmark::kMillisecond)->UseManualTime()->ArgName("threads");
    };
    for (Depth d : {Depth::AE8, Depth::AE16, Depth::PremiereFloat}) {
        auto* b = ms(benchmark::RegisterBenchmark((std::string("Floor/") + SetupOf(d).name).c_str(), BM_Floor, d));
        b->Arg(1);
        if (d != Depth::PremiereFloat) b->Arg(0);
    }
    std::vector<RenderCase> cases;
    for (Depth d : {Depth::AE8, Depth::Premiere8, Depth::AE16, Depth::PremiereFloat}) {
        for (int mask : {MASK_ELLIPSE, MASK_RECTANGLE}) {
            cases.push_back({d, mask, FALLOFF_LINEAR, 0.0});
            for (int falloff = FALLOFF_LINEAR; falloff <= FALLOFF_EXPONENTIAL; ++falloff) {
                cases.push_back({d, mask, falloff, 400.0});
            }
        }
        // How cost grows with the band: at 1500 most of the frame's mask is band.
        for (double feather : {50.0, 1500.0}) cases.push_back({d, MASK_ELLIPSE, FALLOFF_GAUSSIAN, feather});
    }
    for (const RenderCase& c : cases) {
        auto* b = ms(benchmark::RegisterBenchmark(NameOf(c).c_str(), BM_Render, c));
        b->Arg(1);
        // The float loop runs on the render thread whatever the host's threads.
        if (c.depth != Depth::PremiereFloat) b->Arg(0);
    }
    benchmark::RegisterBenchmark("Pixel8/copy_callback", BM_PixelCopy8);
    const std::pair<const char*, Zone> zones[] = {{"outside", Zone::Outside}, {"core", Zone::Core}};
    for (const auto& [name, zone] : zones) {
        benchmark::RegisterBenchmark((std::string("Pixel8/") + name).c_str(), BM_PixelBlend8, zone)
            ->Arg(FALLOFF_GAUSSIAN)->ArgName("falloff");
        benchmark::RegisterBenchmark((std::string("PixelFloat/") + name).c_str(), BM_PixelFloat, zone)
            ->Arg(FALLOFF_GAUSSIAN)->ArgName("falloff");
    }
    benchmark::RegisterBenchmark("Pixel8/band", BM_PixelBlend8, Zone::Band)
        ->DenseRange(FALLOFF_LINEAR, FALLOFF_EXPONENTIAL)->ArgName("falloff");
    benchmark::RegisterBenchmark("PixelFloat/band", BM_PixelFloat, Zone::Band)
        ->DenseRange(FALLOFF_LINEAR, FALLOFF_EXPONENTIAL)->ArgName("falloff");
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
