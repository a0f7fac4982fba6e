#include <sstream>

#include "mlt/FilterProperties.h"
#include "mlt/describe/Describe.h"

namespace vdescribe {

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Suffix(vparams::Units units) {
    switch (units) {
        case vparams::Units::Pixels:
        case vparams::Units::LayerPixels: return " px";
        case vparams::Units::Degrees: return "\u00b0";
        case vparams::Units::Percent: return "%";
        case vparams::Units::None: break;
    }
    return "";
}

// Kdenlive's rectangle defaults are fractions of the profile ("25% 0% 50% 100%"):
// the effect's default box, centred where it declares, sized as it declares
// in a 1920x1080 frame and scaled with the profile.
constexpr double kReferenceWidth = 1920, kReferenceHeight = 1080;

std::string RectDefault(const vparams::Declaration& declared) {
    const vparams::DeclaredParam& origin = declared[vparams::FindKey("origin")->index];
    const double w = declared[vparams::FindKey("width")->index].dephault / kReferenceWidth * 100;
    const double h = declared[vparams::FindKey("height")->index].dephault / kReferenceHeight * 100;
    std::ostringstream s;
    s.precision(6);
    s << origin.default_x - w / 2 << "% " << origin.default_y - h / 2 << "% " << w << "% " << h << "%";
    return s.str();
}

}  // namespace

std::string KdenliveEffect(const vparams::Declaration& declared) {
    using vmlt::PropertyKind;
    std::ostringstream x;
    x << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n"
      << "<effect LC_NUMERIC=\"C\" tag=\"vellora\" id=\"vellora\" type=\"video\">\n"
      << "    <name>" << Escaped(vmlt::kFilterTitle) << "</name>\n"
      << "    <description>" << Escaped(vmlt::kFilterHelp) << "</description>\n"
      << "    <author>Vellora</author>\n";
    for (const vmlt::FilterProperty& p : vmlt::FilterProperties(declared)) {
        if (p.kind == PropertyKind::Rect) {
            x << "    <parameter type=\"animatedrect\" name=\"" << p.name << "\" default=\"" << RectDefault(declared)
              << "\">\n        <name>" << Escaped(vmlt::kRectTitle) << "</name>\n        <comment>"
              << Escaped(vmlt::kRectHelp) << "</comment>\n    </parameter>\n";
            continue;
        }
        const vparams::ParamEntry& e = *p.entry;
        const vparams::DeclaredParam& d = declared[e.index];
        x << "    <parameter name=\"" << p.name << "\"";
        switch (p.kind) {
            case PropertyKind::Choice: {
                x << " type=\"list\" default=\"" << declared.ChoiceName(e.index, static_cast<int>(d.dephault))
                  << "\" paramlist=\"";
                std::string display;
                for (size_t k = 1; k <= d.choices.size(); ++k) {
                    x << (k > 1 ? ";" : "") << declared.ChoiceName(e.index, static_cast<int>(k));
                    display += (k > 1 ? "," : "") + d.choices[k - 1];
                }
                x << "\">\n        <paramlistdisplay>" << Escaped(display) << "</paramlistdisplay>\n";
                break;
            }
            case PropertyKind::Flag:
                x << " type=\"bool\" default=\"" << vparams::Exact(d.dephault) << "\" min=\"0\" max=\"1\">\n";
                break;
            default:
                x << " type=\"" << (p.animated ? "animated" : "constant") << "\" default=\""
                  << vparams::Exact(d.dephault) << "\" min=\"" << vparams::Exact(declared.Min(e.index))
                  << "\" max=\"" << vparams::Exact(declared.Max(e.index)) << "\"";
                if (d.precision > 0) x << " decimals=\"" << d.precision << "\"";
                x << " suffix=\"" << Escaped(Suffix(e.units)) << "\">\n";
                break;
        }
        const std::string name = p.kind == PropertyKind::Flag && !d.box_text.empty() ? d.box_text : d.name;
        x << "        <name>" << Escaped(name) << "</name>\n        <comment>"
          << Escaped(vparams::OptionHelp(e, declared)) << "</comment>\n    </parameter>\n";
    }
    x << "</effect>\n";
    return x.str();
}

}  // namespace vdescribe
