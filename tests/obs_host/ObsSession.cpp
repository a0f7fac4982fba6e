#include "tests/obs_host/ObsSession.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <graphics/vec4.h>
#include <obs-module.h>
#include <obs-nix-platform.h>

namespace vobstest {

ObsSession::ObsSession(const VideoSettings& video) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) throw std::runtime_error("cannot open the X display (DISPLAY)");
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display_);
    if (!obs_startup("en-US", nullptr, nullptr)) throw std::runtime_error("obs_startup failed");
    obs_video_info ovi = {};
    ovi.graphics_module = "libobs-opengl.so.1";
    ovi.fps_num = video.fps;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = video.width;
    ovi.base_height = ovi.output_height = video.height;
    ovi.output_format = video.format;
    ovi.colorspace = video.colorspace;
    ovi.range = VIDEO_RANGE_FULL;
    ovi.scale_type = OBS_SCALE_DISABLE;
    const int reset = obs_reset_video(&ovi);
    if (reset != OBS_VIDEO_SUCCESS) throw std::runtime_error("obs_reset_video failed: " + std::to_string(reset));
    obs_audio_info oai = {48000, SPEAKERS_STEREO};
    if (!obs_reset_audio(&oai)) throw std::runtime_error("obs_reset_audio failed");
}

ObsSession::~ObsSession() {
    obs_enter_graphics();
    gs_stagesurface_destroy(stage_);
    gs_texrender_destroy(texrender_);
    obs_leave_graphics();
    obs_shutdown();
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

void ObsSession::LoadModule(const std::string& path, const std::string& data) {
    obs_module_t* module = nullptr;
    const int opened = obs_open_module(&module, path.c_str(), data.c_str());
    if (opened != MODULE_SUCCESS) throw std::runtime_error("cannot open " + path + ": " + std::to_string(opened));
    if (!obs_init_module(module)) throw std::runtime_error("the module " + path + " did not start");
}

void ObsSession::WaitFrame() const {
    const uint64_t start = obs_get_video_frame_time();
    while (obs_get_video_frame_time() == start) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

Picture ObsSession::Render(obs_source_t* source) {
    Picture picture;
    picture.width = obs_source_get_width(source);
    picture.height = obs_source_get_height(source);
    if (!picture.width || !picture.height) return picture;
    obs_enter_graphics();
    if (!texrender_) texrender_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
    gs_texrender_reset(texrender_);
    bool read = false;
    if (gs_texrender_begin_with_color_space(texrender_, picture.width, picture.height, GS_CS_SRGB)) {
        vec4 clear;
        vec4_zero(&clear);
        gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
        gs_ortho(0.0f, float(picture.width), 0.0f, float(picture.height), -100.0f, 100.0f);
        gs_blend_state_push();
        gs_enable_blending(false);
        const bool linear = gs_set_linear_srgb(false);
        obs_source_video_render(source);
        gs_set_linear_srgb(linear);
        gs_blend_state_pop();
        gs_texrender_end(texrender_);
        if (!stage_ || gs_stagesurface_get_width(stage_) != picture.width ||
            gs_stagesurface_get_height(stage_) != picture.height) {
            gs_stagesurface_destroy(stage_);
            stage_ = gs_stagesurface_create(picture.width, picture.height, GS_RGBA);
        }
        gs_stage_texture(stage_, gs_texrender_get_texture(texrender_));
        uint8_t* rows = nullptr;
        uint32_t linesize = 0;
        if (gs_stagesurface_map(stage_, &rows, &linesize)) {
            const size_t row = size_t{picture.width} * 4;
            picture.rgba.resize(row * picture.height);
            for (uint32_t y = 0; y < picture.height; ++y) {
                std::memcpy(picture.rgba.data() + y * row, rows + y * size_t{linesize}, row);
            }
            gs_stagesurface_unmap(stage_);
            read = true;
        }
    }
    obs_leave_graphics();
    if (!read) throw std::runtime_error("cannot render and read back a source");
    return picture;
}

}  // namespace vobstest
