// The filter's frei0r parameters: doubles in 0..1 by frei0r's convention,
// mapped to the effect's values in effect-controls units for one frame size.
#pragma once

#include "params/EffectParams.h"
#include "host/Host.h"

namespace vfrei0r {

enum FilterParam {
    kMaskType,
    kCompositeMode,
    kOriginX,
    kOriginY,
    kWidth,
    kHeight,
    kAngle,
    kFeather,
    kOpacity,
    kInvert,
    kFalloff,
    kParamCount
};

struct ParamInfo {
    const char* name;
    int type;  // F0R_PARAM_*
    const char* explanation;
};

// Null for an index out of range.
const ParamInfo* FindParam(int index);

// The ranges and choices the effect declared, as a host holds its controls to them.
struct EffectLimits {
    int composite_choices = 0;
    int falloff_choices = 0;
    double width_min = 0, width_max = 0;
    double height_min = 0, height_max = 0;
    double feather_min = 0, feather_max = 0;
    double opacity_min = 0, opacity_max = 0;  // percent
};

// Read from a host's parameter list after parameter set-up; throws
// HostError when the effect declared a parameter of another kind.
EffectLimits ReadLimits(vhost::Host& host);

// Maps frei0r value `v` of parameter `index` onto `values` for a frame of
// width x height, held to `limits`. A NaN (or an unknown index) changes nothing.
void SetParam(vparams::EffectValues& values, int index, double v, const EffectLimits& limits, int width, int height);

// The frei0r value of the effect value now in `values` (origin set).
double GetParam(const vparams::EffectValues& values, int index, const EffectLimits& limits, int width, int height);

}  // namespace vfrei0r
