#include <sstream>

#include "mlt/FilterProperties.h"
#include "mlt/describe/Describe.h"
#include "params/ParamFacts.h"
#include "plugin/Vellora/Vellora.h"
#include "support/Text.h"

namespace vdescribe {

namespace {

// A YAML double-quoted scalar.
std::string Quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

}  // namespace

std::string MltMetadata(const vparams::Declaration& declared) {
    using vmlt::PropertyKind;
    const vparams::ParamFactsList facts(declared);
    std::ostringstream y;
    y << "schema_version: 7.0\ntype: filter\nidentifier: vellora\ntitle: " << Quoted(vmlt::kFilterTitle)
      << "\nversion: " << VELLORA_MAJOR_VERSION << "." << VELLORA_MINOR_VERSION
      << "\ncreator: Vellora\nlanguage: en\ntags:\n  - Video\ndescription: " << Quoted(vmlt::kFilterHelp)
      << "\nnotes: " << Quoted("Unset properties are the effect's defaults. A value the effect refuses is named "
                               "in MLT's log and the frame passes through unchanged.")
      << "\nparameters:\n";
    for (const vmlt::FilterProperty& p : vmlt::FilterProperties(declared)) {
        y << "  - identifier: " << p.name << "\n";
        if (p.kind == PropertyKind::Rect) {
            y << "    title: " << Quoted(vmlt::kRectTitle) << "\n    type: rect\n    description: "
              << Quoted(vmlt::kRectHelp) << "\n    unit: " << facts.Get(vmlt::RectKeys()[1]).unit << "\n";
        } else {
            const vparams::ParamFacts& f = facts.At(p.entry->index);
            y << "    title: " << Quoted(f.label) << "\n";
            switch (p.kind) {
                case PropertyKind::Choice:
                    y << "    type: string\n    widget: dropdown\n    description: " << Quoted(f.help)
                      << "\n    default: " << vparams::DefaultText(f) << "\n    values:\n";
                    for (const std::string& name : vparams::ChoiceNames(f)) y << "      - " << name << "\n";
                    break;
                case PropertyKind::Flag:
                    y << "    type: boolean\n    description: " << Quoted(f.box_text.empty() ? f.entry->help : f.box_text)
                      << "\n    default: " << vparams::DefaultText(f) << "\n    widget: checkbox\n";
                    break;
                default:
                    y << "    type: float\n    description: " << Quoted(f.help) << "\n    default: "
                      << vparams::DefaultText(f) << "\n    minimum: " << vtext::Exact(f.min)
                      << "\n    maximum: " << vtext::Exact(f.max) << "\n";
                    if (f.precision > 0) y << "    scale: " << f.precision << "\n";
                    if (!f.unit.empty()) y << "    unit: " << f.unit << "\n";
                    break;
            }
        }
        y << "    mutable: yes\n";
        if (p.animated) y << "    animation: yes\n";
        y << "\n";
    }
    return y.str();
}

}  // namespace vdescribe
