#include "plugin/Vellora/Vellora_Mask.h"

#include <cmath>
#include <cstring>
#include <limits>


namespace {

// A rational scale as a float, each operand converted first. A host that sends
// no usable scale (zero or negative numerator, zero denominator) gets 1, so the
// pixel map never divides by zero.
float ScaleOf(const PF_RationalScale& r) {
    if (r.num <= 0 || r.den == 0) {
        return 1.0f;
    }
    return static_cast<float>(r.num) / static_cast<float>(r.den);
}

// Denominator over numerator: the reciprocal of the pixel aspect ratio.
float InverseScaleOf(const PF_RationalScale& r) {
    if (r.num <= 0 || r.den == 0) {
        return 1.0f;
    }
    return static_cast<float>(r.den) / static_cast<float>(r.num);
}

}  // namespace

void FillVignetteInfo(const VignetteParams& p, VignetteInfo* vi) {
    std::memset(vi, 0, sizeof(*vi));

    const double theta = vfixed::ToDouble(p.angle) * (-0.017453292519943295);
    const float c = static_cast<float>(std::cos(theta));
    const float s = static_cast<float>(std::sin(theta));

    const float dsx = ScaleOf(p.downsample_x);
    const float dsy = ScaleOf(p.downsample_y);
    const float sx = InverseScaleOf(p.pixel_aspect_ratio) * dsx;

    const float cx = static_cast<float>(vfixed::ToDouble(p.origin_x));
    const float cy = static_cast<float>(vfixed::ToDouble(p.origin_y));

    vi->pixelToMask[0][0] = c / sx;
    vi->pixelToMask[0][1] = (-s) / dsy;
    vi->pixelToMask[0][2] = (cy * s) / dsy - (cx * c) / sx;
    vi->pixelToMask[1][0] = s / sx;
    vi->pixelToMask[1][1] = c / dsy;
    vi->pixelToMask[1][2] = ((-cx) * s) / sx - (cy * c) / dsy;

    vi->falloff = p.falloff;
    // Opacity is declared 0..100; a damaged project's value outside it would put
    // float alphas outside 0..1, so it is held to the declared range.
    vi->opacity = static_cast<float>(std::fmin(std::fmax(vfixed::ToDouble(p.opacity) / 100.0, 0.0), 1.0));
    vi->invert = static_cast<A_u_char>(p.invert & 0xFF);
    vi->compositeMode = p.composite_mode;

    const float halfWidth = static_cast<float>(p.width * 0.5);
    const float halfHeight = static_cast<float>(0.5 * p.height);
    if (!(halfWidth > 0.0f) || !(halfHeight > 0.0f)) {
        // No inside at all: an empty rectangle (half-extents 0) puts every pixel
        // outside before any division by the size could happen.
        vi->isEllipse = 0;
        return;
    }
    vi->halfWidth = halfWidth;
    vi->halfHeight = halfHeight;
    const float aspect = halfWidth / halfHeight;

    float f = static_cast<float>(p.feather);
    if (!(f > 0.0f)) {
        f = 0.0f;  // negative or NaN: a hard edge
    }
    if (f >= halfWidth) {
        f = static_cast<float>(-1.0 + halfWidth);
        if (f < 0.0f) {
            f = 0.0f;  // masks under two pixels wide have no room for a band
        }
    }
    vi->feather = f;
    const float fv = f / aspect;

    vi->innerHalfWidth = halfWidth - f;
    vi->innerHalfHeight = halfHeight - fv;

    if (p.mask_type == MASK_RECTANGLE) {
        const float inf = std::numeric_limits<float>::infinity();
        vi->scaleU = f != 0.0f ? 1.0f / f : inf;  // unused with a zero feather
        vi->scaleV = fv != 0.0f ? 1.0f / fv : inf;
        vi->isEllipse = 0;
    } else {
        vi->isEllipse = 1;
        vi->halfWidthSq = halfWidth * halfWidth;
        vi->halfHeightSq = halfHeight * halfHeight;
        vi->scaleU = 1.0f / vi->halfWidthSq;
        vi->scaleV = 1.0f / vi->halfHeightSq;
        vi->outerAxisProduct = halfWidth * halfHeight;
        vi->innerAxisProduct = vi->innerHalfWidth * vi->innerHalfHeight;
        vi->innerHalfWidthSq = vi->innerHalfWidth * vi->innerHalfWidth;
        vi->innerHalfHeightSq = vi->innerHalfHeight * vi->innerHalfHeight;
        vi->innerInvHalfWidthSq = 1.0f / vi->innerHalfWidthSq;
        vi->innerInvHalfHeightSq = 1.0f / vi->innerHalfHeightSq;
    }
}

VignetteParams VignetteParamsFromHost(const PF_InData* in_data, PF_ParamDef* const params[]) {
    VignetteParams p;
    p.angle = params[PARAM_ANGLE]->u.ad.value;
    p.origin_x = params[PARAM_ORIGIN]->u.td.x_value;
    p.origin_y = params[PARAM_ORIGIN]->u.td.y_value;
    p.width = params[PARAM_WIDTH]->u.fs_d.value;
    p.height = params[PARAM_HEIGHT]->u.fs_d.value;
    p.feather = params[PARAM_FEATHER]->u.fs_d.value;
    p.opacity = params[PARAM_OPACITY]->u.fd.value;
    p.mask_type = params[PARAM_MASK_TYPE]->u.pd.value;
    p.invert = params[PARAM_INVERT]->u.bd.value;
    p.composite_mode = params[PARAM_COMPOSITE_MODE]->u.pd.value;
    p.falloff = params[PARAM_FALLOFF]->u.pd.value;
    p.downsample_x = in_data->downsample_x;
    p.downsample_y = in_data->downsample_y;
    p.pixel_aspect_ratio = in_data->pixel_aspect_ratio;
    return p;
}

double alphaFunct(const VignetteInfo* vi, double t) {
    using namespace vellora_curves;
    t = ClampRamp(t);
    return WithCurve(vi->falloff, [t](auto curve) { return decltype(curve)::Exact(t); });
}

float VignetteRectangleInside(const VignetteInfo* vi, float au, float av) {
    return RectangleBand(
        vi, au, av, [vi](float d) { return alphaFunct(vi, vi->scaleU * (d - vi->innerHalfWidth)); },
        [vi](float d) { return alphaFunct(vi, vi->scaleV * (d - vi->innerHalfHeight)); });
}
