// What a strict host holds a plug-in to after every command: every suite,
// pen and path given back, no C++ exception across the entry point, and
// PF_InData left as the host wrote it.
#pragma once

#include <functional>
#include <string>

#include "host/Host.h"
#include "validator/Findings.h"

namespace vvalidator {

// Every suite given back as often as it was taken; every pen and path released
// exactly once. When the host refused releases on purpose, objects may stay
// held, but none may be released more often than it was held. The ledgers are
// cleared afterwards so the next command is judged on its own.
void CheckLedgers(vhost::Host& host, const std::string& what, Findings& findings, bool refused_releases = false);

// Sends one command and turns an exception that crossed the entry point into a
// finding. Returns the command's result (PF_Err_INTERNAL_STRUCT_DAMAGED after an escape).
PF_Err SendChecked(vhost::Host& host, const std::string& what, Findings& findings, ValidationCounters& counters,
                   const std::function<PF_Err()>& send);

}  // namespace vvalidator
