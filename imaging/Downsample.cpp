// Downsampling: a box filter to 1/n, as a host scales its input for a
// reduced-resolution preview.
#include "imaging/ImageIO.h"

#include "host/HostError.h"
#include "imaging/ImageSource.h"
#include "imaging/PixelKernels.h"

namespace vimaging {

namespace {

// Box filter to 1/n; colour weighted by alpha so transparent pixels do not
// bleed. The first box starts `px`, `py` pixels before the image.
template <class S>
void BoxFilter(const Image& image, const S* in, int n, int px, int py, const Image& out, S* dst) {
    for (int oy = 0; oy < out.height; ++oy) {
        for (int ox = 0; ox < out.width; ++ox) {
            double sum[4] = {0, 0, 0, 0};
            double weighted[3] = {0, 0, 0};
            int count = 0;
            const int x_first = std::max(0, ox * n - px), y_first = std::max(0, oy * n - py);
            for (int y = y_first; y < std::min(image.height, oy * n - py + n); ++y) {
                const S* p = in + (static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                   static_cast<size_t>(x_first)) * 4;
                for (int x = x_first; x < std::min(image.width, ox * n - px + n); ++x, p += 4) {
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

int DownsampledOrigin(int origin, int n) { return origin >= 0 ? origin / n : -((-origin + n - 1) / n); }

int DownsampledSize(int origin, int size, int n) {
    return DownsampledOrigin(origin + size - 1, n) - DownsampledOrigin(origin, n) + 1;
}

Image DownsampleImage(const Image& image, int n) {
    if (n < 1) {
        throw vhost::HostError("downsample factor " + std::to_string(n) + " must be at least 1");
    }
    if (n == 1) {
        return image;
    }
    const int x = image.source ? image.source->spec.x : 0, y = image.source ? image.source->spec.y : 0;
    Image out = Image::Make(DownsampledSize(x, image.width, n), DownsampledSize(y, image.height, n), image.type);
    out.source = image.source;
    WithSamples(image, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        BoxFilter<S>(image, samples.data(), n, x - DownsampledOrigin(x, n) * n, y - DownsampledOrigin(y, n) * n, out,
                     Samples<S>(out));
    });
    return out;
}

}  // namespace vimaging
