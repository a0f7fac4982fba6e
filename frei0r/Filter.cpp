#include "frei0r/Filter.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "frei0r/FilterParams.h"
#include "host/HostError.h"

namespace vfrei0r {

namespace {

// More bands than MLT makes of any frame (one a thread); it bounds the updates
// kept for telling bands from frames.
constexpr size_t kMaxBands = 256;

// MLT remakes instances as it pleases (every few frames when rendering frames
// in parallel): the advice is given once per process.
std::atomic<bool> g_told_bands{false};

}  // namespace

Filter::Filter(int width, int height)
    : width_(width), height_(height), bytes_(static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    // Rows are tight RGBA; the world's rowbytes is a 32-bit count.
    if (width < 1 || height < 1 || width > std::numeric_limits<A_long>::max() / 4) {
        throw vhost::HostError("cannot filter frames of " + std::to_string(width) + "x" + std::to_string(height));
    }
    values_ = renderer_.Defaults(width, height);
    // Updates never allocate to be told apart.
    drawn_.reserve(kMaxBands);
}

void Filter::Set(int index, double value) {
    std::lock_guard<std::mutex> lock(mutex_);
    SetParam(values_, index, value, renderer_.Declared(), width_, height_);
}

double Filter::Get(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return GetParam(values_, index, renderer_.Declared(), width_, height_);
}

// Unrelated frames may adjoin in memory, but hardly at the same time with two
// separate buffers each shifted alike by whole frames. MLT's bands always have
// an input and an output of their own; in place, both shifts are one and say
// nothing (a host rendering one time twice lands there).
bool Filter::IsBandOf(const Drawn& d, uintptr_t in, uintptr_t out) const {
    if (in == out || d.in == d.out) return false;
    if (in == d.in || out - d.out != in - d.in) return false;
    const uintptr_t distance = in > d.in ? in - d.in : d.in - in;
    return distance % bytes_ == 0 && distance / bytes_ < kMaxBands;
}

void Filter::Restore(Drawn& d) const {
    std::memmove(reinterpret_cast<void*>(d.out), reinterpret_cast<const void*>(d.in), bytes_);
    d.restore = false;
}

void Filter::PassThrough(const uint32_t* in, uint32_t* out) const noexcept {
    if (in != out) std::memmove(out, in, bytes_);
}

void Filter::Update(double time, const uint32_t* in, uint32_t* out) {
    const auto a = reinterpret_cast<uintptr_t>(in), b = reinterpret_cast<uintptr_t>(out);
    uint64_t id = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (updates_ == 0) last_time_ = time;
        if (time != last_time_) {
            // MLT finishes a frame's bands before the next frame: updates of
            // other times are no longer the host's to touch.
            drawn_.erase(std::remove_if(drawn_.begin(), drawn_.end(), [](const Drawn& d) { return !d.rendering; }),
                         drawn_.end());
            last_time_ = time;
        }
        id = ++updates_;
        for (Drawn& d : drawn_) {
            if (d.time != time || !IsBandOf(d, a, b)) continue;
            sliced_ = true;
            // A band still rendering puts its input back before it returns. One
            // that has returned is the host's again and may be freed already (a
            // host that renders one time twice drops the first buffers), so what
            // it drew stays.
            if (d.rendering) d.restore = true;
        }
        if (sliced_) {
            if (in != out) std::memmove(out, in, bytes_);
            if (!g_told_bands.exchange(true)) {
                std::fprintf(stderr,
                             "vellora: the host hands this filter bands of %dx%d rows, not whole frames (MLT: "
                             "its threads property); the mask is not drawn, frames pass through unchanged. "
                             "Set threads=1, or use the MLT filter 'vellora', which renders whole frames.\n",
                             width_, height_);
            }
            return;
        }
        if (drawn_.size() >= kMaxBands) {
            const auto done = std::find_if(drawn_.begin(), drawn_.end(), [](const Drawn& d) { return !d.rendering; });
            if (done != drawn_.end()) drawn_.erase(done);
        }
        drawn_.push_back(Drawn{id, time, a, b, true, false});
    }
    vembed::RgbaFrame frame;
    frame.layer_width = width_;
    frame.layer_height = height_;
    frame.in = reinterpret_cast<const uint8_t*>(in);
    frame.out = reinterpret_cast<uint8_t*>(out);
    frame.width = width_;
    frame.height = height_;
    frame.time = time;
    vparams::EffectValues values;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        values = values_;
    }
    const std::string failure = renderer_.Render(values, frame);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto self = std::find_if(drawn_.begin(), drawn_.end(), [id](const Drawn& d) { return d.id == id; });
    if (self != drawn_.end()) {
        self->rendering = false;
        if (self->restore) Restore(*self);
    }
    if (failure.empty() || reported_) return;
    reported_ = true;
    std::fprintf(stderr, "vellora: frame at %.3f s passed through unchanged: %s\n", time, failure.c_str());
}

}  // namespace vfrei0r
