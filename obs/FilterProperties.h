// The filter's properties dialog: one control per setting, each labelled from
// the locale file, with its unit, range, step and choices from the parameter
// facts, so the dialog can never offer what the settings would refuse.
#pragma once

#include <obs-properties.h>

#include "params/ParamFacts.h"

namespace vobs {

// `refused`: the filter passes its source through (a high-precision or HDR
// source), which the dialog says first.
obs_properties_t* MakeProperties(const vparams::ParamFactsList& facts, bool refused);

}  // namespace vobs
