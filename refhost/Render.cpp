#include "Render.h"

#include <cmath>
#include <limits>

#include "HostError.h"
#include "../Vellora/Vellora.h"

namespace vhost {

namespace {

PF_Fixed ScaleFixed(PF_Fixed value, int downsample) {
    const double scaled = std::round(static_cast<double>(value) / downsample);
    return static_cast<PF_Fixed>(scaled);  // |value / n| never exceeds |value|
}

}  // namespace

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

PF_Err RenderFrame(Host& host, World& input, World& output, const FrameSettings& settings) {
    std::vector<PF_ParamDef>& params = host.Params();
    if (params.size() < static_cast<size_t>(PARAM_COUNT)) {
        throw HostError("cannot render: the effect has not declared its parameters");
    }
    if (settings.downsample < 1) {
        throw HostError("downsample factor " + std::to_string(settings.downsample) + " must be at least 1");
    }
    if (settings.pixel_aspect.num <= 0 || settings.pixel_aspect.den == 0) {
        throw HostError("pixel aspect ratio " + std::to_string(settings.pixel_aspect.num) + "/" +
                        std::to_string(settings.pixel_aspect.den) + " must be positive");
    }

    PF_ParamDef& layer = params[PARAM_INPUT];
    layer.param_type = PF_Param_LAYER;
    layer.u.ld = input.Def();
    input.Def().pix_aspect_ratio = settings.pixel_aspect;
    output.Def().pix_aspect_ratio = settings.pixel_aspect;
    layer.u.ld.pix_aspect_ratio = settings.pixel_aspect;

    PF_InData& in = host.InData();
    const PF_RationalScale scale{1, static_cast<A_u_long>(settings.downsample)};
    in.downsample_x = scale;
    in.downsample_y = scale;
    in.pixel_aspect_ratio = settings.pixel_aspect;
    in.width = input.Width();
    in.height = input.Height();
    in.extent_hint = output.Def().extent_hint;
    in.output_origin_x = 0;
    in.output_origin_y = 0;

    if (host.IsPremiere()) {
        host.SetWorldPixelFormat(&output.Def(),
                                 settings.premiere_format.value_or(PremiereFormatOf(output.Layout())));
    }

    // The point parameter is held at full resolution; the effect sees buffer pixels.
    PF_PointDef& origin = params[PARAM_ORIGIN].u.td;
    const PF_PointDef saved = origin;
    origin.x_value = ScaleFixed(saved.x_value, settings.downsample);
    origin.y_value = ScaleFixed(saved.y_value, settings.downsample);
    PF_Err err;
    try {
        err = host.Send(PF_Cmd_RENDER, host.ParamArray(), &output.Def(), nullptr);
    } catch (...) {
        params[PARAM_ORIGIN].u.td = saved;
        throw;
    }
    params[PARAM_ORIGIN].u.td = saved;
    return err;
}

}  // namespace vhost
