#include <sstream>

#include "mlt/FilterProperties.h"
#include "mlt/describe/Describe.h"
#include "params/ParamFacts.h"
#include "support/Text.h"

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

// Kdenlive's own short spelling of a unit after a value.
// An end of Kdenlive's slider, which also bounds what can be typed: as its own
// effects have it, a turn either way for an angle (not the effect's +/-32767
// degrees, where a drag of 20 pixels turned 9575 degrees) and the frame's width
// for a width in pixels (not 15000); else the declared range.
std::string SliderEnd(const vparams::ParamFacts& f, bool high) {
    if (f.units == vparams::Units::Degrees) return high ? "360" : "-360";
    if (f.units == vparams::Units::Pixels && high) return "%maxWidth";
    return vtext::Exact(high ? f.max : f.min);
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

std::string RectDefault(const vparams::ParamFactsList& facts) {
    const std::vector<std::string>& keys = vmlt::RectKeys();  // origin, width, height
    const vparams::ParamFacts& origin = facts.Get(keys[0]);
    const double w = facts.Get(keys[1]).dephault / kReferenceWidth * 100;
    const double h = facts.Get(keys[2]).dephault / kReferenceHeight * 100;
    std::ostringstream s;
    s.precision(6);
    s << origin.default_x - w / 2 << "% " << origin.default_y - h / 2 << "% " << w << "% " << h << "%";
    return s.str();
}

}  // namespace

std::string KdenliveEffect(const vparams::Declaration& declared, const vmlt::FilterEntry& entry) {
    using vmlt::PropertyKind;
    const vparams::ParamFactsList facts(declared);
    const bool wrapped = *entry.prefix != '\0';
    std::ostringstream x;
    x << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n<effect LC_NUMERIC=\"C\" tag=\"" << entry.service << "\" id=\""
      << entry.service << (wrapped ? std::string("-") + vmlt::kPlainEntry.service : "") << "\" type=\"video\"";
    // Kdenlive offers a wrapper only where the filter it names is installed.
    if (wrapped) x << " dependency=\"" << vmlt::kPlainEntry.service << "\"";
    x << ">\n    <name>" << Escaped(entry.title) << "</name>\n"
      << "    <description>" << Escaped(entry.help) << "</description>\n"
      << "    <author>Vellora</author>\n";
    if (wrapped) {
        x << "    <parameter type=\"fixed\" name=\"filter\" value=\"" << vmlt::kPlainEntry.service
          << "\">\n        <name>Filter</name>\n    </parameter>\n";
    }
    for (const vmlt::FilterProperty& p : vmlt::FilterProperties(declared)) {
        if (p.kind == PropertyKind::Rect) {
            // opacity="false": the box's own opacity field (a fifth number in the
            // rect) would do nothing here; the effect's opacity is a parameter of its own.
            x << "    <parameter type=\"animatedrect\" name=\"" << entry.prefix << p.name << "\" default=\"" << RectDefault(facts)
              << "\" opacity=\"false\">\n        <name>" << Escaped(vmlt::kRectTitle) << "</name>\n        <comment>"
              << Escaped(vmlt::kRectHelp) << "</comment>\n    </parameter>\n";
            continue;
        }
        const vparams::ParamFacts& f = facts.At(p.entry->index);
        x << "    <parameter name=\"" << entry.prefix << p.name << "\"";
        switch (p.kind) {
            case PropertyKind::Choice:
                x << " type=\"list\" default=\"" << vparams::DefaultText(f) << "\" paramlist=\""
                  << vtext::Join(vparams::ChoiceNames(f), ";") << "\">\n        <paramlistdisplay>"
                  << Escaped(vtext::Join(vparams::ChoiceLabels(f), ",")) << "</paramlistdisplay>\n";
                break;
            case PropertyKind::Flag:
                x << " type=\"bool\" default=\"" << vparams::DefaultText(f) << "\" min=\"0\" max=\"1\">\n";
                break;
            default:
                x << " type=\"" << (p.animated ? "animated" : "constant") << "\" default=\"" << vparams::DefaultText(f)
                  << "\" min=\"" << SliderEnd(f, false) << "\" max=\"" << SliderEnd(f, true) << "\"";
                if (f.precision > 0) x << " decimals=\"" << f.precision << "\"";
                x << " suffix=\"" << Escaped(Suffix(f.units)) << "\">\n";
                break;
        }
        const std::string name = p.kind == PropertyKind::Flag && !f.box_text.empty() ? f.box_text : f.label;
        x << "        <name>" << Escaped(name) << "</name>\n        <comment>" << Escaped(f.help)
          << "</comment>\n    </parameter>\n";
    }
    x << "</effect>\n";
    return x.str();
}

}  // namespace vdescribe
