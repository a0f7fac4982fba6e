// The JavaScript library Shotcut's filter folder (shotcut/vellora) reads its
// names, ranges, defaults and choices from, keyed by the table's --params
// keys, so the QML types none of them.
#include <nlohmann/json.hpp>

#include "mlt/describe/Describe.h"
#include "plugin/Vellora/Vellora.h"

namespace vdescribe {

namespace {

// One parameter's facts as the QML uses them, in the units the controls show.
nlohmann::json Describe(const vparams::Declaration& declared, const vparams::ParamEntry& entry) {
    const vparams::DeclaredParam& p = declared[entry.index];
    nlohmann::json j;
    j["label"] = p.name;
    j["animatable"] = (p.flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
    j["minimum"] = declared.Min(entry.index);
    j["maximum"] = declared.Max(entry.index);
    j["decimals"] = p.precision;
    switch (p.type) {
        case PF_Param_POPUP: {
            nlohmann::json names = nlohmann::json::array();
            for (size_t k = 1; k <= p.choices.size(); ++k) {
                names.push_back(declared.ChoiceName(entry.index, static_cast<int>(k)));
            }
            j["choices"] = names;
            j["labels"] = p.choices;
            j["defaultValue"] = declared.ChoiceName(entry.index, static_cast<int>(p.dephault));
            break;
        }
        case PF_Param_POINT:
            // Percent of the frame's width and height.
            j["defaultValue"] = {p.default_x, p.default_y};
            break;
        case PF_Param_CHECKBOX:
            j["defaultValue"] = p.dephault != 0;
            j["text"] = p.box_text;
            break;
        default:
            j["defaultValue"] = p.dephault;
            break;
    }
    return j;
}

}  // namespace

std::string ShotcutParams(const vparams::Declaration& declared) {
    nlohmann::json all;
    for (const vparams::ParamEntry& entry : vparams::ParamTable()) all[entry.key] = Describe(declared, entry);
    return ".pragma library\n"
           "// Made by the build from the parameters the Vellora module declares; do not edit.\n"
           "var params = " + all.dump(2) + ";\n";
}

}  // namespace vdescribe
