#include "params/EffectParams.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/HostError.h"
#include "plugin/Vellora/Vellora.h"

namespace vparams {

namespace {

const char* const kMaskTypes[] = {"ellipse", "rectangle"};
const char* const kCompositeModes[] = {"add", "subtract", "intersect", "create"};
const char* const kFalloffs[] = {"linear", "quadratic", "cubic", "gamma", "gaussian", "exponential"};

std::string Lower(const std::string& text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

template <size_t N>
int ParseChoice(const std::string& name, const char* const (&choices)[N], const char* what) {
    const std::string lower = Lower(name);
    for (size_t i = 0; i < N; ++i) {
        if (lower == choices[i]) {
            return static_cast<int>(i) + 1;
        }
    }
    std::string list;
    for (size_t i = 0; i < N; ++i) {
        list += (i ? ", " : "") + std::string(choices[i]);
    }
    throw vhost::HostError("unknown " + std::string(what) + " '" + name + "' (expected one of: " + list + ")");
}

template <size_t N>
const char* ChoiceName(int value, const char* const (&choices)[N]) {
    return value >= 1 && value <= static_cast<int>(N) ? choices[value - 1] : "unknown";
}

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

// Checks one value against the range the effect controls allow.
// The shortest decimal that reads back as `value`: 100.0000001 is not "100".
std::string Exact(double value) {
    std::ostringstream text;
    for (int digits = 6; digits <= 17; ++digits) {
        text.str("");
        text.precision(digits);
        text << value;
        if (!std::isfinite(value) || std::strtod(text.str().c_str(), nullptr) == value) break;
    }
    return text.str();
}

double InRange(double value, double lo, double hi, const std::string& what) {
    if (!std::isfinite(value) || value < lo || value > hi) {
        throw vhost::HostError(what + " " + Exact(value) + " is out of range (" + Exact(lo) + " to " + Exact(hi) + ")");
    }
    return value;
}

// A bad value as the user wrote it, cut short so the error stays one line.
std::string Short(const std::string& text) {
    const size_t kMax = 40;
    return text.size() <= kMax ? text : text.substr(0, kMax) + "... (" + std::to_string(text.size()) + " characters)";
}
std::string Short(const nlohmann::json& value) { return Short(value.dump()); }

// How deep arrays and objects nest in JSON text, strings skipped, stopping past `limit`.
int NestingDepth(const std::string& text, int limit) {
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (const char c : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) break;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

const char* MaskTypeName(int value) { return ChoiceName(value, kMaskTypes); }
const char* CompositeModeName(int value) { return ChoiceName(value, kCompositeModes); }
const char* FalloffName(int value) { return ChoiceName(value, kFalloffs); }
int ParseMaskType(const std::string& name) { return ParseChoice(name, kMaskTypes, "mask type"); }
int ParseCompositeMode(const std::string& name) { return ParseChoice(name, kCompositeModes, "composite mode"); }
int ParseFalloff(const std::string& name) { return ParseChoice(name, kFalloffs, "falloff"); }

void ApplyEffectValues(vhost::Host& host, const EffectValues& values, int layer_width, int layer_height) {
    std::vector<PF_ParamDef>& p = host.Params();
    if (p.size() < static_cast<size_t>(PARAM_COUNT)) {
        throw vhost::HostError("cannot set the effect's parameters: parameter set-up has not run");
    }
    p[PARAM_MASK_TYPE].u.pd.value = values.mask_type;
    p[PARAM_COMPOSITE_MODE].u.pd.value = values.composite_mode;
    p[PARAM_ORIGIN].u.td.x_value = ToFixed(values.origin_x.value_or(layer_width / 2.0), "origin x");
    p[PARAM_ORIGIN].u.td.y_value = ToFixed(values.origin_y.value_or(layer_height / 2.0), "origin y");
    p[PARAM_WIDTH].u.fs_d.value = values.width;
    p[PARAM_HEIGHT].u.fs_d.value = values.height;
    p[PARAM_ANGLE].u.ad.value = ToFixed(values.angle, "angle");
    p[PARAM_FEATHER].u.fs_d.value = values.feather;
    p[PARAM_OPACITY].u.fd.value = ToFixed(values.opacity, "opacity");
    p[PARAM_INVERT].u.bd.value = values.invert ? 1 : 0;
    p[PARAM_FALLOFF].u.pd.value = values.falloff;
}

EffectValues ReadEffectValues(vhost::Host& host) {
    std::vector<PF_ParamDef>& p = host.Params();
    if (p.size() < static_cast<size_t>(PARAM_COUNT)) {
        throw vhost::HostError("cannot read the effect's parameters: parameter set-up has not run");
    }
    EffectValues v;
    v.mask_type = p[PARAM_MASK_TYPE].u.pd.value;
    v.composite_mode = p[PARAM_COMPOSITE_MODE].u.pd.value;
    v.origin_x = FromFixed(p[PARAM_ORIGIN].u.td.x_value);
    v.origin_y = FromFixed(p[PARAM_ORIGIN].u.td.y_value);
    v.width = p[PARAM_WIDTH].u.fs_d.value;
    v.height = p[PARAM_HEIGHT].u.fs_d.value;
    v.angle = FromFixed(p[PARAM_ANGLE].u.ad.value);
    v.feather = p[PARAM_FEATHER].u.fs_d.value;
    v.opacity = FromFixed(p[PARAM_OPACITY].u.fd.value);
    v.invert = p[PARAM_INVERT].u.bd.value != 0;
    v.falloff = p[PARAM_FALLOFF].u.pd.value;
    return v;
}

const char* ParamKey(int index) {
    static const char* const kKeys[] = {"input",   "mask_type", "composite_mode", "origin", "width",  "height",
                                        "angle",   "feather",   "opacity",        "invert", "falloff"};
    static_assert(sizeof(kKeys) / sizeof(kKeys[0]) == PARAM_COUNT, "one key per parameter");
    return index >= 0 && index < PARAM_COUNT ? kKeys[index] : nullptr;
}

const char* HandleName(int handle) {
    static const char* const kNames[] = {"none",         "top_left",     "top_right",     "bottom_left",
                                         "bottom_right", "rotation",     "feather_left",  "feather_right",
                                         "feather_top",  "feather_bottom", "opacity"};
    return handle >= 0 && handle <= 10 ? kNames[handle] : "unknown";
}

nlohmann::ordered_json EffectValuesToJson(const EffectValues& v) {
    nlohmann::ordered_json j;
    j["mask_type"] = MaskTypeName(v.mask_type);
    j["composite_mode"] = CompositeModeName(v.composite_mode);
    if (v.origin_x && v.origin_y) {
        j["origin"] = {*v.origin_x, *v.origin_y};
    } else {
        j["origin"] = nullptr;
    }
    j["width"] = v.width;
    j["height"] = v.height;
    j["angle"] = v.angle;
    j["feather"] = v.feather;
    j["opacity"] = v.opacity;
    j["invert"] = v.invert;
    j["falloff"] = FalloffName(v.falloff);
    return j;
}

EffectValues EffectValuesFromJson(const nlohmann::json& json, EffectValues base, const std::string& source_name) {
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
    const auto choice = [&](const nlohmann::json& value, const std::string& key, int (*parse)(const std::string&),
                            int count) {
        if (value.is_string()) {
            try {
                return parse(value.get<std::string>());
            } catch (const vhost::HostError& e) {
                throw vhost::HostError(where + ": '" + key + "': " + e.what());
            }
        }
        if (value.is_number_integer() && value.get<int>() >= 1 && value.get<int>() <= count) {
            return value.get<int>();
        }
        throw vhost::HostError(where + ": '" + key + "' must be a name or a number from 1 to " + std::to_string(count) +
                        ", not " + Short(value));
    };
    const auto ranged = [&](const nlohmann::json& value, const std::string& key, double lo, double hi) {
        try {
            return InRange(number(value, key), lo, hi, "'" + key + "'");
        } catch (const vhost::HostError& e) {
            const std::string text = e.what();
            throw vhost::HostError(text.rfind(where, 0) == 0 ? text : where + ": " + text);
        }
    };

    EffectValues v = base;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const std::string& key = it.key();
        const nlohmann::json& value = it.value();
        if (key == "mask_type") {
            v.mask_type = choice(value, key, &ParseMaskType, 2);
        } else if (key == "composite_mode") {
            v.composite_mode = choice(value, key, &ParseCompositeMode, 4);
        } else if (key == "falloff") {
            v.falloff = choice(value, key, &ParseFalloff, 6);
        } else if (key == "origin") {
            if (value.is_null()) {
                v.origin_x.reset();
                v.origin_y.reset();
            } else if (value.is_array() && value.size() == 2) {
                v.origin_x = ranged(value[0], "origin", -32767.0, 32767.0);
                v.origin_y = ranged(value[1], "origin", -32767.0, 32767.0);
            } else {
                throw vhost::HostError(where + ": 'origin' must be [x, y] in layer pixels, not " + Short(value));
            }
        } else if (key == "width") {
            v.width = ranged(value, key, 0.0, 15000.0);
        } else if (key == "height") {
            v.height = ranged(value, key, 0.0, 15000.0);
        } else if (key == "feather") {
            v.feather = ranged(value, key, 0.0, 15000.0);
        } else if (key == "angle") {
            v.angle = ranged(value, key, -32767.0, 32767.0);
        } else if (key == "opacity") {
            v.opacity = ranged(value, key, 0.0, 100.0);
        } else if (key == "invert") {
            if (!value.is_boolean()) {
                throw vhost::HostError(where + ": 'invert' must be true or false, not " + Short(value));
            }
            v.invert = value.get<bool>();
        } else {
            throw vhost::HostError(where + ": unknown parameter '" + key +
                            "' (expected mask_type, composite_mode, origin, width, height, angle, feather, "
                            "opacity, invert, falloff)");
        }
    }
    return v;
}

EffectValues EffectValuesFromJsonText(const std::string& text, EffectValues base, const std::string& source_name) {
    // nlohmann keeps the last of two equal keys without a word; a file that
    // sets a value twice is a mistake to point out, not to guess at.
    std::vector<std::set<std::string>> objects;
    std::string duplicate;
    const nlohmann::json::parser_callback_t track = [&](int, nlohmann::json::parse_event_t event,
                                                        nlohmann::json& parsed) {
        using Event = nlohmann::json::parse_event_t;
        if (event == Event::object_start) {
            objects.emplace_back();
        } else if (event == Event::object_end && !objects.empty()) {
            objects.pop_back();
        } else if (event == Event::key && !objects.empty() && duplicate.empty() &&
                   !objects.back().insert(parsed.get<std::string>()).second) {
            duplicate = parsed.get<std::string>();
        }
        return true;
    };
    // The parser and its messages recurse: hostile text must not reach them.
    if (text.size() > kMaxParamsBytes) {
        throw vhost::HostError(source_name + " holds more than " + std::to_string(kMaxParamsBytes) +
                        " bytes, far more than a parameters file");
    }
    if (NestingDepth(text, kMaxParamsDepth) > kMaxParamsDepth) {
        throw vhost::HostError(source_name + " nests arrays or objects more than " + std::to_string(kMaxParamsDepth) +
                        " deep; a parameters file is one object of values");
    }
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text, track);
    } catch (const nlohmann::json::exception& e) {
        std::string what = e.what();
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        // The parser quotes what it last read, which may be the whole of a huge token.
        const size_t quote = what.find("last read: '");
        if (quote != std::string::npos) {
            const size_t start = quote + 12, end = what.rfind('\'');
            if (end != std::string::npos && end > start) {
                what = what.substr(0, start) + Short(what.substr(start, end - start)) + what.substr(end);
            }
        }
        throw vhost::HostError(source_name + " is not valid JSON: " + what);
    }
    if (!duplicate.empty()) {
        throw vhost::HostError(source_name + ": key '" + duplicate + "' is given twice");
    }
    return EffectValuesFromJson(json, base, source_name);
}

}  // namespace vparams
