// The pixels a checked render starts from, the same for the same seed.
#pragma once

#include <cstdint>

#include "host/World.h"

namespace vvalidator {

// Input pixels: colours anything (the effect must copy them bit for bit, odd
// floats included), alpha within the format's range.
void FillInput(vhost::World& world, uint64_t seed);
// Every byte, padding included, random: what an output buffer holds before a render.
void FillNoise(vhost::World& world, uint64_t seed);

}  // namespace vvalidator
