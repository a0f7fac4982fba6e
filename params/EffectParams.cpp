#include "params/EffectParams.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "api/FixedPoint.h"
#include "host/HostError.h"
#include "params/ParamTable.h"
#include "params/ParamValue.h"
#include "params/StrictJson.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vparams {

namespace {

// 16.16 fixed point of a value in the parameter's own units.
PF_Fixed ToFixed(double value, const std::string& what) {
    if (!vfixed::Fits(value)) {
        throw vsupport::InputError(what + " " + vtext::Exact(value) +
                                   " cannot be held by the host (16.16 fixed point, about +/-32767)");
    }
    return vfixed::FromDouble(value);
}

}  // namespace

std::vector<PF_ParamDef>& SetUpParams(vhost::Host& host, const char* doing) {
    std::vector<PF_ParamDef>& p = host.Params();
    if (p.size() < ParamTable().size() + 1) {
        throw vhost::HostError(std::string("cannot ") + doing +
                               " the effect's parameters: parameter set-up has not run");
    }
    return p;
}

void ApplyEffectValues(vhost::Host& host, const EffectValues& values, int layer_width, int layer_height) {
    std::vector<PF_ParamDef>& params = SetUpParams(host, "set");
    host.ResetParams(layer_width, layer_height);
    for (const ParamEntry& e : ParamTable()) {
        PF_ParamDef& p = params[static_cast<size_t>(e.index)];
        switch (e.type) {
            case PF_Param_POPUP:
                if (const auto& v = values.*e.choice) p.u.pd.value = *v;
                break;
            case PF_Param_CHECKBOX:
                if (const auto& v = values.*e.flag) p.u.bd.value = *v ? 1 : 0;
                break;
            case PF_Param_FLOAT_SLIDER:
                if (const auto& v = values.*e.number) p.u.fs_d.value = *v;
                break;
            case PF_Param_FIX_SLIDER:
                if (const auto& v = values.*e.number) p.u.fd.value = ToFixed(*v, e.key);
                break;
            case PF_Param_ANGLE:
                if (const auto& v = values.*e.number) p.u.ad.value = ToFixed(*v, e.key);
                break;
            case PF_Param_POINT:
                if (const auto& v = values.*e.number) p.u.td.x_value = ToFixed(*v, e.key + std::string(" x"));
                if (const auto& v = values.*e.number_y) {
                    p.u.td.y_value = ToFixed(*v, e.key + std::string(" y"));
                }
                break;
            default:
                break;
        }
    }
}

EffectValues ReadEffectValues(vhost::Host& host) {
    std::vector<PF_ParamDef>& params = SetUpParams(host, "read");
    EffectValues v;
    for (const ParamEntry& e : ParamTable()) {
        const PF_ParamDef& p = params[static_cast<size_t>(e.index)];
        switch (e.type) {
            case PF_Param_POPUP:
                v.*e.choice = p.u.pd.value;
                break;
            case PF_Param_CHECKBOX:
                v.*e.flag = p.u.bd.value != 0;
                break;
            case PF_Param_FLOAT_SLIDER:
                v.*e.number = p.u.fs_d.value;
                break;
            case PF_Param_FIX_SLIDER:
                v.*e.number = vfixed::ToDouble(p.u.fd.value);
                break;
            case PF_Param_ANGLE:
                v.*e.number = vfixed::ToDouble(p.u.ad.value);
                break;
            case PF_Param_POINT:
                v.*e.number = vfixed::ToDouble(p.u.td.x_value);
                v.*e.number_y = vfixed::ToDouble(p.u.td.y_value);
                break;
            default:
                break;
        }
    }
    return v;
}

const char* ParamKey(int index) {
    if (index == 0) return "input";
    const ParamEntry* entry = FindEntry(index);
    return entry ? entry->key : nullptr;
}

const char* HandleName(int handle) {
    static const char* const kNames[] = {"none",         "top_left",     "top_right",     "bottom_left",
                                         "bottom_right", "rotation",     "feather_left",  "feather_right",
                                         "feather_top",  "feather_bottom", "opacity"};
    return handle >= 0 && handle <= 10 ? kNames[handle] : "unknown";
}

nlohmann::ordered_json EffectValuesToJson(const EffectValues& v, const Declaration& declared) {
    nlohmann::ordered_json j;
    for (const ParamEntry& e : ParamTable()) {
        nlohmann::ordered_json& value = j[e.key];
        if (e.choice) {
            if (const auto& c = v.*e.choice) value = declared.ChoiceName(e.index, *c);
        } else if (e.flag) {
            if (const auto& b = v.*e.flag) value = *b;
        } else if (e.number_y) {
            if (v.*e.number && v.*e.number_y) value = {*(v.*e.number), *(v.*e.number_y)};
        } else if (const auto& n = v.*e.number) {
            value = *n;
        }
    }
    return j;
}

nlohmann::ordered_json ReadEffectValuesJson(vhost::Host& host) {
    return EffectValuesToJson(ReadEffectValues(host), Declaration::Read(host));
}

EffectValues EffectValuesFromJson(const nlohmann::json& json, EffectValues base, const std::string& source_name,
                                  const Declaration& declared) {
    const std::string where = source_name.empty() ? std::string("parameters") : source_name;
    if (!json.is_object()) {
        throw vsupport::InputError(where + ": expected a JSON object of parameter values");
    }
    EffectValues v = base;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const ParamEntry& e = ParamOfKey(it.key(), where);
        if (e.number_y && it.value().is_null()) {
            // null sets the point back to its default, the layer's centre.
            (v.*e.number).reset();
            (v.*e.number_y).reset();
            continue;
        }
        StoreParamValue(e, ReadParamValue(e, declared, it.value(), where + ": '" + e.key + "'"), v);
    }
    return v;
}

EffectValues EffectValuesFromJsonText(const std::string& text, EffectValues base, const std::string& source_name,
                                      const Declaration& declared) {
    const nlohmann::json json =
        ParseStrictJson(text, source_name, {kMaxParamsBytes, kMaxParamsDepth, "a parameters file"});
    return EffectValuesFromJson(json, base, source_name, declared);
}

}  // namespace vparams
