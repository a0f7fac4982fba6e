// The JavaScript library a Shotcut filter folder (shotcut/vellora, staged
// twice: the filter and its mask variant) reads its service, property names,
// ranges, defaults and choices from, keyed by the table's --params keys, so
// the QML types none of them.
#include <nlohmann/json.hpp>

#include "mlt/FilterProperties.h"
#include "mlt/describe/Describe.h"
#include "params/ParamFacts.h"

namespace vdescribe {

namespace {

// One parameter's facts as the QML uses them, in the units the controls show.
nlohmann::json Describe(const vparams::ParamFacts& f) {
    using vparams::ValueKind;
    nlohmann::json j;
    j["label"] = f.label;
    j["animatable"] = f.animated;
    j["minimum"] = f.min;
    j["maximum"] = f.max;
    j["decimals"] = f.precision;
    switch (f.kind) {
        case ValueKind::Choice:
            j["choices"] = vparams::ChoiceNames(f);
            j["labels"] = vparams::ChoiceLabels(f);
            j["defaultValue"] = vparams::DefaultText(f);
            break;
        case ValueKind::Point:
            // Percent of the frame's width and height.
            j["defaultValue"] = {f.default_x, f.default_y};
            break;
        case ValueKind::Flag:
            j["defaultValue"] = f.dephault != 0;
            j["text"] = f.box_text;
            break;
        case ValueKind::Number:
            j["defaultValue"] = f.dephault;
            break;
    }
    return j;
}

}  // namespace

std::string ShotcutParams(const vparams::Declaration& declared, const vmlt::FilterEntry& entry) {
    const vparams::ParamFactsList facts(declared);
    const bool wrapped = *entry.prefix != '\0';
    nlohmann::json all;
    for (const vparams::ParamFacts& f : facts.All()) all[f.key] = Describe(f);
    // The MLT properties the QML sets, by the names it reads in params: the
    // mask variant's are under "filter.", where mask_start passes them on.
    nlohmann::json names;
    for (const vmlt::FilterProperty& p : vmlt::FilterProperties(declared)) names[p.name] = entry.prefix + p.name;
    nlohmann::json filter = {{"service", entry.service},
                             {"runs", wrapped ? vmlt::kPlainEntry.service : ""},
                             {"objectName", wrapped ? "maskVellora" : "vellora"},
                             {"name", wrapped ? "Mask: Vellora Shape" : "Mask: Vellora"},
                             {"help", entry.help}};
    return ".pragma library\n"
           "// Made by the build from the parameters the Vellora module declares; do not edit.\n"
           "var filter = " + filter.dump(2) + ";\n"
           "var names = " + names.dump(2) + ";\n"
           "var params = " + all.dump(2) + ";\n";
}

}  // namespace vdescribe
