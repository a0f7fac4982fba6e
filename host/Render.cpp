#include "host/Render.h"

#include <cmath>
#include <utility>
#include <vector>

#include "api/FixedPoint.h"
#include "host/HostError.h"

namespace vhost {

PrPixelFormat PremiereFormatOf(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::BGRA8:
            return PrPixelFormat_BGRA_4444_8u;
        case PixelLayout::BGRA32F:
            return PrPixelFormat_BGRA_4444_32f;
        case PixelLayout::ARGB8:
        case PixelLayout::ARGB16:
            return PrPixelFormat_ARGB_4444_8u;
    }
    return PrPixelFormat_ARGB_4444_8u;
}

PF_Fixed ScaleToBuffer(PF_Fixed value, PF_RationalScale scale) {
    return vfixed::SaturateWhole(std::round(static_cast<double>(value) * scale.num / scale.den));
}

namespace {

PF_RationalScale ScaleX(const FrameSettings& s) {
    return s.scale_x.value_or(PF_RationalScale{1, static_cast<A_u_long>(s.downsample)});
}
PF_RationalScale ScaleY(const FrameSettings& s) {
    return s.scale_y.value_or(PF_RationalScale{1, static_cast<A_u_long>(s.downsample)});
}

void CheckSettings(const FrameSettings& settings) {
    if (settings.downsample < 1) {
        throw HostError("downsample factor " + std::to_string(settings.downsample) + " must be at least 1");
    }
    for (const auto& scale : {settings.scale_x, settings.scale_y}) {
        if (scale && (scale->num <= 0 || scale->den == 0)) {
            throw HostError("buffer scale " + std::to_string(scale->num) + "/" + std::to_string(scale->den) +
                            " must be positive");
        }
    }
    if (settings.pixel_aspect.num <= 0 || settings.pixel_aspect.den == 0) {
        throw HostError("pixel aspect ratio " + std::to_string(settings.pixel_aspect.num) + "/" +
                        std::to_string(settings.pixel_aspect.den) + " must be positive");
    }
    if (settings.time && (settings.time->time_step <= 0 || settings.time->time_scale == 0 ||
                          settings.time->total_time < 0)) {
        throw HostError("frame time step " + std::to_string(settings.time->time_step) + "/" +
                        std::to_string(settings.time->time_scale) + " (total " +
                        std::to_string(settings.time->total_time) + ") must be positive");
    }
}

}  // namespace

void PrepareFrame(Host& host, World& input, World& output, const FrameSettings& settings) {
    CheckSettings(settings);
    std::vector<PF_ParamDef>& params = host.Params();

    input.Def().pix_aspect_ratio = settings.pixel_aspect;
    output.Def().pix_aspect_ratio = settings.pixel_aspect;
    PF_ParamDef& layer = params[0];
    layer.param_type = PF_Param_LAYER;
    layer.u.ld = input.Def();

    PF_InData& in = host.InData();
    in.downsample_x = ScaleX(settings);
    in.downsample_y = ScaleY(settings);
    in.pixel_aspect_ratio = settings.pixel_aspect;
    in.width = input.Width();
    in.height = input.Height();
    in.extent_hint = output.Def().extent_hint;
    in.output_origin_x = 0;
    in.output_origin_y = 0;
    if (settings.time) {
        in.current_time = settings.time->current_time;
        in.time_step = settings.time->time_step;
        in.local_time_step = settings.time->time_step;
        in.time_scale = settings.time->time_scale;
        if (settings.time->total_time > 0) in.total_time = settings.time->total_time;
    }

    if (host.IsPremiere()) {
        host.SetWorldPixelFormat(&output.Def(),
                                 settings.premiere_format.value_or(PremiereFormatOf(output.Layout())));
    }
}

PF_Err SendRender(Host& host, World& output, const FrameSettings& settings) {
    CheckSettings(settings);
    std::vector<PF_ParamDef>& params = host.Params();
    std::vector<std::pair<size_t, PF_PointDef>> saved;
    for (size_t i = 1; i < params.size(); ++i) {
        if (params[i].param_type != PF_Param_POINT) continue;
        PF_PointDef& point = params[i].u.td;
        saved.emplace_back(i, point);
        point.x_value = ScaleToBuffer(point.x_value, ScaleX(settings));
        point.y_value = ScaleToBuffer(point.y_value, ScaleY(settings));
    }
    const auto restore = [&]() {
        for (const auto& s : saved) params[s.first].u.td = s.second;
    };
    PF_Err err;
    try {
        err = host.Send(PF_Cmd_RENDER, host.ParamArray(), &output.Def(), nullptr);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return err;
}

PF_Err RenderFrame(Host& host, World& input, World& output, const FrameSettings& settings) {
    PrepareFrame(host, input, output, settings);
    return SendRender(host, output, settings);
}

}  // namespace vhost
