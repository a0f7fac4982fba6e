// The host's iterate suites: one callback per output pixel, rows shared out over
// a pool of threads. The iterate passes are exposed so benchmarks can time the
// host's own per-pixel loop with a callback of their choosing.
#pragma once

#include "AE_EffectSuites.h"
#include "Host.h"

namespace vhost {

// Calls `pix_fn` for every pixel of `area` (null: the whole of `dst`), with its
// column and row in `dst`, the pixel of `src` at the same place and the pixel of
// `dst`. Returns the first callback error, PF_Interrupt_CANCEL when the host's
// abort check asks to stop, PF_Err_BAD_CALLBACK_PARAM for unusable worlds.
PF_Err IteratePixels8(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
PF_Err IteratePixels16(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                       const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);

}  // namespace vhost
