// The effect linked into a filter, driven only through its entry point, as
// every host here drives it.
#pragma once

#include "api/AE_Effect.h"
#include "host/PluginModule.h"

namespace vembed {

// The linked effect, wrapped as a loaded module would be.
const vhost::PluginModule& LinkedEffect();

// Exact for 24, 25, 30, 50 and 60 fps and NTSC's 1001/30000 s frames, and
// holds 19 hours in current_time's 32 bits.
constexpr A_u_long kTimeScale = 30000;

// Host ticks of `seconds` at `time_scale` ticks a second, rounded and held
// to what PF_InData's current_time holds; 0 when not a number.
A_long HostTime(double seconds, A_u_long time_scale);

}  // namespace vembed
