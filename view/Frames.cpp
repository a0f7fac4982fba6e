#include "view/Frames.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "host/Render.h"

namespace vview {

Frames::Frames(vimaging::Image input) : input_(std::move(input)) {}

vhost::World& Frames::InputWorld(vhost::PixelLayout layout, int downsample) {
    const auto key = std::make_pair(layout, downsample);
    auto it = inputs_.find(key);
    if (it == inputs_.end()) {
        // A reduced frame's input is box-filtered from the full one, as hosts scale their layers.
        vhost::World world = downsample > 1 ? vimaging::ImageToWorld(vimaging::DownsampleImage(input_, downsample), layout)
                                            : vimaging::ImageToWorld(input_, layout);
        it = inputs_.emplace(key, std::move(world)).first;
    }
    return it->second;
}

PF_Err Frames::Render(vhost::Host& host, vhost::PixelLayout layout, int downsample, PF_RationalScale pixel_aspect) {
    vhost::World& input = InputWorld(layout, downsample);
    const auto key = std::make_pair(layout, downsample);
    auto it = outputs_.find(key);
    if (it == outputs_.end()) it = outputs_.emplace(key, vhost::World(layout, input.Width(), input.Height())).first;
    output_ = &it->second;
    vhost::FrameSettings settings;
    settings.downsample = downsample;
    settings.pixel_aspect = pixel_aspect;
    const auto start = std::chrono::steady_clock::now();
    const PF_Err err = vhost::RenderFrame(host, input, *output_, settings);
    render_ms_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    downsample_ = downsample;
    MakeDisplay();
    return err;
}

void Frames::MakeDisplay() {
    const vhost::World& out = *output_;
    const int w = out.Width(), h = out.Height();
    // Shrinking keeps the capacity, so the full frame's buffer is made once.
    display_.resize(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        const unsigned char* src = out.Row(y);
        uint8_t* dst = &display_[static_cast<size_t>(y) * w * 4];
        switch (out.Layout()) {
            case vhost::PixelLayout::ARGB8:
                for (int x = 0; x < w; ++x, src += 4, dst += 4) {
                    dst[0] = src[1], dst[1] = src[2], dst[2] = src[3], dst[3] = src[0];
                }
                break;
            case vhost::PixelLayout::BGRA8:
                for (int x = 0; x < w; ++x, src += 4, dst += 4) {
                    dst[0] = src[2], dst[1] = src[1], dst[2] = src[0], dst[3] = src[3];
                }
                break;
            case vhost::PixelLayout::ARGB16: {
                const auto* p = reinterpret_cast<const PF_Pixel16*>(src);
                // 16-bit worlds run to 32768.
                const auto byte = [](A_u_short v) { return static_cast<uint8_t>((std::min<unsigned>(v, 32768) * 255 + 16384) / 32768); };
                for (int x = 0; x < w; ++x, ++p, dst += 4) {
                    dst[0] = byte(p->red), dst[1] = byte(p->green), dst[2] = byte(p->blue), dst[3] = byte(p->alpha);
                }
                break;
            }
            case vhost::PixelLayout::BGRA32F: {
                const auto* p = reinterpret_cast<const float*>(src);
                // NaN fails both comparisons and shows as 0; rounding half up suits values never negative.
                const auto byte = [](float v) {
                    return static_cast<uint8_t>((v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f) * 255.0f + 0.5f);
                };
                for (int x = 0; x < w; ++x, p += 4, dst += 4) {
                    dst[0] = byte(p[2]), dst[1] = byte(p[1]), dst[2] = byte(p[0]), dst[3] = byte(p[3]);
                }
                break;
            }
        }
    }
}

std::optional<double> Frames::AlphaAt(int x, int y) const {
    if (!output_ || x < 0 || y < 0 || x >= Width() || y >= Height()) return std::nullopt;
    const int sx = std::min(output_->Width() - 1, x / downsample_);
    const int sy = std::min(output_->Height() - 1, y / downsample_);
    return output_->Get(sx, sy).a / output_->FullScale();
}

}  // namespace vview
