// A picture read back, as the tight straight RGBA rows the effect takes.
#pragma once

#include <cstdint>

#include "obs/RoundTrip.h"

namespace vobs {

// Copies `picture` into `out` (width * 4 bytes a row). Premultiplied colour is
// divided by alpha, rounded to nearest and held to 255; where alpha is 0 there
// is no colour left, and it is 0.
void StraightRows(const ReadBack& picture, uint8_t* out);

// The straight value of premultiplied `colour` under `alpha`.
uint8_t Unpremultiplied(uint8_t colour, uint8_t alpha);

}  // namespace vobs
