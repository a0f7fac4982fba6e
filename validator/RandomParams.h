// Parameter values of every kind, made at random from the effect's own
// declarations: valid, at the ends of the ranges, or hostile.
#pragma once

#include <string>

#include "host/Host.h"
#include "validator/RandomWords.h"

namespace vvalidator {

// Parameter values as the effect declared them (index 0, the layer, is left alone).
enum class ValueKind { Valid, Snapped, Hostile };
const char* ValueKindName(ValueKind kind);
// Gives every declared parameter a value by its type: within its valid range,
// at one of its ends, or hostile (0, negative, NaN, infinities, the largest
// doubles and denormals for float sliders; out-of-range popup and checkbox
// values). Returns a short description of the values for messages.
std::string RandomizeParams(vhost::Host& host, const RandomWord& next, ValueKind kind);
// Puts every declared parameter back to its default for the layer size in
// PF_InData (640x480 when unset).
void ResetParams(vhost::Host& host);

}  // namespace vvalidator
