// The one set-up sequence every front end runs on a fresh host, and the one
// way a plug-in's error code becomes a HostError.
#pragma once

#include <string>

#include "api/AE_Effect.h"
#include "host/Host.h"

namespace vhost {

// Throws HostError "<what> with error <code (name)>" when `err` is not PF_Err_NONE.
void ThrowIfError(PF_Err err, const std::string& what);

// Global set-up then parameter set-up, as a host applying the effect sends
// them; throws HostError naming the module and the step that failed. Returns
// PF_OutData as global set-up left it (the effect's version and flags).
PF_OutData SetUpEffect(Host& host);

// Throws HostError naming the module when `host` holds a suite, pen or path it
// was not given back.
void RequireBalancedLedgers(const Host& host);

}  // namespace vhost
