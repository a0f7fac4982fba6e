// The words the OBS filter shows, keyed as its locale file keys them: every
// parameter's label, help, choices and unit from the parameter facts, and the
// filter's own few texts. The build writes data/locale/en-US.ini from these
// (vellora_obs_locale); the filter looks each key up through OBS, so a word
// is written once whichever language OBS runs in.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "params/ParamFacts.h"

namespace vobs {

// The filter's id in scene collections and obs-websocket, and its module's name.
constexpr const char* kFilterId = "vellora_mask";
constexpr const char* kModuleName = "vellora-obs";

// Keys of the filter's own texts.
constexpr const char* kTextFilterName = "VelloraMask";
constexpr const char* kTextOriginHelp = "OriginHelp";
constexpr const char* kTextRefused = "RefusedSpace";
constexpr const char* kTextRenderFailed = "RenderFailed";

// An obs_data key of a parameter: its --params key, or for the point the
// table's frei0r names of its two coordinates (`coordinate` 0 or 1).
std::string SettingKey(const vparams::ParamFacts& facts, int coordinate = 0);
// The keys of a parameter's label, help and choice label, and of a unit word.
std::string LabelKey(const vparams::ParamFacts& facts, int coordinate = 0);
std::string HelpKey(const vparams::ParamFacts& facts);
std::string ChoiceKey(const vparams::ParamFacts& facts, size_t choice);
std::string UnitKey(const vparams::ParamFacts& facts);

// Every key with its English text, in the order the file lists them.
std::vector<std::pair<std::string, std::string>> EnglishTexts(const vparams::ParamFactsList& facts);
// OBS's locale file: `Key="Text"` lines, quotes and line breaks escaped as it reads them.
std::string LocaleFile(const std::vector<std::pair<std::string, std::string>>& texts);

}  // namespace vobs
