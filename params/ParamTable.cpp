#include "params/ParamTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "api/FixedPoint.h"
#include "host/HostError.h"
#include "host/SetUp.h"
#include "plugin/Vellora/Vellora.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vparams {

namespace {

using vhost::HostError;
using V = EffectValues;

// One row per parameter after the input layer, in the host's order. Nothing
// here is a default, a range or a choice: those are the plug-in's.
const std::vector<ParamEntry> kTable = {
    {PARAM_MASK_TYPE, PF_Param_POPUP, "Mask Type", "mask_type", "--mask", "SHAPE", "Mask shape", Units::None,
     &V::mask_type, nullptr, nullptr, nullptr,
     {{"mask_type", Frei0rMap::Switch, 1, "Mask shape: "}, {}}},
    {PARAM_COMPOSITE_MODE, PF_Param_POPUP, "Composite mode", "composite_mode", "--mode", "MODE", "Composite mode",
     Units::None, &V::composite_mode, nullptr, nullptr, nullptr,
     {{"composite_mode", Frei0rMap::Choice, 1, "How the mask meets the layer's alpha: "}, {}}},
    {PARAM_ORIGIN, PF_Param_POINT, "Point of origin", "origin", "--origin", "X,Y", "Mask centre X,Y in layer pixels",
     Units::LayerPixels, nullptr, &V::origin_x, &V::origin_y, nullptr,
     {{"origin_x", Frei0rMap::FrameWidth, 1, "Mask centre x: v * frame width, in layer pixels"},
      {"origin_y", Frei0rMap::FrameHeight, 1, "Mask centre y: v * frame height, in layer pixels"}}},
    {PARAM_WIDTH, PF_Param_FLOAT_SLIDER, "Width", "width", "--width", "PIXELS", "Mask width in pixels", Units::Pixels,
     nullptr, &V::width, nullptr, nullptr,
     {{"width", Frei0rMap::FrameWidth, 1, "Mask width: v * frame width, in pixels"}, {}}},
    {PARAM_HEIGHT, PF_Param_FLOAT_SLIDER, "Height", "height", "--height", "PIXELS", "Mask height in pixels",
     Units::Pixels, nullptr, &V::height, nullptr, nullptr,
     {{"height", Frei0rMap::FrameHeight, 1, "Mask height: v * frame height, in pixels"}, {}}},
    {PARAM_ANGLE, PF_Param_ANGLE, "Angle", "angle", "--angle", "DEGREES", "Rotation in degrees, clockwise on screen",
     Units::Degrees, nullptr, &V::angle, nullptr, nullptr,
     {{"angle", Frei0rMap::Scale, 360, "Rotation: v * 360 degrees, clockwise on screen"}, {}}},
    {PARAM_FEATHER, PF_Param_FLOAT_SLIDER, "Feather", "feather", "--feather", "PIXELS", "Feather width in pixels",
     Units::Pixels, nullptr, &V::feather, nullptr, nullptr,
     {{"feather", Frei0rMap::FrameWidth, 1, "Soft band inside the edge: v * frame width, in pixels"}, {}}},
    {PARAM_OPACITY, PF_Param_FIX_SLIDER, "Opacity", "opacity", "--opacity", "PERCENT", "Opacity in percent",
     Units::Percent, nullptr, &V::opacity, nullptr, nullptr,
     {{"opacity", Frei0rMap::Scale, 100, "Mask strength: v * 100 percent"}, {}}},
    {PARAM_INVERT, PF_Param_CHECKBOX, "Invert", "invert", "--invert", "Do not invert (over a --params file)",
     "Invert the mask", Units::None, nullptr, nullptr, nullptr, &V::invert,
     {{"invert", Frei0rMap::Switch, 1, "Invert the mask"}, {}}},
    {PARAM_FALLOFF, PF_Param_POPUP, "Alpha falloff", "falloff", "--falloff", "CURVE", "Feather curve", Units::None,
     &V::falloff, nullptr, nullptr, nullptr,
     {{"falloff", Frei0rMap::Choice, 1, "Curve across the soft band: "}, {}}},
};

const char* TypeName(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_FIX_SLIDER: return "fixed slider";
        case PF_Param_ANGLE: return "angle";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_POINT: return "point";
        case PF_Param_POPUP: return "popup";
        case PF_Param_FLOAT_SLIDER: return "float slider";
        default: return "parameter of another kind";
    }
}

}  // namespace

std::vector<std::string> SplitChoices(const char* text, int count) {
    std::vector<std::string> choices;
    if (!text) return choices;
    std::string current;
    for (const char* c = text; static_cast<int>(choices.size()) < count; ++c) {
        if (*c == '|' || *c == '\0') {
            choices.push_back(current);
            current.clear();
            if (*c == '\0') break;
        } else {
            current += *c;
        }
    }
    return choices;
}


const std::vector<ParamEntry>& ParamTable() { return kTable; }

const ParamEntry* FindEntry(int index) {
    for (const ParamEntry& entry : kTable) {
        if (entry.index == index) return &entry;
    }
    return nullptr;
}

const ParamEntry* FindKey(const std::string& key) {
    for (const ParamEntry& entry : kTable) {
        if (key == entry.key) return &entry;
    }
    return nullptr;
}

Declaration Declaration::Read(const vhost::Host& host) {
    Declaration d;
    for (const PF_ParamDef& p : const_cast<vhost::Host&>(host).Params()) {
        DeclaredParam q;
        q.type = p.param_type;
        q.name = std::string(p.name, strnlen(p.name, sizeof p.name));
        q.flags = p.flags;
        switch (p.param_type) {
            case PF_Param_POPUP:
                q.dephault = p.u.pd.dephault;
                q.choices = SplitChoices(p.u.pd.u.namesptr, p.u.pd.num_choices);
                // A list shorter than its count shows as many empty entries.
                q.choices.resize(static_cast<size_t>(std::max<A_short>(p.u.pd.num_choices, 0)));
                break;
            case PF_Param_CHECKBOX:
                q.dephault = p.u.bd.dephault;
                q.box_text = p.u.bd.u.nameptr ? p.u.bd.u.nameptr : "";
                break;
            case PF_Param_FLOAT_SLIDER:
                q.dephault = p.u.fs_d.dephault;
                q.has_range = true;
                q.valid_min = p.u.fs_d.valid_min;
                q.valid_max = p.u.fs_d.valid_max;
                q.precision = p.u.fs_d.precision;
                q.display_flags = p.u.fs_d.display_flags;
                break;
            case PF_Param_FIX_SLIDER:
                q.dephault = vfixed::ToDouble(p.u.fd.dephault);
                q.has_range = true;
                q.valid_min = vfixed::ToDouble(p.u.fd.valid_min);
                q.valid_max = vfixed::ToDouble(p.u.fd.valid_max);
                q.precision = p.u.fd.precision;
                q.display_flags = p.u.fd.display_flags;
                break;
            case PF_Param_ANGLE:
                q.dephault = vfixed::ToDouble(p.u.ad.dephault);
                break;
            case PF_Param_POINT:
                q.default_x = vfixed::ToDouble(p.u.td.x_dephault);
                q.default_y = vfixed::ToDouble(p.u.td.y_dephault);
                break;
            default:
                break;
        }
        d.params_.push_back(std::move(q));
    }
    return d;
}

double Declaration::Min(int index) const {
    const DeclaredParam& p = (*this)[index];
    if (p.type == PF_Param_POPUP) return 1;
    if (p.type == PF_Param_CHECKBOX) return 0;
    return p.has_range ? p.valid_min : -vfixed::kWholeLimit;
}

double Declaration::Max(int index) const {
    const DeclaredParam& p = (*this)[index];
    if (p.type == PF_Param_POPUP) return static_cast<double>(p.choices.size());
    if (p.type == PF_Param_CHECKBOX) return 1;
    return p.has_range ? p.valid_max : vfixed::kWholeLimit;
}

std::string Declaration::ChoiceName(int index, int value) const {
    const std::vector<std::string>& choices = (*this)[index].choices;
    if (value < 1 || value > static_cast<int>(choices.size())) return "unknown";
    const std::string& text = choices[static_cast<size_t>(value - 1)];
    return vtext::Lower(text.substr(0, text.find(' ')));
}

int Declaration::ParseChoice(int index, const std::string& name) const {
    const int count = static_cast<int>((*this)[index].choices.size());
    std::vector<std::string> names;
    for (int k = 1; k <= count; ++k) {
        names.push_back(ChoiceName(index, k));
        if (vtext::Lower(name) == names.back()) return k;
    }
    const ParamEntry* entry = FindEntry(index);
    std::string what = entry ? entry->key : (*this)[index].name;
    std::replace(what.begin(), what.end(), '_', ' ');
    throw vsupport::InputError("unknown " + what + " '" + name + "' (expected one of: " + vtext::Join(names) + ")");
}

void CheckParamTable(const Declaration& declared) {
    const auto fail = [](const std::string& what) {
        throw HostError("the effect's parameters disagree with the host's table: " + what);
    };
    if (declared.Size() != kTable.size() + 1) {
        fail("the plug-in declares " + std::to_string(declared.Size() > 0 ? declared.Size() - 1 : 0) +
             " parameters after the input layer, the table knows " + std::to_string(kTable.size()));
    }
    for (const ParamEntry& e : kTable) {
        const DeclaredParam& p = declared[e.index];
        const std::string which = "parameter " + std::to_string(e.index) + " '" + e.key + "'";
        if (p.name != e.name) fail(which + " is declared as \"" + p.name + "\", the table expects \"" + e.name + "\"");
        if (p.type != e.type) {
            fail(which + " (" + p.name + ") is declared a " + TypeName(p.type) + ", the table expects a " +
                 TypeName(e.type));
        }
        const bool two_way = e.frei0r[0].map == Frei0rMap::Switch;
        if (p.type == PF_Param_POPUP) {
            const int n = static_cast<int>(p.choices.size());
            if (n < 1 || (two_way && n != 2)) {
                fail(which + " (" + p.name + ") is declared with " + std::to_string(n) + " choices, the table maps " +
                     (two_way ? "exactly 2 (frei0r's below/above 0.5)" : "at least 1"));
            }
            std::vector<std::string> names;
            for (int k = 1; k <= n; ++k) {
                const std::string name = declared.ChoiceName(e.index, k);
                if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) {
                    fail(which + " (" + p.name + ") choice " + std::to_string(k) + " \"" + p.choices[size_t(k - 1)] +
                         "\" gives no command-line name of its own");
                }
                names.push_back(name);
            }
        }
        const double lo = declared.Min(e.index), hi = declared.Max(e.index);
        if (p.has_range && !(std::isfinite(lo) && std::isfinite(hi) && lo <= hi)) {
            fail(which + " (" + p.name + ") declares the range " + vtext::Exact(lo) + " to " + vtext::Exact(hi));
        }
        const bool has_default = p.type != PF_Param_POINT;
        if (has_default && !(p.dephault >= lo && p.dephault <= hi)) {
            fail(which + " (" + p.name + ") declares the default " + vtext::Exact(p.dephault) + " outside " + vtext::Exact(lo) +
                 " to " + vtext::Exact(hi));
        }
        const bool percent = (p.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
        if (p.has_range && percent != (e.units == Units::Percent)) {
            fail(which + " (" + p.name + ") is " + (percent ? "" : "not ") + "shown in percent, the table's units " +
                 (percent ? "are not percent" : "are percent"));
        }
    }
}

Declaration SetUpChecked(vhost::Host& host) {
    vhost::SetUpEffect(host);
    Declaration declared = Declaration::Read(host);
    CheckParamTable(declared);
    return declared;
}

// OptionHelp and Frei0rHelp are made from a parameter's facts (ParamFacts.cpp).

}  // namespace vparams
