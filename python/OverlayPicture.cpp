#include "python/OverlayPicture.h"

#include <algorithm>
#include <utility>

#include "host/ApiNames.h"
#include "host/HostError.h"
#include "host/SetUp.h"
#include "imaging/ImageIO.h"
#include "overlay/Overlay.h"

namespace vpython {

std::vector<uint8_t> OverlayPicture(HostPool& pool, const FrameView& frame, const FrameOptions& options,
                                    const vparams::EffectValues& values) {
    const int w = ResultSize(frame.width, options.downsample), h = ResultSize(frame.height, options.downsample);
    std::vector<unsigned char> result(static_cast<size_t>(w) * static_cast<size_t>(h) * 4 * SampleBytes(frame.type));
    std::vector<uint8_t> picture;
    pool.Render(frame, options, values, result.data(), [&](vhost::Host& host, const vhost::World& world) {
        voverlay::OverlayWindow window(host, voverlay::WindowView{}, frame.width, frame.height);
        // A downsampled frame is shown at full size, each pixel repeated, as
        // the command shows it.
        std::vector<float> row(static_cast<size_t>(world.Width()) * 4);
        const int ds = options.downsample;
        const bool rgba_in_bgra = world.Layout() == vhost::PixelLayout::BGRA8;
        window.ShowFrame(
            [&](int y, float* rgba) {
                vimaging::NormalisedRow(world, std::min(world.Height() - 1, y / ds), row.data());
                if (rgba_in_bgra) {
                    for (size_t i = 0; i < row.size(); i += 4) std::swap(row[i], row[i + 2]);
                }
                for (int x = 0; x < frame.width; ++x) {
                    const float* s = &row[static_cast<size_t>(std::min(world.Width() - 1, x / ds)) * 4];
                    std::copy(s, s + 4, rgba + static_cast<size_t>(x) * 4);
                }
            },
            frame.width, frame.height);
        host.InData().pixel_aspect_ratio = options.pixel_aspect;
        const PF_Err err = window.Draw();
        if (err != PF_Err_NONE) {
            throw vhost::HostError("the effect failed to draw its overlay: error " + vhost::DescribeError(err));
        }
        vhost::RequireBalancedLedgers(host);
        picture = window.PictureRGBA8();
    });
    return picture;
}

}  // namespace vpython
