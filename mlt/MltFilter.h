// The MLT filter "vellora": each frame's image as 8-bit RGBA, the values at
// the frame's position from the filter's properties, one render command for
// the whole image at the frame's time. A preview smaller than the profile
// is rendered with the mask scaled to it, as a host's reduced resolution is.
#pragma once

extern "C" {
#include <framework/mlt.h>
}

namespace vmlt {

// Makes the filter; null (with the reason in MLT's log) when the effect cannot be set up.
mlt_filter NewFilter(mlt_profile profile);

}  // namespace vmlt
