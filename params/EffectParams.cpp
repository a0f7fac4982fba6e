#include "params/EffectParams.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/HostError.h"
#include "plugin/Vellora/Vellora.h"
#include "params/ParamTable.h"
#include "params/StrictJson.h"

namespace vparams {

namespace {

// 16.16 fixed point of a value in the parameter's own units.
PF_Fixed ToFixed(double value, const char* what) {
    const double scaled = std::round(value * 65536.0);
    if (!std::isfinite(scaled) || scaled > std::numeric_limits<PF_Fixed>::max() ||
        scaled < std::numeric_limits<PF_Fixed>::min()) {
        std::ostringstream msg;
        msg << what << " " << value << " cannot be held by the host (16.16 fixed point, about +/-32767)";
        throw vhost::HostError(msg.str());
    }
    return static_cast<PF_Fixed>(scaled);
}

double FromFixed(PF_Fixed value) { return value * VELLORA_FIX2DBL; }

double InRange(double value, double lo, double hi, const std::string& what) {
    if (!std::isfinite(value) || value < lo || value > hi) {
        throw vhost::HostError(what + " " + Exact(value) + " is out of range (" + Exact(lo) + " to " + Exact(hi) + ")");
    }
    return value;
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
                if (const auto& v = values.*e.number) p.u.td.x_value = ToFixed(*v, (e.key + std::string(" x")).c_str());
                if (const auto& v = values.*e.number_y) {
                    p.u.td.y_value = ToFixed(*v, (e.key + std::string(" y")).c_str());
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
                v.*e.number = FromFixed(p.u.fd.value);
                break;
            case PF_Param_ANGLE:
                v.*e.number = FromFixed(p.u.ad.value);
                break;
            case PF_Param_POINT:
                v.*e.number = FromFixed(p.u.td.x_value);
                v.*e.number_y = FromFixed(p.u.td.y_value);
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
        throw vhost::HostError(where + ": expected a JSON object of parameter values");
    }
    const auto number = [&](const nlohmann::json& value, const std::string& key) {
        if (!value.is_number()) {
            throw vhost::HostError(where + ": '" + key + "' must be a number, not " + Short(value));
        }
        return value.get<double>();
    };
    const auto choice = [&](const nlohmann::json& value, const ParamEntry& e) {
        const std::string key = e.key;
        if (value.is_string()) {
            try {
                return declared.ParseChoice(e.index, value.get<std::string>());
            } catch (const vhost::HostError& error) {
                throw vhost::HostError(where + ": '" + key + "': " + error.what());
            }
        }
        const int count = static_cast<int>(declared.Max(e.index));
        if (value.is_number_integer() && value.get<int>() >= 1 && value.get<int>() <= count) {
            return value.get<int>();
        }
        throw vhost::HostError(where + ": '" + key + "' must be a name or a number from 1 to " + std::to_string(count) +
                               ", not " + Short(value));
    };
    const auto ranged = [&](const nlohmann::json& value, const ParamEntry& e) {
        const std::string key = e.key;
        try {
            return InRange(number(value, key), declared.Min(e.index), declared.Max(e.index), "'" + key + "'");
        } catch (const vhost::HostError& error) {
            const std::string text = error.what();
            throw vhost::HostError(text.rfind(where, 0) == 0 ? text : where + ": " + text);
        }
    };

    EffectValues v = base;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const std::string& key = it.key();
        const nlohmann::json& value = it.value();
        const ParamEntry* e = FindKey(key);
        if (!e) {
            std::string keys;
            for (const ParamEntry& entry : ParamTable()) keys += (keys.empty() ? "" : ", ") + std::string(entry.key);
            throw vhost::HostError(where + ": unknown parameter '" + key + "' (expected " + keys + ")");
        }
        if (e->choice) {
            v.*e->choice = choice(value, *e);
        } else if (e->flag) {
            if (!value.is_boolean()) {
                throw vhost::HostError(where + ": '" + key + "' must be true or false, not " + Short(value));
            }
            v.*e->flag = value.get<bool>();
        } else if (e->number_y) {
            if (value.is_null()) {
                (v.*e->number).reset();
                (v.*e->number_y).reset();
            } else if (value.is_array() && value.size() == 2) {
                v.*e->number = ranged(value[0], *e);
                v.*e->number_y = ranged(value[1], *e);
            } else {
                throw vhost::HostError(where + ": '" + key + "' must be [x, y] in layer pixels, not " + Short(value));
            }
        } else {
            v.*e->number = ranged(value, *e);
        }
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
