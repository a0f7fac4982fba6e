// The host's iterate suites: one callback per output pixel, rows shared out over
// a pool of threads. The iterate passes are exposed so benchmarks can time the
// host's own per-pixel loop with a callback of their choosing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "api/AE_EffectSuites.h"
#include "host/Host.h"

namespace vhost {

// The threads of one host's iterate passes, started once and kept: a video host
// renders a frame every few milliseconds, and starting threads for each pass
// would cost more than the pass itself on small frames.
class RenderPool {
public:
    // Starts up to `helpers` threads (fewer if the system refuses more).
    explicit RenderPool(int helpers);
    ~RenderPool();
    RenderPool(const RenderPool&) = delete;
    RenderPool& operator=(const RenderPool&) = delete;

    int Helpers() const { return static_cast<int>(threads_.size()); }

    // Runs `work` on the calling thread and on `helpers` of the pool's threads
    // at once, and returns when every one has returned. `work` must not throw.
    // A pass started while another is running (a callback that iterates) runs
    // on the calling thread alone.
    void Run(int helpers, const std::function<void()>& work);

private:
    void Loop(int index);

    std::mutex pass_mutex_;  // one pass at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void()>* work_ = nullptr;
    int wanted_ = 0;
    int running_ = 0;
    uint64_t pass_ = 0;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

// Calls `pix_fn` for every pixel of `area` (null: the whole of `dst`), with its
// column and row in `dst`, the pixel of `src` at the same place and the pixel of
// `dst`. Returns the first callback error, PF_Interrupt_CANCEL when the host's
// abort check asks to stop, PF_Err_BAD_CALLBACK_PARAM for unusable worlds.
PF_Err IteratePixels8(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
PF_Err IteratePixels16(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                       const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);

}  // namespace vhost
