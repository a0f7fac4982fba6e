// vellora_obs_bench MODULE DATA [ROUNDS]: what the OBS filter adds to a frame
// on OBS's render thread (read-back, render, upload) at 1080p and 4K, against
// the embedded render alone, in the same run. Needs an X display (Xvfb):
// bench/obs_bench.sh runs it. libobs renders a colour source (OBS's own
// image-source module) at each size, without and with the filter, in
// alternating blocks of video frames; every timed frame is rendered into a
// texture and read back, so all GPU work is done when the clock stops.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <graphics/vec4.h>
#include <obs-module.h>
#include <obs-nix-platform.h>

#include "embed/FrameRenderer.h"
#include "params/EffectParams.h"

// Last: its macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;

// Not the default box: a large rotated ellipse with a wide Gaussian band, the
// filter's heavier case.
constexpr const char* kSettings =
    R"({"width": 1200, "height": 700, "angle": 20, "feather": 300, "falloff": "gaussian"})";
constexpr const char* kSystemModules = "/usr/lib/" VELLORA_MULTIARCH "/obs-plugins/";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void LoadModule(const std::string& path, const std::string& data) {
    obs_module_t* module = nullptr;
    if (obs_open_module(&module, path.c_str(), data.c_str()) != MODULE_SUCCESS || !obs_init_module(module)) {
        throw std::runtime_error("cannot load the OBS module " + path);
    }
}

struct Session {
    Session(uint32_t width, uint32_t height) {
        display = XOpenDisplay(nullptr);
        if (!display) throw std::runtime_error("cannot open the X display (DISPLAY)");
        obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
        obs_set_nix_platform_display(display);
        if (!obs_startup("en-US", nullptr, nullptr)) throw std::runtime_error("obs_startup failed");
        obs_video_info ovi = {};
        ovi.graphics_module = "libobs-opengl.so.1";
        ovi.fps_num = 30;
        ovi.fps_den = 1;
        ovi.base_width = ovi.output_width = width;
        ovi.base_height = ovi.output_height = height;
        ovi.output_format = VIDEO_FORMAT_RGBA;
        ovi.colorspace = VIDEO_CS_SRGB;
        ovi.range = VIDEO_RANGE_FULL;
        ovi.scale_type = OBS_SCALE_DISABLE;
        if (obs_reset_video(&ovi) != OBS_VIDEO_SUCCESS) throw std::runtime_error("obs_reset_video failed");
    }
    ~Session() {
        obs_enter_graphics();
        gs_stagesurface_destroy(stage);
        gs_texrender_destroy(texrender);
        obs_leave_graphics();
        obs_shutdown();
        XCloseDisplay(display);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // One video frame of `source` rendered and read back; milliseconds from
    // the render's start to the read-back's end.
    double Frame(obs_source_t* source, uint32_t w, uint32_t h, std::vector<uint8_t>* keep = nullptr) {
        const uint64_t started = obs_get_video_frame_time();
        while (obs_get_video_frame_time() == started) std::this_thread::sleep_for(std::chrono::microseconds(200));
        const Clock::time_point start = Clock::now();
        obs_enter_graphics();
        if (!texrender) texrender = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
        gs_texrender_reset(texrender);
        if (!gs_texrender_begin_with_color_space(texrender, w, h, GS_CS_SRGB)) {
            obs_leave_graphics();
            throw std::runtime_error("cannot begin a texture render");
        }
        vec4 clear;
        vec4_zero(&clear);
        gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
        gs_ortho(0.0f, float(w), 0.0f, float(h), -100.0f, 100.0f);
        gs_blend_state_push();
        gs_enable_blending(false);
        obs_source_video_render(source);
        gs_blend_state_pop();
        gs_texrender_end(texrender);
        if (!stage || gs_stagesurface_get_width(stage) != w) {
            gs_stagesurface_destroy(stage);
            stage = gs_stagesurface_create(w, h, GS_RGBA);
        }
        gs_stage_texture(stage, gs_texrender_get_texture(texrender));
        uint8_t* rows = nullptr;
        uint32_t linesize = 0;
        const bool mapped = gs_stagesurface_map(stage, &rows, &linesize);
        if (mapped && keep) {
            keep->resize(size_t{w} * h * 4);
            for (uint32_t y = 0; y < h; ++y) {
                std::copy_n(rows + y * size_t{linesize}, size_t{w} * 4, keep->data() + y * size_t{w} * 4);
            }
        }
        if (mapped) gs_stagesurface_unmap(stage);
        obs_leave_graphics();
        if (!mapped) throw std::runtime_error("cannot read back a frame");
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    Display* display = nullptr;
    gs_texrender_t* texrender = nullptr;
    gs_stagesurf_t* stage = nullptr;
};

void Measure(Session& session, vembed::FrameRenderer& renderer, uint32_t w, uint32_t h, int rounds) {
    obs_data_t* colour = obs_data_create();
    obs_data_set_int(colour, "width", w);
    obs_data_set_int(colour, "height", h);
    obs_data_set_int(colour, "color", 0xff4080c0);
    obs_source_t* source = obs_source_create_private("color_source_v3", "colour", colour);
    obs_data_release(colour);
    obs_data_t* settings = obs_data_create_from_json(kSettings);
    obs_source_t* filter = obs_source_create_private("vellora_mask", "mask", settings);
    obs_data_release(settings);
    if (!source || !filter) throw std::runtime_error("cannot create the colour source or the filter");
    obs_source_filter_add(source, filter);

    // The embedded render alone of the same frame and values.
    std::vector<uint8_t> frame, out(size_t{w} * h * 4);
    obs_source_set_enabled(filter, false);
    session.Frame(source, w, h, &frame);
    const vparams::EffectValues values =
        vparams::EffectValuesFromJsonText(kSettings, {}, "settings", renderer.Declared());
    vembed::RgbaFrame job;
    job.in = frame.data();
    job.out = out.data();
    job.width = job.layer_width = static_cast<int>(w);
    job.height = job.layer_height = static_cast<int>(h);

    // Blocks of 10 frames, alternating; the first two of a block settle the
    // filter's pipeline (the first reads what it just staged) and are not counted.
    std::vector<double> plain, filtered, alone;
    for (int block = 0; block < rounds; ++block) {
        for (const bool on : {false, true}) {
            obs_source_set_enabled(filter, on);
            for (int i = 0; i < 10; ++i) {
                const double ms = session.Frame(source, w, h);
                if (i >= 2) (on ? filtered : plain).push_back(ms);
            }
        }
        for (int i = 0; i < 8; ++i) {
            const Clock::time_point start = Clock::now();
            const std::string failure = renderer.Render(values, job);
            if (!failure.empty()) throw std::runtime_error("the embedded render failed: " + failure);
            alone.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    obs_source_filter_remove(source, filter);
    obs_source_release(filter);
    obs_source_release(source);

    const double p = Median(plain), f = Median(filtered), r = Median(alone);
    const double added = f - p, trip = added - r;
    std::printf("%4ux%-5u %9.2f %9.2f %9.2f %9.2f %9.2f %8.2f\n", w, h, p, f, added, r, trip, trip / r);
}

int Run(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s vellora-obs.so DATA_DIR [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 6;
    Session session(3840, 2160);
    LoadModule(std::string(kSystemModules) + "image-source.so", "/usr/share/obs/obs-plugins/image-source");
    LoadModule(argv[1], argv[2]);
    vembed::FrameRenderer renderer;
    std::printf("# %u frames a size in blocks, medians; ms a frame on the render thread\n", rounds * 16);
    std::printf("%-10s %9s %9s %9s %9s %9s %8s\n", "size", "no filter", "filter", "added", "render", "trip", "trip/render");
    for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{1920, 1080}, {3840, 2160}}) {
        Measure(session, renderer, w, h, rounds);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Only warnings and errors from OBS: its info lines would bury the table.
    base_set_log_handler(
        [](int level, const char* format, va_list args, void*) {
            if (level > LOG_WARNING) return;
            std::vfprintf(stderr, format, args);
            std::fputc('\n', stderr);
        },
        nullptr);
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_obs_bench: %s\n", e.what());
        return 1;
    }
}
