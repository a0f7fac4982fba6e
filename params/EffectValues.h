// The effect's values as a front end sets them, in the units its effect
// controls show (pixels, degrees, percent). A value left unset is the one the
// plug-in declares as its default: nothing here repeats the declaration.
#pragma once

#include <optional>

namespace vparams {

struct EffectValues {
    std::optional<int> mask_type;       // popup value, 1-based
    std::optional<int> composite_mode;  // popup value, 1-based
    // Layer pixels at full resolution; unset means the declared default point.
    std::optional<double> origin_x, origin_y;
    std::optional<double> width;    // pixels
    std::optional<double> height;   // pixels
    std::optional<double> angle;    // degrees
    std::optional<double> feather;  // pixels
    std::optional<double> opacity;  // percent
    std::optional<bool> invert;
    std::optional<int> falloff;  // popup value, 1-based
};

}  // namespace vparams
