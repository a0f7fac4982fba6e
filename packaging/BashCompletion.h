// Bash completion for vellora: its commands, each command's options, and the
// values an option offers (choices, or file names), from the command line's
// own definitions.
#pragma once

#include <string>

#include "packaging/CliModel.h"

namespace vpackaging {

std::string BashCompletion(const CliModel& cli);

}  // namespace vpackaging
