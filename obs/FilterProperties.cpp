#include "obs/FilterProperties.h"

#include <cmath>
#include <string>

#include <obs-module.h>

#include "obs/ObsText.h"

namespace vobs {

namespace {

using vparams::ParamFacts;
using vparams::ValueKind;

const char* Text(const std::string& key) { return obs_module_text(key.c_str()); }

// A number's control: a slider over a declared range, a spin box over the
// fixed-point limits the others keep to; the step is the plug-in's precision.
void AddNumber(obs_properties_t* props, const ParamFacts& f, int coordinate) {
    const std::string key = SettingKey(f, coordinate);
    const double step = std::pow(10.0, -f.precision);
    obs_property_t* p = f.declared_range
                            ? obs_properties_add_float_slider(props, key.c_str(), Text(LabelKey(f, coordinate)),
                                                              f.min, f.max, step)
                            : obs_properties_add_float(props, key.c_str(), Text(LabelKey(f, coordinate)), f.min,
                                                       f.max, step);
    if (!f.unit.empty()) obs_property_float_set_suffix(p, (std::string(" ") + Text(UnitKey(f))).c_str());
    std::string help = Text(HelpKey(f));
    if (f.kind == ValueKind::Point) help = std::string(Text(kTextOriginHelp)) + " " + help;
    obs_property_set_long_description(p, help.c_str());
}

}  // namespace

obs_properties_t* MakeProperties(const vparams::ParamFactsList& facts, bool refused) {
    obs_properties_t* props = obs_properties_create();
    if (refused) {
        obs_property_t* note = obs_properties_add_text(props, kTextRefused, Text(kTextRefused), OBS_TEXT_INFO);
        obs_property_text_set_info_type(note, OBS_TEXT_INFO_WARNING);
    }
    for (const ParamFacts& f : facts.All()) {
        const std::string key = SettingKey(f);
        switch (f.kind) {
            case ValueKind::Choice: {
                obs_property_t* p = obs_properties_add_list(props, key.c_str(), Text(LabelKey(f)),
                                                            OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
                for (size_t k = 0; k < f.choices.size(); ++k) {
                    obs_property_list_add_string(p, Text(ChoiceKey(f, k)), f.choices[k].name.c_str());
                }
                obs_property_set_long_description(p, Text(HelpKey(f)));
                break;
            }
            case ValueKind::Flag: {
                obs_property_t* p = obs_properties_add_bool(props, key.c_str(), Text(LabelKey(f)));
                obs_property_set_long_description(p, Text(HelpKey(f)));
                break;
            }
            case ValueKind::Point: AddNumber(props, f, 0); AddNumber(props, f, 1); break;
            case ValueKind::Number: AddNumber(props, f, 0); break;
        }
    }
    return props;
}

}  // namespace vobs
