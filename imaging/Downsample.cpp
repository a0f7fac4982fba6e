// Downsampling: a box filter to 1/n, as a host scales its input for a
// reduced-resolution preview.
#include "imaging/ImageIO.h"

#include "host/HostError.h"
#include "imaging/PixelKernels.h"

namespace vimaging {

namespace {

// Box filter to 1/n; colour weighted by alpha so transparent pixels do not bleed.
template <class S>
void BoxFilter(const Image& image, const S* in, int n, const Image& out, S* dst) {
    for (int oy = 0; oy < out.height; ++oy) {
        for (int ox = 0; ox < out.width; ++ox) {
            double sum[4] = {0, 0, 0, 0};
            double weighted[3] = {0, 0, 0};
            int count = 0;
            for (int y = oy * n; y < std::min(image.height, oy * n + n); ++y) {
                const S* p = in + (static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                   static_cast<size_t>(ox) * static_cast<size_t>(n)) * 4;
                for (int x = ox * n; x < std::min(image.width, ox * n + n); ++x, p += 4) {
                    const double a = p[3];
                    for (int k = 0; k < 3; ++k) {
                        sum[k] += p[k];
                        weighted[k] += p[k] * a;
                    }
                    sum[3] += a;
                    ++count;
                }
            }
            S* o = dst + (static_cast<size_t>(oy) * static_cast<size_t>(out.width) + static_cast<size_t>(ox)) * 4;
            for (int k = 0; k < 3; ++k) {
                o[k] = Sample<S>::FromDouble(sum[3] != 0.0 ? weighted[k] / sum[3] : sum[k] / count);
            }
            o[3] = Sample<S>::FromDouble(sum[3] / count);
        }
    }
}

}  // namespace

Image DownsampleImage(const Image& image, int n) {
    if (n < 1) {
        throw vhost::HostError("downsample factor " + std::to_string(n) + " must be at least 1");
    }
    if (n == 1) {
        return image;
    }
    Image out = Image::Make((image.width + n - 1) / n, (image.height + n - 1) / n, image.type);
    out.source = image.source;
    WithSamples(image, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        BoxFilter<S>(image, samples.data(), n, out, Samples<S>(out));
    });
    return out;
}

}  // namespace vimaging
