#include <sstream>

#include "mlt/FilterProperties.h"
#include "mlt/describe/Describe.h"
#include "plugin/Vellora/Vellora.h"

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

std::string UnitName(vparams::Units units) {
    switch (units) {
        case vparams::Units::Pixels:
        case vparams::Units::LayerPixels: return "pixels";
        case vparams::Units::Degrees: return "degrees";
        case vparams::Units::Percent: return "percent";
        case vparams::Units::None: break;
    }
    return "";
}

std::string MltMetadata(const vparams::Declaration& declared) {
    using vmlt::PropertyKind;
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
              << Quoted(vmlt::kRectHelp) << "\n    unit: pixels\n";
        } else {
            const vparams::ParamEntry& e = *p.entry;
            const vparams::DeclaredParam& d = declared[e.index];
            y << "    title: " << Quoted(d.name) << "\n";
            switch (p.kind) {
                case PropertyKind::Choice:
                    y << "    type: string\n    widget: dropdown\n    description: "
                      << Quoted(vparams::OptionHelp(e, declared))
                      << "\n    default: " << declared.ChoiceName(e.index, static_cast<int>(d.dephault))
                      << "\n    values:\n";
                    for (size_t k = 1; k <= d.choices.size(); ++k) {
                        y << "      - " << declared.ChoiceName(e.index, static_cast<int>(k)) << "\n";
                    }
                    break;
                case PropertyKind::Flag:
                    y << "    type: boolean\n    description: " << Quoted(d.box_text.empty() ? e.help : d.box_text)
                      << "\n    default: " << vparams::Exact(d.dephault) << "\n    widget: checkbox\n";
                    break;
                default:
                    y << "    type: float\n    description: " << Quoted(vparams::OptionHelp(e, declared))
                      << "\n    default: " << vparams::Exact(d.dephault) << "\n    minimum: "
                      << vparams::Exact(declared.Min(e.index)) << "\n    maximum: "
                      << vparams::Exact(declared.Max(e.index)) << "\n";
                    if (d.precision > 0) y << "    scale: " << d.precision << "\n";
                    if (!UnitName(e.units).empty()) y << "    unit: " << UnitName(e.units) << "\n";
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
