#include "embed/EmbeddedEffect.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plugin/Vellora/Vellora.h"

namespace vembed {

const vhost::PluginModule& LinkedEffect() {
    static const vhost::PluginModule module(&EntryPointFunc, "vellora.so");
    return module;
}

A_long HostTime(double seconds, A_u_long time_scale) {
    if (std::isnan(seconds)) return 0;
    const double ticks = std::round(seconds * time_scale);
    return static_cast<A_long>(std::clamp(ticks, double(std::numeric_limits<A_long>::min()),
                                          double(std::numeric_limits<A_long>::max())));
}

}  // namespace vembed
