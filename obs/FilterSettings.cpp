#include "obs/FilterSettings.h"

#include <memory>
#include <optional>

#include "obs/ObsText.h"
#include "support/Text.h"

namespace vobs {

namespace {

using vparams::KeyValue;
using vparams::ParamFacts;
using vparams::ValueKind;

const char* TypeName(obs_data_type type) {
    switch (type) {
        case OBS_DATA_STRING: return "a string";
        case OBS_DATA_NUMBER: return "a number";
        case OBS_DATA_BOOLEAN: return "a boolean";
        case OBS_DATA_OBJECT: return "an object";
        case OBS_DATA_ARRAY: return "an array";
        case OBS_DATA_NULL: break;
    }
    return "null";
}

obs_data_type ExpectedType(const ParamFacts& f) {
    switch (f.kind) {
        case ValueKind::Choice: return OBS_DATA_STRING;
        case ValueKind::Flag: return OBS_DATA_BOOLEAN;
        case ValueKind::Number:
        case ValueKind::Point: break;
    }
    return OBS_DATA_NUMBER;
}

std::string FallbackText(const ParamFacts& f) {
    if (f.kind == ValueKind::Point) return "the source's centre";
    return "the default " + vparams::FormatValue(f, vparams::DefaultValue(f));
}

// A number of `key` checked; out of range, the range's nearer end.
double HeldNumber(const ParamFacts& f, const std::string& key, int coordinate, double given, const Warn& warn) {
    KeyValue value{0.0, 0.0};
    value[static_cast<size_t>(coordinate)] = given;
    try {
        return vparams::CheckValue(f, value)[static_cast<size_t>(coordinate)];
    } catch (const vparams::ParamError& e) {
        const double held = vparams::HeldValue(f, value)[static_cast<size_t>(coordinate)];
        warn(key + ": '" + e.Value() + "' is " + e.Reason() + "; using " + vtext::Exact(held));
        return held;
    }
}

// The value the user set for one key, checked: component `coordinate` for a
// point. Unset (or of the wrong type): none, which is the effect's default.
std::optional<double> ReadValue(obs_data_t* settings, const ParamFacts& f, int coordinate, const Warn& warn) {
    const std::string key = SettingKey(f, coordinate);
    std::unique_ptr<obs_data_item_t, void (*)(obs_data_item_t*)> item(
        obs_data_item_byname(settings, key.c_str()), [](obs_data_item_t* i) { obs_data_item_release(&i); });
    if (!item || !obs_data_item_has_user_value(item.get())) return std::nullopt;
    const obs_data_type type = obs_data_item_gettype(item.get());
    if (type != ExpectedType(f)) {
        warn(key + ": " + TypeName(type) + " is not " + TypeName(ExpectedType(f)) + "; using " + FallbackText(f));
        return std::nullopt;
    }
    switch (f.kind) {
        case ValueKind::Choice: {
            const char* text = obs_data_item_get_string(item.get());
            try {
                return vparams::ParseValue(f, text ? text : "")[0];
            } catch (const vparams::ParamError& e) {
                warn(key + ": '" + e.Value() + "' is " + e.Reason() + "; using " + FallbackText(f));
                return std::nullopt;
            }
        }
        case ValueKind::Flag: return obs_data_item_get_bool(item.get()) ? 1.0 : 0.0;
        case ValueKind::Number:
        case ValueKind::Point: break;
    }
    return HeldNumber(f, key, coordinate, obs_data_item_get_double(item.get()), warn);
}

}  // namespace

vparams::EffectValues ReadSettings(obs_data_t* settings, const vparams::ParamFactsList& facts, const Warn& warn) {
    vparams::EffectValues values;
    for (const ParamFacts& f : facts.All()) {
        const vparams::ParamEntry& e = *f.entry;
        const std::optional<double> v = ReadValue(settings, f, 0, warn);
        if (f.kind == ValueKind::Point) {
            // Each coordinate on its own: one left unset stays the effect's.
            const std::optional<double> y = ReadValue(settings, f, 1, warn);
            if (v) values.*e.number = *v;
            if (y) values.*e.number_y = *y;
        } else if (v) {
            vparams::StoreParamValue(e, {*v, 0.0}, values);
        }
    }
    return values;
}

void SetDefaults(obs_data_t* settings, const vparams::ParamFactsList& facts) {
    for (const ParamFacts& f : facts.All()) {
        const std::string key = SettingKey(f);
        switch (f.kind) {
            case ValueKind::Choice:
                obs_data_set_default_string(settings, key.c_str(),
                                            vparams::ChoiceName(f, static_cast<int>(f.dephault)).c_str());
                break;
            case ValueKind::Flag: obs_data_set_default_bool(settings, key.c_str(), f.dephault != 0.0); break;
            case ValueKind::Number: obs_data_set_default_double(settings, key.c_str(), f.dephault); break;
            case ValueKind::Point: break;
        }
    }
}

void ShowCentre(obs_source_t* filter, const vparams::ParamFactsList& facts) {
    obs_source_t* target = obs_filter_get_target(filter);
    if (!target) return;
    const double size[2] = {static_cast<double>(obs_source_get_base_width(target)),
                            static_cast<double>(obs_source_get_base_height(target))};
    std::unique_ptr<obs_data_t, void (*)(obs_data_t*)> settings(obs_source_get_settings(filter), obs_data_release);
    for (const ParamFacts& f : facts.All()) {
        if (f.kind != ValueKind::Point) continue;
        // The point's default is in percent of the layer, as the plug-in declares it.
        const double percent[2] = {f.default_x, f.default_y};
        for (int c = 0; c < 2; ++c) {
            obs_data_set_default_double(settings.get(), SettingKey(f, c).c_str(), size[c] * percent[c] / 100.0);
        }
    }
}

}  // namespace vobs
