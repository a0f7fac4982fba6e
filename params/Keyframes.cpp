#include "params/Keyframes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/HostError.h"

namespace vparams {

namespace {

using vhost::HostError;

constexpr double kCoordinate = 32767.0;  // what 16.16 fixed point holds
constexpr long kMaxFrame = std::numeric_limits<int32_t>::max();

const std::vector<KeyableParam> kParams = {
    {"mask_type", ParamKind::Popup, 1, 2, &ParseMaskType,
     [](EffectValues& v, const KeyValue& k) { v.mask_type = static_cast<int>(k[0]); }},
    {"composite_mode", ParamKind::Popup, 1, 4, &ParseCompositeMode,
     [](EffectValues& v, const KeyValue& k) { v.composite_mode = static_cast<int>(k[0]); }},
    {"origin", ParamKind::Point, -kCoordinate, kCoordinate, nullptr,
     [](EffectValues& v, const KeyValue& k) {
         v.origin_x = k[0];
         v.origin_y = k[1];
     }},
    {"width", ParamKind::Number, 0, 15000, nullptr, [](EffectValues& v, const KeyValue& k) { v.width = k[0]; }},
    {"height", ParamKind::Number, 0, 15000, nullptr, [](EffectValues& v, const KeyValue& k) { v.height = k[0]; }},
    {"angle", ParamKind::Number, -kCoordinate, kCoordinate, nullptr,
     [](EffectValues& v, const KeyValue& k) { v.angle = k[0]; }},
    {"feather", ParamKind::Number, 0, 15000, nullptr, [](EffectValues& v, const KeyValue& k) { v.feather = k[0]; }},
    {"opacity", ParamKind::Number, 0, 100, nullptr, [](EffectValues& v, const KeyValue& k) { v.opacity = k[0]; }},
    {"invert", ParamKind::Checkbox, 0, 1, nullptr,
     [](EffectValues& v, const KeyValue& k) { v.invert = k[0] != 0.0; }},
    {"falloff", ParamKind::Popup, 1, 6, &ParseFalloff,
     [](EffectValues& v, const KeyValue& k) { v.falloff = static_cast<int>(k[0]); }},
};

// The shortest decimal that reads back as `value`.
std::string Number(double value) {
    std::ostringstream text;
    for (int digits = 6; digits <= 17; ++digits) {
        text.str("");
        text.precision(digits);
        text << value;
        if (std::strtod(text.str().c_str(), nullptr) == value) break;
    }
    return text.str();
}

// A value as the file wrote it, cut short so the error stays one line.
std::string Shown(const nlohmann::json& value) {
    const std::string text = value.dump();
    return text.size() <= 40 ? text : text.substr(0, 40) + "...";
}

std::string ParamList() {
    std::string list;
    for (const KeyableParam& p : kParams) list += (list.empty() ? "" : ", ") + std::string(p.name);
    return list;
}

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

// Reads one key's value by its parameter's kind; `fail` throws with the reason.
template <class Fail>
KeyValue ReadValue(const KeyableParam& param, const nlohmann::json& value, Fail fail) {
    const auto ranged = [&](const nlohmann::json& v, const char* what) {
        if (!v.is_number()) fail(std::string(what) + " must be a number, not " + Shown(v));
        const double d = v.get<double>();
        if (!std::isfinite(d) || d < param.min || d > param.max) {
            fail(Shown(v) + " is out of range (" + Number(param.min) + " to " + Number(param.max) + ")");
        }
        return d;
    };
    switch (param.kind) {
        case ParamKind::Number:
            return {ranged(value, "the value"), 0.0};
        case ParamKind::Point:
            if (!value.is_array() || value.size() != 2) {
                fail("the value must be [x, y] in layer pixels, not " + Shown(value));
            }
            return {ranged(value[0], "x"), ranged(value[1], "y")};
        case ParamKind::Checkbox:
            if (!value.is_boolean()) fail("the value must be true or false, not " + Shown(value));
            return {value.get<bool>() ? 1.0 : 0.0, 0.0};
        case ParamKind::Popup:
            if (value.is_string()) {
                try {
                    return {static_cast<double>(param.parse_choice(value.get<std::string>())), 0.0};
                } catch (const HostError& e) {
                    fail(e.what());
                }
            }
            if (!value.is_number_integer() || value.get<double>() < param.min || value.get<double>() > param.max) {
                fail("the value must be a name or a number from 1 to " + Number(param.max) + ", not " + Shown(value));
            }
            return {value.get<double>(), 0.0};
    }
    return {0.0, 0.0};
}

Track ReadTrack(const KeyableParam& param, const nlohmann::json& keys, const std::string& where) {
    const std::string name = "'" + std::string(param.name) + "'";
    if (!keys.is_array()) {
        throw HostError(where + ": " + name + " must be an array of keys {\"frame\": N, \"value\": V}, not " +
                        Shown(keys));
    }
    if (keys.empty()) throw HostError(where + ": " + name + " has no keys");
    Track track;
    track.param = &param;
    for (size_t i = 0; i < keys.size(); ++i) {
        const nlohmann::json& key = keys[i];
        const std::string nth = name + " key " + std::to_string(i + 1);
        if (!key.is_object()) {
            throw HostError(where + ": " + nth + " must be an object {\"frame\": N, \"value\": V}, not " + Shown(key));
        }
        const auto frame = key.find("frame");
        if (frame == key.end()) throw HostError(where + ": " + nth + " has no \"frame\"");
        if (!frame->is_number_integer() || frame->get<double>() < 0 || frame->get<double>() > kMaxFrame) {
            throw HostError(where + ": " + nth + ": \"frame\" must be a whole number from 0 to " +
                            std::to_string(kMaxFrame) + ", not " + Shown(*frame));
        }
        Key k;
        k.frame = frame->get<long>();
        const auto fail = [&](const std::string& reason) {
            throw HostError(where + ": " + name + " at frame " + std::to_string(k.frame) + ": " + reason);
        };
        for (auto it = key.begin(); it != key.end(); ++it) {
            if (it.key() != "frame" && it.key() != "value" && it.key() != "interpolation") {
                fail("unknown member \"" + it.key() + "\" (a key holds frame, value and interpolation)");
            }
        }
        if (!track.keys.empty() && k.frame <= track.keys.back().frame) {
            fail(k.frame == track.keys.back().frame
                     ? std::string("a second key at the same frame")
                     : "keys out of frame order (it follows the key at frame " +
                           std::to_string(track.keys.back().frame) + ")");
        }
        const auto value = key.find("value");
        if (value == key.end()) fail("the key has no \"value\"");
        k.value = ReadValue(param, *value, fail);
        const auto interpolation = key.find("interpolation");
        if (interpolation != key.end()) {
            if (*interpolation == "hold") {
                k.interpolation = Interpolation::Hold;
            } else if (*interpolation != "linear") {
                fail("\"interpolation\" must be \"linear\" or \"hold\", not " + Shown(*interpolation));
            }
        }
        track.keys.push_back(k);
    }
    return track;
}

}  // namespace

bool Interpolates(ParamKind kind) { return kind == ParamKind::Number || kind == ParamKind::Point; }

const std::vector<KeyableParam>& KeyableParams() { return kParams; }

const KeyableParam* FindKeyableParam(const std::string& name) {
    for (const KeyableParam& p : kParams) {
        if (name == p.name) return &p;
    }
    return nullptr;
}

KeyValue ValueAt(const Track& track, long frame) {
    const std::vector<Key>& keys = track.keys;
    // The last key at or before the frame starts its stretch.
    const auto after = std::upper_bound(keys.begin(), keys.end(), frame,
                                        [](long f, const Key& key) { return f < key.frame; });
    if (after == keys.begin()) return keys.front().value;
    const Key& from = *(after - 1);
    if (after == keys.end() || from.frame == frame || from.interpolation == Interpolation::Hold ||
        !Interpolates(track.param->kind)) {
        return from.value;
    }
    const Key& to = *after;
    const double t = static_cast<double>(frame - from.frame) / static_cast<double>(to.frame - from.frame);
    KeyValue v{};
    for (size_t c = 0; c < v.size(); ++c) {
        const double a = from.value[c], b = to.value[c];
        // Rounding must not carry a value past its keys, and so out of range.
        v[c] = std::clamp(a + (b - a) * t, std::min(a, b), std::max(a, b));
    }
    return v;
}

Keyframes Keyframes::FromJson(const nlohmann::json& json, const std::string& source_name) {
    if (!json.is_object()) {
        throw HostError(source_name + ": expected a JSON object of parameters, each with an array of keys");
    }
    Keyframes result;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const KeyableParam* param = FindKeyableParam(it.key());
        if (!param) {
            throw HostError(source_name + ": unknown parameter '" + it.key() + "' (expected " + ParamList() + ")");
        }
        result.tracks_.push_back(ReadTrack(*param, it.value(), source_name));
    }
    // The host's order, whatever the file's.
    std::sort(result.tracks_.begin(), result.tracks_.end(),
              [](const Track& a, const Track& b) { return a.param < b.param; });
    return result;
}

Keyframes Keyframes::FromJsonText(const std::string& text, const std::string& source_name) {
    if (text.size() > kMaxKeysBytes) {
        throw HostError(source_name + " holds more than " + std::to_string(kMaxKeysBytes >> 20) +
                        " MB, far more than a key file");
    }
    if (NestingDepth(text, kMaxKeysDepth) > kMaxKeysDepth) {
        throw HostError(source_name + " nests arrays or objects more than " + std::to_string(kMaxKeysDepth) +
                        " deep; a key file is an object of arrays of keys");
    }
    // The parser keeps the last of two equal members without a word.
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
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text, track);
    } catch (const nlohmann::json::exception& e) {
        std::string what = e.what();
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        throw HostError(source_name + " is not valid JSON: " + what.substr(0, 200));
    }
    if (!duplicate.empty()) throw HostError(source_name + ": '" + duplicate + "' is given twice in one object");
    return FromJson(json, source_name);
}

bool Keyframes::Has(const std::string& name) const {
    return std::any_of(tracks_.begin(), tracks_.end(), [&](const Track& t) { return name == t.param->name; });
}

EffectValues Keyframes::At(long frame, EffectValues base) const {
    for (const Track& track : tracks_) track.param->assign(base, ValueAt(track, frame));
    return base;
}

}  // namespace vparams
