// The filter's settings (obs_data, as scene collections and obs-websocket hold
// them) read into the effect's values, by the parameter facts. Keys are the
// --params keys, the origin's two the table's origin_x and origin_y; popups
// are their choice names, numbers in the effect controls' units, the checkbox
// a boolean. A value left unset is the effect's default; an unset origin lets
// the effect place it (the source's centre).
#pragma once

#include <functional>
#include <string>

#include <obs.h>

#include "params/EffectValues.h"
#include "params/ParamFacts.h"

namespace vobs {

// Called once for each value that is of the wrong type or out of range, with a
// line naming its key, the value and what is used instead.
using Warn = std::function<void(const std::string&)>;

// Every value the user set, checked. A value of the wrong type falls back to
// the default, one out of range to the range's nearer end, a popup name not
// on the list to the default; each with one call of `warn`.
vparams::EffectValues ReadSettings(obs_data_t* settings, const vparams::ParamFactsList& facts, const Warn& warn);

// The effect's defaults, for OBS to show and save; the origin has none (unset).
void SetDefaults(obs_data_t* settings, const vparams::ParamFactsList& facts);

// Makes the centre of `filter`'s source the origin's default in its settings,
// so the dialog shows where an unset origin is. The default is never saved,
// nor read as a setting: the origin stays unset until the user sets it.
void ShowCentre(obs_source_t* filter, const vparams::ParamFactsList& facts);

}  // namespace vobs
