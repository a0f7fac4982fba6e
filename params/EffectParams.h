// Vellora's parameters in the units its effect controls show (pixels, degrees,
// percent), read from and written to a host's parameter list, with the names
// the command line and JSON files use.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "host/Host.h"
#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vparams {

// The JSON key of the parameter at `index` of the host's list ("width"...);
// "input" for the layer, null past the end.
const char* ParamKey(int index);
// The name of an overlay handle as a click records it ("bottom_right"...);
// "none" for 0, "unknown" for anything the effect does not have.
const char* HandleName(int handle);

// Sets the host's parameter list (after ParamsSetup) to the effect's declared
// defaults for a layer of this size, then writes the values that are set, the
// origin in 16.16 layer pixels.
void ApplyEffectValues(vhost::Host& host, const EffectValues& values, int layer_width, int layer_height);
// Reads them back, every value set.
EffectValues ReadEffectValues(vhost::Host& host);

// JSON with the table's keys in its order (mask_type, composite_mode, origin
// [x, y], width...), popups by their command-line names; an unset value is null.
nlohmann::ordered_json EffectValuesToJson(const EffectValues& values, const Declaration& declared);
// The values `host` holds now, as EffectValuesToJson writes them.
nlohmann::ordered_json ReadEffectValuesJson(vhost::Host& host);
// Overlays the keys present in `json` on `base`, each held to the declared
// range or choices; throws InputError naming a bad key or value.
EffectValues EffectValuesFromJson(const nlohmann::json& json, EffectValues base, const std::string& source_name,
                                  const Declaration& declared);
// A parameters file is a few hundred bytes nested two deep: far more of
// either is not one, and is refused before it is parsed.
constexpr size_t kMaxParamsBytes = 1 << 20;
constexpr int kMaxParamsDepth = 16;
// The same from JSON text, which must be one object with each key once and
// nothing after it; throws InputError starting with `source_name`.
EffectValues EffectValuesFromJsonText(const std::string& text, EffectValues base, const std::string& source_name,
                                      const Declaration& declared);

// Throws HostError saying what could not be done (`doing`, e.g. "set") when
// `host` has not run parameter set-up.
std::vector<PF_ParamDef>& SetUpParams(vhost::Host& host, const char* doing);

}  // namespace vparams
