// One parameter's value as a parameters file or a key file gives it, checked
// by the parameter's kind against what the plug-in declares. Both files word a
// refusal alike: where it is (file, parameter, frame), then the value as given
// and what was expected.
#pragma once

#include <array>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vparams {

// A value of any kind: a number in [0]; a point's x and y; a popup's 1-based
// choice; a checkbox's 0 or 1.
using KeyValue = std::array<double, 2>;

// The row of a file's member `key`; throws InputError "<where>: unknown
// parameter ..." listing the keys there are.
const ParamEntry& ParamOfKey(const std::string& key, const std::string& where);

// `value` read as `param` by its kind: a number within the declared range, a
// point [x, y] each within the fixed-point limit, a popup by name or 1-based
// number, a checkbox true or false. Throws InputError "<where>: <reason>",
// `where` naming the file and the parameter.
KeyValue ReadParamValue(const ParamEntry& param, const Declaration& declared, const nlohmann::json& value,
                        const std::string& where);

// Sets the field (a point's two) of `values` that `param` names.
void StoreParamValue(const ParamEntry& param, const KeyValue& value, EffectValues& values);

}  // namespace vparams
