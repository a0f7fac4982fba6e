#include "frei0r/Filter.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "frei0r/FilterParams.h"
#include "host/HostError.h"

namespace vfrei0r {

Filter::Filter(int width, int height) : width_(width), height_(height) {
    // Rows are tight RGBA; the world's rowbytes is a 32-bit count.
    if (width < 1 || height < 1 || width > std::numeric_limits<A_long>::max() / 4) {
        throw vhost::HostError("cannot filter frames of " + std::to_string(width) + "x" + std::to_string(height));
    }
    values_ = renderer_.Defaults(width, height);
}

void Filter::Set(int index, double value) {
    std::lock_guard<std::mutex> lock(mutex_);
    SetParam(values_, index, value, renderer_.Declared(), width_, height_);
}

double Filter::Get(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return GetParam(values_, index, renderer_.Declared(), width_, height_);
}

bool Filter::Sliced() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sliced_;
}

void Filter::Update(double time, const uint32_t* in, uint32_t* out) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const uintptr_t bytes = static_cast<uintptr_t>(width_) * static_cast<uintptr_t>(height_) * 4;
        const auto a = reinterpret_cast<uintptr_t>(in), b = reinterpret_cast<uintptr_t>(out);
        for (const auto& r : recent_) {
            const bool adjoins = a == r.first + bytes || r.first == a + bytes || b == r.second + bytes ||
                                 r.second == b + bytes;
            if (adjoins) sliced_ = true;
        }
        recent_.emplace_back(a, b);
        if (recent_.size() > 16) recent_.pop_front();
        if (sliced_) {
            if (in != out) std::memmove(out, in, static_cast<size_t>(bytes));
            if (!reported_) {
                reported_ = true;
                std::fprintf(stderr,
                             "vellora: the host hands this filter bands of %dx%d rows, not whole frames (MLT: "
                             "its threads property); the mask is not drawn, frames pass through unchanged. "
                             "Set threads=1, or use the MLT filter 'vellora', which renders whole frames.\n",
                             width_, height_);
            }
            return;
        }
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
    if (failure.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reported_) {
        reported_ = true;
        std::fprintf(stderr, "vellora: frame at %.3f s passed through unchanged: %s\n", time, failure.c_str());
    }
}

}  // namespace vfrei0r
