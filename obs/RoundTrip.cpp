#include "obs/RoundTrip.h"

#include <graphics/vec4.h>

namespace vobs {

RoundTrip::~RoundTrip() {
    ReleaseCapture();
    for (Staged& s : staged_) gs_stagesurface_destroy(s.surface);
    gs_texrender_destroy(texrender_);
    gs_texture_destroy(output_);
}

bool RoundTrip::RenderTarget(obs_source_t* target, obs_source_t* parent, uint32_t width, uint32_t height,
                             bool straight) {
    if (!texrender_) texrender_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
    if (!texrender_) return false;
    gs_texrender_reset(texrender_);
    if (!gs_texrender_begin_with_color_space(texrender_, width, height, GS_CS_SRGB)) return false;
    vec4 clear;
    vec4_zero(&clear);
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height), -100.0f, 100.0f);
    gs_blend_state_push();
    const uint32_t flags = obs_source_get_output_flags(parent);
    if (straight) {
        // The frame's own bytes: no blending, no sRGB conversion.
        const bool previous = gs_set_linear_srgb(false);
        gs_enable_blending(false);
        obs_source_video_render(target);
        gs_set_linear_srgb(previous);
    } else {
        // As OBS renders every filter's target: over transparent black, colour times alpha.
        gs_enable_blending(true);
        gs_blend_function_separate(GS_BLEND_SRCALPHA, GS_BLEND_INVSRCALPHA, GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
        if (target == parent && !(flags & OBS_SOURCE_CUSTOM_DRAW) && !(flags & OBS_SOURCE_ASYNC)) {
            obs_source_default_render(target);
        } else {
            obs_source_video_render(target);
        }
    }
    gs_blend_state_pop();
    gs_texrender_end(texrender_);
    return true;
}

bool RoundTrip::Capture(obs_source_t* target, obs_source_t* parent, uint32_t width, uint32_t height, uint64_t now,
                        ReadBack& picture) {
    ReleaseCapture();
    // A camera's or a video's frame reaches the first filter as it arrived.
    const bool straight = target == parent && (obs_source_get_output_flags(parent) & OBS_SOURCE_ASYNC);
    if (!RenderTarget(target, parent, width, height, straight)) return false;
    gs_texture_t* texture = gs_texrender_get_texture(texrender_);
    if (!texture) return false;

    Staged& current = staged_[next_];
    if (!current.surface || current.width != width || current.height != height) {
        gs_stagesurface_destroy(current.surface);
        current = Staged{};
        current.surface = gs_stagesurface_create(width, height, GS_RGBA);
        if (!current.surface) return false;
    }
    gs_stage_texture(current.surface, texture);
    current.width = width;
    current.height = height;
    current.time = now;
    current.premultiplied = !straight;
    current.filled = true;

    Staged& previous = staged_[1 - next_];
    next_ = 1 - next_;
    // The previous video frame's, or one OBS skipped as lagged.
    const uint64_t interval = obs_get_frame_interval_ns();
    const bool pipelined = previous.filled && previous.width == width && previous.height == height &&
                           now > previous.time && now - previous.time <= 2 * interval;
    Staged& use = pipelined ? previous : current;
    uint8_t* rows = nullptr;
    uint32_t linesize = 0;
    if (!gs_stagesurface_map(use.surface, &rows, &linesize)) return false;
    mapped_ = &use;
    picture = ReadBack{rows, linesize, use.width, use.height, use.premultiplied, !pipelined};
    return true;
}

void RoundTrip::ReleaseCapture() {
    if (mapped_) gs_stagesurface_unmap(mapped_->surface);
    mapped_ = nullptr;
}

bool RoundTrip::MapOutput(uint32_t width, uint32_t height, uint8_t*& rows, uint32_t& linesize) {
    if (!output_ || gs_texture_get_width(output_) != width || gs_texture_get_height(output_) != height) {
        gs_texture_destroy(output_);
        output_filled_ = false;
        output_ = gs_texture_create(width, height, GS_RGBA, 1, nullptr, GS_DYNAMIC);
        if (!output_) return false;
    }
    return gs_texture_map(output_, &rows, &linesize);
}

void RoundTrip::UnmapOutput(uint64_t now) {
    gs_texture_unmap(output_);
    output_time_ = now;
    output_filled_ = true;
}

bool RoundTrip::HasOutput(uint32_t width, uint32_t height, uint64_t now) const {
    return output_ && output_filled_ && output_time_ == now && gs_texture_get_width(output_) == width &&
           gs_texture_get_height(output_) == height;
}

void RoundTrip::DrawOutput() const {
    if (!output_ || !output_filled_) return;
    // Exactly as OBS draws a camera's or a video's 8-bit sRGB RGBA frame.
    const gs_color_space space = gs_get_color_space();
    const bool linear = gs_get_linear_srgb() || space != GS_CS_SRGB;
    const char* technique = linear ? "DrawNonlinearAlpha" : "Draw";
    float multiplier = 1.0f;
    if (space == GS_CS_709_SCRGB) {
        technique = linear ? "DrawNonlinearAlphaMultiply" : "DrawMultiply";
        multiplier = obs_get_video_sdr_white_level() / 80.0f;
    }
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_effect_set_float(gs_effect_get_param_by_name(effect, "multiplier"), multiplier);
    gs_eparam_t* image = gs_effect_get_param_by_name(effect, "image");
    const bool previous_srgb = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(linear);
    if (linear) {
        gs_effect_set_texture_srgb(image, output_);
        // The colour is multiplied by alpha in the shader, as sRGB values.
        gs_blend_state_push();
        gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    } else {
        gs_effect_set_texture(image, output_);
    }
    while (gs_effect_loop(effect, technique)) gs_draw_sprite(output_, 0, 0, 0);
    if (linear) gs_blend_state_pop();
    gs_enable_framebuffer_srgb(previous_srgb);
}

}  // namespace vobs
