// The reference host's ANSI callbacks, shared by PF_InData.utils and the ANSI suite.
#pragma once

#include "api/AE_Effect.h"

namespace vhost {

const PF_ANSICallbacks& HostAnsiCallbacks();

}  // namespace vhost
