// Vellora's parameters in the units its effect controls show (pixels, degrees,
// percent), read from and written to a host's parameter list, with the names
// the command line and JSON files use.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "host/Host.h"

namespace vparams {

struct EffectValues {
    int mask_type = 1;       // 1 ellipse, 2 rectangle
    int composite_mode = 4;  // 1 add, 2 subtract, 3 intersect, 4 create
    // Layer pixels at full resolution; unset means the layer centre.
    std::optional<double> origin_x, origin_y;
    double width = 300.0;
    double height = 200.0;
    double angle = 0.0;    // degrees
    double feather = 0.0;  // pixels
    double opacity = 100.0;  // percent
    bool invert = false;
    int falloff = 1;  // 1 linear .. 6 exponential
};

// "ellipse"/"rectangle", "add"/"subtract"/"intersect"/"create",
// "linear"/"quadratic"/"cubic"/"gamma"/"gaussian"/"exponential".
// Parsers throw HostError naming the bad value and the accepted ones.
const char* MaskTypeName(int value);
const char* CompositeModeName(int value);
const char* FalloffName(int value);
int ParseMaskType(const std::string& name);
int ParseCompositeMode(const std::string& name);
int ParseFalloff(const std::string& name);

// The JSON key of the parameter at `index` of the host's list ("width"...);
// "input" for the layer, null past the end.
const char* ParamKey(int index);
// The name of an overlay handle as a click records it ("bottom_right"...);
// "none" for 0, "unknown" for anything the effect does not have.
const char* HandleName(int handle);

// Writes the values into the host's parameter list (after ParamsSetup), the
// origin in 16.16 layer pixels (the layer centre when unset).
void ApplyEffectValues(vhost::Host& host, const EffectValues& values, int layer_width, int layer_height);
// Reads them back, origin always set.
EffectValues ReadEffectValues(vhost::Host& host);

// JSON with the keys mask_type, composite_mode, origin [x, y], width, height,
// angle, feather, opacity, invert, falloff in this order (names for the popups).
nlohmann::ordered_json EffectValuesToJson(const EffectValues& values);
// Overlays the keys present in `json` on `base`; throws HostError naming a bad key or value.
EffectValues EffectValuesFromJson(const nlohmann::json& json, EffectValues base, const std::string& source_name);
// A parameters file is a few hundred bytes nested two deep: far more of
// either is not one, and is refused before it is parsed.
constexpr size_t kMaxParamsBytes = 1 << 20;
constexpr int kMaxParamsDepth = 16;
// The same from JSON text, which must be one object with each key once and
// nothing after it; throws HostError starting with `source_name`.
EffectValues EffectValuesFromJsonText(const std::string& text, EffectValues base, const std::string& source_name);

}  // namespace vparams
