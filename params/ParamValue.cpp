#include "params/ParamValue.h"

#include <cmath>
#include <vector>

#include <nlohmann/json.hpp>

#include "params/StrictJson.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vparams {

namespace {

[[noreturn]] void Refuse(const std::string& where, const std::string& reason) {
    throw vsupport::InputError(where + ": " + reason);
}

// `coordinate` ("x ", "y ") names a point's part; empty for a plain number.
double Ranged(const nlohmann::json& value, double lo, double hi, const std::string& where,
              const std::string& coordinate) {
    if (!value.is_number()) Refuse(where, coordinate + Short(value) + " is not a number");
    const double d = value.get<double>();
    if (!std::isfinite(d) || d < lo || d > hi) {
        Refuse(where, coordinate + vtext::Exact(d) + " is out of range (" + vtext::Exact(lo) + " to " + vtext::Exact(hi) + ")");
    }
    return d;
}

}  // namespace

const ParamEntry& ParamOfKey(const std::string& key, const std::string& where) {
    if (const ParamEntry* entry = FindKey(key)) return *entry;
    std::vector<std::string> keys;
    for (const ParamEntry& entry : ParamTable()) keys.push_back(entry.key);
    Refuse(where, "unknown parameter '" + key + "' (expected " + vtext::Join(keys) + ")");
}

KeyValue ReadParamValue(const ParamEntry& param, const Declaration& declared, const nlohmann::json& value,
                        const std::string& where) {
    const double lo = declared.Min(param.index), hi = declared.Max(param.index);
    switch (param.type) {
        case PF_Param_POINT:
            if (!value.is_array() || value.size() != 2) Refuse(where, Short(value) + " is not [x, y] in layer pixels");
            return {Ranged(value[0], lo, hi, where, "x "), Ranged(value[1], lo, hi, where, "y ")};
        case PF_Param_CHECKBOX:
            if (!value.is_boolean()) Refuse(where, Short(value) + " is not true or false");
            return {value.get<bool>() ? 1.0 : 0.0, 0.0};
        case PF_Param_POPUP:
            if (value.is_string()) {
                try {
                    return {static_cast<double>(declared.ParseChoice(param.index, value.get<std::string>())), 0.0};
                } catch (const vsupport::InputError& e) {
                    Refuse(where, e.what());
                }
            }
            // Compared as doubles: a huge integer must not wrap into the list.
            if (!value.is_number_integer() || value.get<double>() < lo || value.get<double>() > hi) {
                Refuse(where, Short(value) + " is not a name or a number from 1 to " + vtext::Exact(hi));
            }
            return {value.get<double>(), 0.0};
        default:
            return {Ranged(value, lo, hi, where, ""), 0.0};
    }
}

void StoreParamValue(const ParamEntry& param, const KeyValue& value, EffectValues& values) {
    if (param.choice) values.*param.choice = static_cast<int>(value[0]);
    if (param.flag) values.*param.flag = value[0] != 0.0;
    if (param.number) values.*param.number = value[0];
    if (param.number_y) values.*param.number_y = value[1];
}

}  // namespace vparams
