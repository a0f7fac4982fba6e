// Turns arbitrary bytes into one session of a host with the plug-in: which host,
// which command, the parameter values, the frame's geometry, the overlay events
// and a fault plan, all decoded from the input. Every invariant the validator
// holds the plug-in to is checked. Shared by the libFuzzer target and the test
// that replays the corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/PluginModule.h"
#include "validator/Invariants.h"

namespace vfuzz {

// Runs one input; the findings are empty when the plug-in held to everything.
vvalidator::Findings RunInput(const vhost::PluginModule& module, const uint8_t* data, size_t size);

// What RunInput would do with the input, in words (for crash reports).
std::string DescribeInput(const uint8_t* data, size_t size);

}  // namespace vfuzz
