#include "frei0r/FilterParams.h"

// frei0r.h declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <string>

#include "host/HostError.h"
#include "plugin/Vellora/Vellora.h"

namespace vfrei0r {

namespace {

const ParamInfo kParams[kParamCount] = {
    {"mask_type", F0R_PARAM_DOUBLE, "Mask shape: below 0.5 ellipse, otherwise rectangle"},
    {"composite_mode", F0R_PARAM_DOUBLE,
     "How the mask meets the layer's alpha: floor(v*4) 0 add, 1 subtract, 2 intersect, 3 create"},
    {"origin_x", F0R_PARAM_DOUBLE, "Mask centre x: v * frame width, in layer pixels"},
    {"origin_y", F0R_PARAM_DOUBLE, "Mask centre y: v * frame height, in layer pixels"},
    {"width", F0R_PARAM_DOUBLE, "Mask width: v * frame width, in pixels"},
    {"height", F0R_PARAM_DOUBLE, "Mask height: v * frame height, in pixels"},
    {"angle", F0R_PARAM_DOUBLE, "Rotation: v * 360 degrees, clockwise on screen"},
    {"feather", F0R_PARAM_DOUBLE, "Soft band inside the edge: v * frame width, in pixels"},
    {"opacity", F0R_PARAM_DOUBLE, "Mask strength: v * 100 percent"},
    {"invert", F0R_PARAM_BOOL, "Invert the mask"},
    {"falloff", F0R_PARAM_DOUBLE,
     "Curve across the soft band: floor(v*6) 0 linear, 1 quadratic, 2 cubic, 3 gamma 2.2, 4 gaussian, "
     "5 exponential"},
};

// Points and angles declare no range; 16.16 fixed point holds about +/-32767.
constexpr double kFixedLimit = 32767.0;

const PF_ParamDef& Declared(vhost::Host& host, int index, PF_ParamType type) {
    const std::vector<PF_ParamDef>& params = host.Params();
    if (params.size() < static_cast<size_t>(PARAM_COUNT) || params[static_cast<size_t>(index)].param_type != type) {
        throw vhost::HostError("the effect declared parameter " + std::to_string(index) +
                               " unlike the one the filter maps to it");
    }
    return params[static_cast<size_t>(index)];
}

// Choice k (0-based) of n for floor(v * n), held to the list.
int Choice(double v, int n) { return static_cast<int>(std::clamp(std::floor(v * n), 0.0, n - 1.0)); }

// The frei0r value that maps back to choice k of n: k / n, or just above it
// where k / n * n rounds below k.
double ChoiceValue(int k, int n) {
    double v = static_cast<double>(k) / n;
    while (std::floor(v * n) < k) v = std::nextafter(v, 1.0);
    return v;
}

}  // namespace

const ParamInfo* FindParam(int index) { return index >= 0 && index < kParamCount ? &kParams[index] : nullptr; }

EffectLimits ReadLimits(vhost::Host& host) {
    EffectLimits limits;
    limits.composite_choices = Declared(host, PARAM_COMPOSITE_MODE, PF_Param_POPUP).u.pd.num_choices;
    limits.falloff_choices = Declared(host, PARAM_FALLOFF, PF_Param_POPUP).u.pd.num_choices;
    const auto slider = [&](int index, double& lo, double& hi) {
        const PF_FloatSliderDef& s = Declared(host, index, PF_Param_FLOAT_SLIDER).u.fs_d;
        lo = s.valid_min;
        hi = s.valid_max;
    };
    slider(PARAM_WIDTH, limits.width_min, limits.width_max);
    slider(PARAM_HEIGHT, limits.height_min, limits.height_max);
    slider(PARAM_FEATHER, limits.feather_min, limits.feather_max);
    const PF_FixedSliderDef& opacity = Declared(host, PARAM_OPACITY, PF_Param_FIX_SLIDER).u.fd;
    limits.opacity_min = opacity.valid_min * VELLORA_FIX2DBL;
    limits.opacity_max = opacity.valid_max * VELLORA_FIX2DBL;
    Declared(host, PARAM_MASK_TYPE, PF_Param_POPUP);
    Declared(host, PARAM_ORIGIN, PF_Param_POINT);
    Declared(host, PARAM_ANGLE, PF_Param_ANGLE);
    Declared(host, PARAM_INVERT, PF_Param_CHECKBOX);
    if (limits.composite_choices < 1 || limits.falloff_choices < 1) {
        throw vhost::HostError("the effect declared a popup without choices");
    }
    return limits;
}

void SetParam(vparams::EffectValues& values, int index, double v, const EffectLimits& limits, int width,
              int height) {
    if (std::isnan(v)) return;
    switch (index) {
        case kMaskType:
            values.mask_type = v < 0.5 ? MASK_ELLIPSE : MASK_RECTANGLE;
            break;
        case kCompositeMode:
            values.composite_mode = Choice(v, limits.composite_choices) + 1;
            break;
        case kOriginX:
            values.origin_x = std::clamp(v * width, -kFixedLimit, kFixedLimit);
            break;
        case kOriginY:
            values.origin_y = std::clamp(v * height, -kFixedLimit, kFixedLimit);
            break;
        case kWidth:
            values.width = std::clamp(v * width, limits.width_min, limits.width_max);
            break;
        case kHeight:
            values.height = std::clamp(v * height, limits.height_min, limits.height_max);
            break;
        case kAngle:
            values.angle = std::clamp(v * 360.0, -kFixedLimit, kFixedLimit);
            break;
        case kFeather:
            values.feather = std::clamp(v * width, limits.feather_min, limits.feather_max);
            break;
        case kOpacity:
            values.opacity = std::clamp(v * 100.0, limits.opacity_min, limits.opacity_max);
            break;
        case kInvert:
            values.invert = v >= 0.5;
            break;
        case kFalloff:
            values.falloff = Choice(v, limits.falloff_choices) + 1;
            break;
        default:
            break;
    }
}

double GetParam(const vparams::EffectValues& values, int index, const EffectLimits& limits, int width, int height) {
    switch (index) {
        case kMaskType:
            return values.mask_type == MASK_RECTANGLE ? 1.0 : 0.0;
        case kCompositeMode:
            return ChoiceValue(values.composite_mode - 1, limits.composite_choices);
        case kOriginX:
            return values.origin_x.value_or(width / 2.0) / width;
        case kOriginY:
            return values.origin_y.value_or(height / 2.0) / height;
        case kWidth:
            return values.width / width;
        case kHeight:
            return values.height / height;
        case kAngle:
            return values.angle / 360.0;
        case kFeather:
            return values.feather / width;
        case kOpacity:
            return values.opacity / 100.0;
        case kInvert:
            return values.invert ? 1.0 : 0.0;
        case kFalloff:
            return ChoiceValue(values.falloff - 1, limits.falloff_choices);
        default:
            return 0.0;
    }
}

}  // namespace vfrei0r
