// The MLT filter's properties, made from the host's parameter table: the
// mask's centre, width and height become one rectangle "X Y W H" (the box
// before rotation, in the profile's pixels, its centre the mask's origin),
// which editors draw handles for; every other parameter keeps its --params
// key and units. Values may be keyframed in MLT's animation syntax where the
// effect lets the parameter vary over time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vmlt {

enum class PropertyKind { Rect, Number, Choice, Flag };

struct FilterProperty {
    std::string name;                           // the MLT property
    PropertyKind kind;
    const vparams::ParamEntry* entry;           // null for the rectangle
    bool animated;                              // keyframes allowed
};

// What editors show for the filter and its rectangle.
constexpr const char* kFilterTitle = "Vellora mask";
constexpr const char* kFilterHelp =
    "Rewrites alpha with a soft elliptic or rectangular mask, turned, feathered and scaled by an opacity; "
    "colour passes through";
// The two ways editors list the filter: on its own, and as the mask source of
// MLT's "mask_start", which keeps the frame, runs the filter named by its
// "filter" property on a copy (every property under `prefix` passed on without
// it) and leaves the masked copy for "mask_apply" to composite over the kept
// frame once the effects between them have run.
struct FilterEntry {
    const char* service;  // the MLT service editors add
    const char* prefix;   // before each of the filter's property names
    const char* title;
    const char* help;
};
constexpr FilterEntry kPlainEntry = {"vellora", "", kFilterTitle, kFilterHelp};
constexpr FilterEntry kMaskEntry = {
    "mask_start", "filter.", "Vellora shape (mask)",
    "Limits the effects after it, up to a mask apply, to Vellora's soft ellipse or rectangle: keeps the frame, "
    "masks a copy, and the apply step puts the effects' result inside the mask over the kept frame"};
constexpr const char* kRectName = "rect";
constexpr const char* kRectTitle = "Mask box";
constexpr const char* kRectHelp =
    "X Y W H: the mask's box before rotation, in the profile's pixels (or percent of the frame); its centre "
    "is the mask's origin, W and H its width and height";
// The rectangle's property stands for these table keys.
const std::vector<std::string>& RectKeys();  // origin, width, height

// Every property in the table's order, the rectangle where the origin stands.
// Throws HostError when the table lacks a key the rectangle needs.
std::vector<FilterProperty> FilterProperties(const vparams::Declaration& declared);

// A property's text as it was set (null when unset), and the value of an
// animated property at a frame, as MLT's animation gives it.
struct PropertySource {
    std::function<const char*(const char* name)> text;
    std::function<double(const char* name)> number_at;
    // x, y, w, h
    std::function<std::vector<double>(const char* name)> rect_at;
};

// The effect's values from the set properties (unset ones stay unset: the
// effect's defaults). `width`/`height` are the profile's, for a rectangle
// given in percent. Throws InputError naming the property and the value it
// refuses: not a number, out of the declared range, an unknown choice.
vparams::EffectValues ValuesFromProperties(const PropertySource& source, const vparams::Declaration& declared,
                                           int width, int height);

}  // namespace vmlt
