#include "obs/MaskFilter.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <obs-module.h>

#include "embed/FrameRenderer.h"
#include "obs/FilterProperties.h"
#include "obs/FilterSettings.h"
#include "obs/ObsText.h"
#include "obs/RoundTrip.h"
#include "obs/Straight.h"

namespace vobs {

namespace {

// What every instance shares: the effect's pool of set-up hosts and the facts
// of its parameters. OBS keeps it as the filter type's data.
struct Shared {
    vembed::FrameRenderer renderer;
    vparams::ParamFactsList facts{renderer.Declared()};
};

struct Instance {
    obs_source_t* context = nullptr;
    Shared* shared = nullptr;
    // The settings, swapped whole: the render thread never sees half a change.
    std::mutex mutex;
    std::shared_ptr<const vparams::EffectValues> values = std::make_shared<vparams::EffectValues>();
    std::atomic<bool> refused{false};
    // The render thread's own.
    RoundTrip trip;
    std::vector<uint8_t> straight, result;
    std::string last_failure;
};

void Log(int level, const Instance& in, const std::string& text) {
    const char* name = obs_source_get_name(in.context);
    blog(level, "[%s] '%s': %s", kModuleName, name ? name : "", text.c_str());
}

// Logs a failure once, until another one comes.
void Report(Instance& in, const std::string& failure) {
    if (failure == in.last_failure) return;
    in.last_failure = failure;
    Log(LOG_WARNING, in, failure + "; the source passes through unchanged");
}

const char* SpaceName(gs_color_space space) {
    switch (space) {
        case GS_CS_SRGB: return "8-bit sRGB";
        case GS_CS_SRGB_16F: return "high-precision sRGB";
        case GS_CS_709_EXTENDED: return "HDR (Rec. 709 extended)";
        case GS_CS_709_SCRGB: return "HDR (scRGB)";
    }
    return "an unknown colour space";
}

// The space the target renders in when asked for 8-bit sRGB first, as OBS's
// own filters ask (a camera answers with one of the list, its own if listed).
gs_color_space TargetSpace(obs_source_t* target) {
    const gs_color_space preferred[] = {GS_CS_SRGB, GS_CS_SRGB_16F, GS_CS_709_EXTENDED};
    return obs_source_get_color_space(target, sizeof preferred / sizeof preferred[0], preferred);
}

// Logs when the filter starts or stops passing a high-precision or HDR source through.
void NoteSpace(Instance& in, gs_color_space space) {
    const bool refused = space != GS_CS_SRGB;
    if (in.refused.exchange(refused) == refused) return;
    if (refused) {
        Log(LOG_WARNING, in,
            std::string("the source renders in ") + SpaceName(space) +
                "; Vellora Mask masks 8-bit SDR sources only and passes this one through unchanged");
    } else {
        Log(LOG_INFO, in, "the source renders in 8-bit sRGB again; masking");
    }
}

// The effect's result for this frame into the output texture; false when the
// source must pass through.
bool Process(Instance& in, obs_source_t* target, obs_source_t* parent, uint32_t w, uint32_t h, uint64_t now) {
    ReadBack picture;
    const bool read = in.trip.Capture(target, parent, w, h, now, picture);
    std::unique_ptr<RoundTrip, void (*)(RoundTrip*)> release(&in.trip, [](RoundTrip* t) { t->ReleaseCapture(); });
    if (!read) {
        Report(in, "OBS could not render the source into a texture and read it back");
        return false;
    }
    const size_t row = static_cast<size_t>(w) * 4;
    const uint8_t* input = picture.rows;
    if (picture.premultiplied || picture.linesize != row) {
        in.straight.resize(row * h);
        StraightRows(picture, in.straight.data());
        input = in.straight.data();
    }
    uint8_t* mapped = nullptr;
    uint32_t linesize = 0;
    if (!in.trip.MapOutput(w, h, mapped, linesize)) {
        Report(in, "OBS could not map a texture to upload the result");
        return false;
    }
    uint8_t* output = mapped;
    if (linesize != row) {
        in.result.resize(row * h);
        output = in.result.data();
    }
    std::shared_ptr<const vparams::EffectValues> values;
    {
        std::lock_guard<std::mutex> lock(in.mutex);
        values = in.values;
    }
    vembed::RgbaFrame frame;
    frame.in = input;
    frame.out = output;
    frame.width = frame.layer_width = static_cast<int>(w);
    frame.height = frame.layer_height = static_cast<int>(h);
    frame.time = static_cast<double>(now) / 1e9;
    const std::string failure = in.shared->renderer.Render(*values, frame);
    if (!failure.empty()) Report(in, "the effect did not render: " + failure);
    if (output != mapped) {
        for (uint32_t y = 0; y < h; ++y) std::memcpy(mapped + y * size_t{linesize}, output + y * row, row);
    }
    in.trip.UnmapOutput(now);
    return true;
}

void Render(Instance& in) {
    obs_source_t* target = obs_filter_get_target(in.context);
    obs_source_t* parent = obs_filter_get_parent(in.context);
    if (!target || !parent) return obs_source_skip_video_filter(in.context);
    const uint32_t w = obs_source_get_base_width(target), h = obs_source_get_base_height(target);
    if (!w || !h) return obs_source_skip_video_filter(in.context);
    const gs_color_space space = TargetSpace(target);
    NoteSpace(in, space);
    if (space != GS_CS_SRGB) return obs_source_skip_video_filter(in.context);
    // Drawn twice in one frame (a source in two scenes): the result is reused.
    const uint64_t now = obs_get_video_frame_time();
    if (!in.trip.HasOutput(w, h, now) && !Process(in, target, parent, w, h, now)) {
        return obs_source_skip_video_filter(in.context);
    }
    in.trip.DrawOutput();
}

// Every callback below is a C entry point: nothing may leave it as an exception.
template <typename F>
void Guarded(Instance* in, const char* what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        if (in) Log(LOG_ERROR, *in, std::string(what) + ": " + e.what());
    } catch (...) {
        if (in) Log(LOG_ERROR, *in, std::string(what) + ": unknown error");
    }
}

void Update(void* data, obs_data_t* settings) {
    auto* in = static_cast<Instance*>(data);
    Guarded(in, "cannot read the settings", [&] {
        auto values = std::make_shared<const vparams::EffectValues>(ReadSettings(
            settings, in->shared->facts, [in](const std::string& line) { Log(LOG_WARNING, *in, line); }));
        std::lock_guard<std::mutex> lock(in->mutex);
        in->values = std::move(values);
    });
}

void* Create(obs_data_t* settings, obs_source_t* context) {
    try {
        auto in = std::make_unique<Instance>();
        in->context = context;
        in->shared = static_cast<Shared*>(obs_source_get_type_data(context));
        Update(in.get(), settings);
        return in.release();
    } catch (...) {
        blog(LOG_ERROR, "[%s] cannot create a filter", kModuleName);
    }
    return nullptr;
}

void Destroy(void* data) {
    // Its textures belong to the graphics context.
    obs_enter_graphics();
    try {
        delete static_cast<Instance*>(data);
    } catch (...) {
        blog(LOG_ERROR, "[%s] cannot destroy a filter", kModuleName);
    }
    obs_leave_graphics();
}

void VideoRender(void* data, gs_effect_t* /*effect*/) {
    auto* in = static_cast<Instance*>(data);
    Guarded(in, "cannot render", [&] { Render(*in); });
}

gs_color_space ColorSpace(void* data, size_t count, const gs_color_space* preferred) {
    auto* in = static_cast<Instance*>(data);
    gs_color_space space = GS_CS_SRGB;
    Guarded(in, "cannot tell the colour space", [&] {
        obs_source_t* target = obs_filter_get_target(in->context);
        // Masked, the result is 8-bit sRGB; passed through, the source's own.
        if (target && TargetSpace(target) != GS_CS_SRGB) space = obs_source_get_color_space(target, count, preferred);
    });
    return space;
}

void Defaults(void* type_data, obs_data_t* settings) {
    Guarded(nullptr, "", [&] { SetDefaults(settings, static_cast<Shared*>(type_data)->facts); });
}

obs_properties_t* Properties(void* data, void* type_data) {
    auto* in = static_cast<Instance*>(data);
    obs_properties_t* props = nullptr;
    Guarded(in, "cannot make the properties", [&] {
        const auto& facts = static_cast<Shared*>(type_data)->facts;
        if (in) ShowCentre(in->context, facts);
        props = MakeProperties(facts, in && in->refused.load());
    });
    return props;
}

const char* Name(void* /*type_data*/) { return obs_module_text(kTextFilterName); }

}  // namespace

void RegisterMaskFilter() {
    auto shared = std::make_unique<Shared>();
    obs_source_info info = {};
    info.id = kFilterId;
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_SRGB;
    info.get_name = Name;
    info.create = Create;
    info.destroy = Destroy;
    info.update = Update;
    info.video_render = VideoRender;
    info.video_get_color_space = ColorSpace;
    info.get_defaults2 = Defaults;
    info.get_properties2 = Properties;
    info.type_data = shared.release();
    info.free_type_data = [](void* type_data) { delete static_cast<Shared*>(type_data); };
    obs_register_source(&info);
}

}  // namespace vobs
