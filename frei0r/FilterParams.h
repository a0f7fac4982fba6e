// The filter's frei0r parameters, made from the host's parameter table: each
// row's frei0r mapping (a point gives two), doubles in 0..1 by frei0r's
// convention, mapped to the effect's values in effect-controls units for one
// frame size and held to what the linked effect declares.
#pragma once

#include <string>
#include <vector>

#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vfrei0r {

struct ParamInfo {
    std::string name;
    int type;  // F0R_PARAM_*
    std::string explanation;
    const vparams::ParamEntry* entry;
    const vparams::Frei0rParam* mapping;
    int axis;  // 0, or 1 for a point's y
};

// How many frei0r parameters the table maps (known without the effect).
int ParamCount();

// The list, made once from the table and the linked effect's declaration
// after checking they agree; throws HostError when they do not.
const std::vector<ParamInfo>& Params();
// The linked effect's declaration, read with the list.
const vparams::Declaration& Declared();

// Null for an index out of range (or when the list could not be made).
const ParamInfo* FindParam(int index);

// Maps frei0r value `v` of parameter `index` onto `values` for a frame of
// width x height, held to `declared`. A NaN (or an unknown index) changes nothing.
void SetParam(vparams::EffectValues& values, int index, double v, const vparams::Declaration& declared, int width,
              int height);

// The frei0r value of the effect value now in `values` (every value set).
double GetParam(const vparams::EffectValues& values, int index, const vparams::Declaration& declared, int width,
                int height);

}  // namespace vfrei0r
