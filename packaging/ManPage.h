// The vellora(1) man page, in roff, from the command line's own definitions.
#pragma once

#include <string>

#include "packaging/CliModel.h"

namespace vpackaging {

// `module_file` is where the installed command finds the plug-in module.
std::string ManPage(const CliModel& cli, const std::string& version, const std::string& module_file);

}  // namespace vpackaging
