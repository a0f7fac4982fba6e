#include "params/Keyframes.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

#include "params/StrictJson.h"
#include "support/InputError.h"

namespace vparams {

namespace {

using vsupport::InputError;

constexpr long kMaxFrame = std::numeric_limits<int32_t>::max();

Track ReadTrack(const ParamEntry& param, const Declaration& declared, const nlohmann::json& keys,
                const std::string& where) {
    const std::string name = "'" + std::string(param.key) + "'";
    if (!keys.is_array()) {
        throw InputError(where + ": " + name + " must be an array of keys {\"frame\": N, \"value\": V}, not " +
                         Short(keys));
    }
    if (keys.empty()) throw InputError(where + ": " + name + " has no keys");
    Track track;
    track.param = &param;
    for (size_t i = 0; i < keys.size(); ++i) {
        const nlohmann::json& key = keys[i];
        const std::string nth = name + " key " + std::to_string(i + 1);
        if (!key.is_object()) {
            throw InputError(where + ": " + nth + " must be an object {\"frame\": N, \"value\": V}, not " + Short(key));
        }
        const auto frame = key.find("frame");
        if (frame == key.end()) throw InputError(where + ": " + nth + " has no \"frame\"");
        if (!frame->is_number_integer() || frame->get<double>() < 0 || frame->get<double>() > kMaxFrame) {
            throw InputError(where + ": " + nth + ": \"frame\" must be a whole number from 0 to " +
                             std::to_string(kMaxFrame) + ", not " + Short(*frame));
        }
        Key k;
        k.frame = frame->get<long>();
        const std::string at = where + ": " + name + " at frame " + std::to_string(k.frame);
        const auto fail = [&](const std::string& reason) { throw InputError(at + ": " + reason); };
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
        k.value = ReadParamValue(param, declared, *value, at);
        const auto interpolation = key.find("interpolation");
        if (interpolation != key.end()) {
            if (*interpolation == "hold") {
                k.interpolation = Interpolation::Hold;
            } else if (*interpolation != "linear") {
                fail("\"interpolation\" must be \"linear\" or \"hold\", not " + Short(*interpolation));
            }
        }
        track.keys.push_back(k);
    }
    return track;
}

}  // namespace

bool Interpolates(PF_ParamType type) { return type != PF_Param_POPUP && type != PF_Param_CHECKBOX; }

KeyValue ValueAt(const Track& track, long frame) {
    const std::vector<Key>& keys = track.keys;
    // The last key at or before the frame starts its stretch.
    const auto after = std::upper_bound(keys.begin(), keys.end(), frame,
                                        [](long f, const Key& key) { return f < key.frame; });
    if (after == keys.begin()) return keys.front().value;
    const Key& from = *(after - 1);
    if (after == keys.end() || from.frame == frame || from.interpolation == Interpolation::Hold ||
        !Interpolates(track.param->type)) {
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

Keyframes Keyframes::FromJson(const nlohmann::json& json, const std::string& source_name,
                              const Declaration& declared) {
    if (!json.is_object()) {
        throw InputError(source_name + ": expected a JSON object of parameters, each with an array of keys");
    }
    Keyframes result;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const ParamEntry& param = ParamOfKey(it.key(), source_name);
        result.tracks_.push_back(ReadTrack(param, declared, it.value(), source_name));
    }
    // The host's order, whatever the file's.
    std::sort(result.tracks_.begin(), result.tracks_.end(),
              [](const Track& a, const Track& b) { return a.param->index < b.param->index; });
    return result;
}

Keyframes Keyframes::FromJsonText(const std::string& text, const std::string& source_name,
                                  const Declaration& declared) {
    const nlohmann::json json = ParseStrictJson(text, source_name, {kMaxKeysBytes, kMaxKeysDepth, "a key file"});
    return FromJson(json, source_name, declared);
}

bool Keyframes::Has(const std::string& key) const {
    return std::any_of(tracks_.begin(), tracks_.end(), [&](const Track& t) { return key == t.param->key; });
}

EffectValues Keyframes::At(long frame, EffectValues base) const {
    for (const Track& track : tracks_) StoreParamValue(*track.param, ValueAt(track, frame), base);
    return base;
}

}  // namespace vparams
