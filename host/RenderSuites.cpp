#include "host/RenderSuites.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace vhost {

namespace {

// Rows are handed out in contiguous blocks, several per thread, so a thread that
// drew cheap rows (outside the mask) picks up more of the expensive ones.
constexpr A_long kBlocksPerThread = 8;

int ThreadCount(const Host& host, A_long rows) {
    return static_cast<int>(std::min<A_long>(host.IterateThreads(), rows));
}

// The rows and columns of a pass: `area` (all of dst when null) within dst. PF_Err_NONE with an
// empty rect when there is nothing to do; an error when the worlds cannot be iterated.
PF_Err PassRect(const PF_EffectWorld* src, const PF_Rect* area, const PF_EffectWorld* dst, PF_Rect& r) {
    if (!src || !dst || !src->data || !dst->data) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    r = area ? *area : PF_Rect{0, 0, dst->width, dst->height};
    r.left = std::max<A_long>(r.left, 0);
    r.top = std::max<A_long>(r.top, 0);
    r.right = std::min(r.right, dst->width);
    r.bottom = std::min(r.bottom, dst->height);
    if (r.right <= r.left || r.bottom <= r.top) {
        r = PF_Rect{0, 0, 0, 0};
        return PF_Err_NONE;
    }
    // The source is read at the destination's coordinates; it must hold them all.
    if (r.right > src->width || r.bottom > src->height) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return PF_Err_NONE;
}

// The host's progress bar over a pass of `rows` rows, from `base` to `final`.
class PassProgress {
public:
    PassProgress(Host& host, A_long base, A_long final, A_long rows)
        : host_(host), base_(base), final_(final), rows_(rows) {}

    // Called as each block of `count` rows is done, from any thread.
    void Done(A_long count) {
        const A_long done = rows_done_.fetch_add(count) + count;
        const int64_t span = static_cast<int64_t>(final_) - base_;
        const A_long current = static_cast<A_long>(base_ + span * done / rows_);
        // Threads finish blocks out of order; the host hears only advances.
        std::lock_guard<std::mutex> lock(mutex_);
        if (current > last_reported_) {
            last_reported_ = current;
            host_.ReportProgress(current, final_);
        }
    }

private:
    Host& host_;
    const A_long base_, final_, rows_;
    std::atomic<A_long> rows_done_{0};
    std::mutex mutex_;
    int64_t last_reported_ = std::numeric_limits<int64_t>::min();
};

// The first error of a pass, and the flag that stops every thread once there is one.
struct PassResult {
    std::atomic<PF_Err> err{PF_Err_NONE};
    std::atomic<bool> stop{false};

    void Fail(PF_Err e) {
        PF_Err expected = PF_Err_NONE;
        err.compare_exchange_strong(expected, e);
        stop.store(true, std::memory_order_relaxed);
    }
    bool Stopped() const { return stop.load(std::memory_order_relaxed); }
};

// Rows [y0, y1) of columns [x0, x1); false when a pixel failed or the pass was stopped. The
// function and row pointers are parameters, so the loop keeps them in registers across the callback.
template <class Pixel, class PixelFn>
bool RunRows(PixelFn fn, void* ref, char* src_base, std::ptrdiff_t src_stride, char* dst_base,
             std::ptrdiff_t dst_stride, A_long x0, A_long x1, A_long y0, A_long y1, PassResult& result) {
    for (A_long y = y0; y < y1; ++y) {
        Pixel* s = reinterpret_cast<Pixel*>(src_base + y * src_stride) + x0;
        Pixel* d = reinterpret_cast<Pixel*>(dst_base + y * dst_stride) + x0;
        for (A_long x = x0; x < x1; ++x, ++s, ++d) {
            if (const PF_Err err = fn(ref, x, y, s, d)) {
                result.Fail(err);
                return false;
            }
        }
        if (result.Stopped()) {
            return false;
        }
    }
    return true;
}

template <class Pixel, class PixelFn>
PF_Err IteratePass(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                   const PF_Rect* area, void* refcon, PixelFn pix_fn, PF_EffectWorld* dst) {
    FaultPlan& faults = host.Faults();
    if (faults.ShouldFail("iterate")) {
        return faults.injected_error;
    }
    PF_Rect r{};
    if (!pix_fn) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (const PF_Err err = PassRect(src, area, dst, r)) {
        return err;
    }
    const A_long rows = r.bottom - r.top;
    if (rows <= 0) {
        return PF_Err_NONE;
    }
    const int threads = ThreadCount(host, rows);
    const A_long block = std::max<A_long>(1, rows / (threads * kBlocksPerThread));
    std::atomic<A_long> next_row{0};
    PassResult result;
    PassProgress progress(host, progress_base, progress_final, rows);
    const auto work = [&]() {
        try {
            while (!result.Stopped()) {
                if (const PF_Err abort = host.CheckAbort()) {
                    result.Fail(abort);
                    return;
                }
                const A_long first = next_row.fetch_add(block);
                if (first >= rows) {
                    return;
                }
                const A_long last = std::min(first + block, rows);
                if (!RunRows<Pixel>(pix_fn, refcon, static_cast<char*>(src->data), src->rowbytes,
                                    static_cast<char*>(dst->data), dst->rowbytes, r.left, r.right, r.top + first,
                                    r.top + last, result)) {
                    return;
                }
                progress.Done(last - first);
            }
        } catch (...) {
            result.Fail(PF_Err_INTERNAL_STRUCT_DAMAGED);
        }
    };
    if (threads > 1) {
        host.Pool().Run(threads - 1, work);
    } else {
        work();
    }
    return result.err.load();
}

Host* CallingHost(PF_InData* in_data) {
    Host* host = Host::Current();
    if (!host || !in_data || in_data->effect_ref != static_cast<PF_ProgPtr>(host)) {
        return nullptr;
    }
    return host;
}

PF_Err Iterate8(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst) {
    Host* host = CallingHost(in_data);
    if (!host) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return IteratePixels8(*host, progress_base, progress_final, src, area, refcon, pix_fn, dst);
}

PF_Err Iterate16(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                 const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst) {
    Host* host = CallingHost(in_data);
    if (!host) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return IteratePixels16(*host, progress_base, progress_final, src, area, refcon, pix_fn, dst);
}

const PF_Iterate8Suite1 kIterate8Suite = {&Iterate8};
const PF_iterate16Suite1 kIterate16Suite = {&Iterate16};

}  // namespace

RenderPool::RenderPool(int helpers) {
    try {
        for (int i = 0; i < helpers; ++i) {
            threads_.emplace_back(&RenderPool::Loop, this, i);
        }
    } catch (...) {
        // No more threads to be had: the ones started and the caller share the passes.
    }
}

RenderPool::~RenderPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) {
        t.join();
    }
}

void RenderPool::Loop(int index) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&]() { return quit_ || pass_ != seen; });
        if (quit_) {
            return;
        }
        seen = pass_;
        if (index >= wanted_) {
            continue;
        }
        const std::function<void()>* work = work_;
        lock.unlock();
        (*work)();
        lock.lock();
        if (--running_ == 0) {
            done_.notify_one();
        }
    }
}

void RenderPool::Run(int helpers, const std::function<void()>& work) {
    std::unique_lock<std::mutex> pass(pass_mutex_, std::try_to_lock);
    helpers = std::min(helpers, Helpers());
    if (!pass.owns_lock() || helpers <= 0) {
        work();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work_ = &work;
        wanted_ = helpers;
        running_ = helpers;
        ++pass_;
    }
    wake_.notify_all();
    work();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&]() { return running_ == 0; });
    work_ = nullptr;
}

PF_Err IteratePixels8(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst) {
    return IteratePass<PF_Pixel>(host, progress_base, progress_final, src, area, refcon, pix_fn, dst);
}

PF_Err IteratePixels16(Host& host, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                       const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst) {
    return IteratePass<PF_Pixel16>(host, progress_base, progress_final, src, area, refcon, pix_fn, dst);
}

void RegisterRenderSuites(Host& host) {
    host.RegisterSuite(kPFIterate8Suite, kPFIterate8SuiteVersion1, &kIterate8Suite);
    host.RegisterSuite(kPFIterate16Suite, kPFIterate16SuiteVersion1, &kIterate16Suite);
}

}  // namespace vhost
