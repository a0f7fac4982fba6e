// The JavaScript library Shotcut's filter folder (shotcut/vellora) reads its
// names, ranges, defaults and choices from, keyed by the table's --params
// keys, so the QML types none of them.
#include <nlohmann/json.hpp>

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

std::string ShotcutParams(const vparams::Declaration& declared) {
    const vparams::ParamFactsList facts(declared);
    nlohmann::json all;
    for (const vparams::ParamFacts& f : facts.All()) all[f.key] = Describe(f);
    return ".pragma library\n"
           "// Made by the build from the parameters the Vellora module declares; do not edit.\n"
           "var params = " + all.dump(2) + ";\n";
}

}  // namespace vdescribe
