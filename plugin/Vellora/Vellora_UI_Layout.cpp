// The overlay's geometry: the mask frames from the parameters and the one
// layout of the handles in the window that drawing and hit-testing share.
#include <cmath>
#include <cstdint>

#include "plugin/Vellora/Vellora_UI.h"

namespace {

// Midpoint of two 16.16 coordinates, halved toward zero.
PF_Fixed Mid(PF_Fixed p, PF_Fixed q) { return static_cast<PF_Fixed>((static_cast<int64_t>(p) + q) / 2); }

PF_FixedPoint MidPoint(const PF_FixedPoint& p, const PF_FixedPoint& q) { return {Mid(p.x, q.x), Mid(p.y, q.y)}; }

// The rotation handle in 16.16 layer space: a fifth of the layer height from
// the centre along the turned vertical axis, whatever the mask's size.
PF_FixedPoint RotationHandleLayerPoint(PF_InData* in_data, const PF_FixedPoint& origin, float angle) {
    const double d = static_cast<double>(in_data->height) / 5.0;
    const double a = angle;
    const float along = static_cast<float>(FixedFromFloat(std::sin(a) * d)) / PixelAspect(in_data);
    PF_FixedPoint r;
    r.x = TruncToLong(static_cast<float>(origin.x) + along);
    r.y = SubLong(origin.y, FixedFromFloat(std::cos(a) * d));
    return r;
}

// Where `opacity` (16.16) sits on the track of a window-space centre: OpacityAtLevel undone.
PF_Fixed OpacityLevel(PF_Fixed centre_y, PF_Fixed opacity) {
    return SubLong(AddLong(centre_y, vfixed::FromInt(OpacityTrack::kHalf)), opacity);
}

}  // namespace

int64_t OpacityAtLevel(PF_Fixed centre_y, PF_Fixed level_y) {
    return vfixed::FromInt(OpacityTrack::kHalf) - static_cast<int64_t>(level_y) + centre_y;
}

float AngleRadians(PF_ParamDef** params) {
    return static_cast<float>(vfixed::ToDouble(params[PARAM_ANGLE]->u.ad.value) * kDegreesToRadians);
}

float PixelAspect(const PF_InData* in_data) {
    return static_cast<float>(in_data->pixel_aspect_ratio.num) / static_cast<float>(in_data->pixel_aspect_ratio.den);
}

void FixedFrameFromParams(PF_InData* in_data, PF_ParamDef** params, PF_FixedRect* outer_frame,
                          PF_FixedRect* inner_frame) {
    const PF_Fixed ox = params[PARAM_ORIGIN]->u.td.x_value;
    const PF_Fixed oy = params[PARAM_ORIGIN]->u.td.y_value;
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    const double h = params[PARAM_HEIGHT]->u.fs_d.value;
    const double f = params[PARAM_FEATHER]->u.fs_d.value;
    const float s =
        static_cast<float>(in_data->pixel_aspect_ratio.den) / static_cast<float>(in_data->pixel_aspect_ratio.num);

    const PF_Fixed hw = FixedFromFloat(w * 0.5);
    const PF_Fixed hh = FixedFromFloat(h * 0.5);
    outer_frame->left = TruncToLong(static_cast<float>(ox) - static_cast<float>(hw) * s);
    outer_frame->right = TruncToLong(static_cast<float>(hw) * s + static_cast<float>(ox));
    outer_frame->top = SubLong(oy, hh);
    outer_frame->bottom = AddLong(hh, oy);

    const double ratio = h == 0.0 ? 0.0 : w / h;
    inner_frame->left = AddLong(FixedFromFloat(f * s), outer_frame->left);
    inner_frame->right = SubLong(outer_frame->right, FixedFromFloat(static_cast<double>(s) * f));
    // feather / ratio has no value when the ratio is 0 (a zero height or width): no vertical inset then.
    const double vertical = f / ratio;
    const PF_Fixed inset = (ratio == 0.0 || !std::isfinite(vertical)) ? 0 : FixedFromFloat(vertical);
    inner_frame->top = AddLong(inset, outer_frame->top);
    inner_frame->bottom = SubLong(outer_frame->bottom, inset);
}

OverlayLayout ComputeOverlayLayout(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra) {
    OverlayLayout layout;
    layout.origin = {params[PARAM_ORIGIN]->u.td.x_value, params[PARAM_ORIGIN]->u.td.y_value};
    layout.centre = layout.origin;
    Source2FramePoint(in_data, extra, &layout.centre);

    PF_FixedRect outer, inner;
    FixedFrameFromParams(in_data, params, &outer, &inner);
    Source2FrameRect(in_data, extra, &outer, &layout.outer);
    Source2FrameRect(in_data, extra, &inner, &layout.inner);
    layout.angle = AngleRadians(params);
    RotateFixedRect(in_data, &layout.outer, &layout.centre, layout.angle);
    RotateFixedRect(in_data, &layout.inner, &layout.centre, layout.angle);

    PF_FixedPoint* h = layout.handles;
    h[HANDLE_NONE] = layout.centre;
    h[HANDLE_TOP_LEFT] = layout.outer.topLeft;
    h[HANDLE_TOP_RIGHT] = layout.outer.topRight;
    h[HANDLE_BOTTOM_LEFT] = layout.outer.bottomLeft;
    h[HANDLE_BOTTOM_RIGHT] = layout.outer.bottomRight;
    h[HANDLE_ROTATION] = RotationHandleLayerPoint(in_data, layout.origin, layout.angle);
    Source2FramePoint(in_data, extra, &h[HANDLE_ROTATION]);
    h[HANDLE_FEATHER_LEFT] = MidPoint(layout.inner.topLeft, layout.inner.bottomLeft);
    h[HANDLE_FEATHER_RIGHT] = MidPoint(layout.inner.topRight, layout.inner.bottomRight);
    h[HANDLE_FEATHER_TOP] = MidPoint(layout.inner.topLeft, layout.inner.topRight);
    h[HANDLE_FEATHER_BOTTOM] = MidPoint(layout.inner.bottomLeft, layout.inner.bottomRight);
    h[HANDLE_OPACITY] = {SubLong(layout.centre.x, vfixed::FromInt(OpacityTrack::kLeft)),
                         OpacityLevel(layout.centre.y, params[PARAM_OPACITY]->u.fd.value)};
    return layout;
}
