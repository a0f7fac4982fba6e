// The random words the validator's values and pixels come from.
#pragma once

#include <cstdint>
#include <functional>

namespace vvalidator {

// A source of random 64-bit words: a seeded generator in the validator, the
// input bytes in the fuzzer.
using RandomWord = std::function<uint64_t()>;

// A word as a double in [0, 1), from its top 53 bits.
inline double Unit(uint64_t word) { return static_cast<double>(word >> 11) * 0x1.0p-53; }

}  // namespace vvalidator
