// Pixel conversion: images and worlds of every sample type and layout into
// each other, through the kernels of PixelKernels.h.
#include "imaging/ImageIO.h"

#include <vector>

#include "imaging/PixelKernels.h"

namespace vimaging {

Image Image::Make(int width, int height, SampleType type) {
    Image image;
    image.width = width;
    image.height = height;
    image.type = type;
    const size_t n = image.Samples();
    switch (type) {
        case SampleType::U8:
            image.u8.assign(n, 0);
            break;
        case SampleType::U16:
            image.u16.assign(n, 0);
            break;
        case SampleType::F32:
            image.f32.assign(n, 0.0f);
            break;
    }
    return image;
}

double Image::Normalised(int x, int y, int c) const {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4 +
                     static_cast<size_t>(c);
    return WithSamples(*this, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        return Sample<S>::Unit(samples[i]);
    });
}

vhost::World ImageToWorld(const Image& image, vhost::PixelLayout layout, size_t row_padding) {
    vhost::World world(layout, image.width, image.height, row_padding);
    for (int y = 0; y < image.height; ++y) ImageRowToWorld(image, y, world, y);
    return world;
}

void ImageRowToWorld(const Image& image, int y, vhost::World& world, int world_y) {
    WithSamples(image, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        WithLayout(world.Layout(), [&](auto pixel) {
            FillWorldRow<decltype(pixel), S>(samples.data() + static_cast<size_t>(y) * image.width * 4,
                                             std::min(image.width, world.Width()), world.Row(world_y));
        });
    });
}

SampleType WorldSampleType(vhost::PixelLayout layout) {
    SampleType type = SampleType::U8;
    WithLayout(layout, [&](auto pixel) { type = TypeOf<typename decltype(pixel)::File>(); });
    return type;
}

Image WorldToImage(const vhost::World& world) {
    Image image;
    WithLayout(world.Layout(), [&](auto pixel) {
        using P = decltype(pixel);
        using S = typename P::File;
        image = Image::Make(world.Width(), world.Height(), TypeOf<S>());
        for (int y = 0; y < world.Height(); ++y) {
            WorldRowToFile<P, S>(world.Row(y), world.Width(),
                                 Samples<S>(image) + static_cast<size_t>(y) * world.Width() * 4, nullptr);
        }
    });
    return image;
}

void NormalisedRow(const vhost::World& world, int y, float* rgba) {
    WithLayout(world.Layout(), [&](auto pixel) {
        using P = decltype(pixel);
        using S = typename P::File;
        std::vector<S> row(static_cast<size_t>(world.Width()) * 4);
        WorldRowToFile<P, S>(world.Row(y), world.Width(), row.data(), nullptr);
        for (size_t i = 0; i < row.size(); ++i) rgba[i] = static_cast<float>(Sample<S>::Unit(row[i]));
    });
}

std::vector<float> NormalisedRGBA(const Image& image) {
    std::vector<float> out(image.Samples());
    WithSamples(image, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(Sample<S>::Unit(samples[i]));
    });
    return out;
}
}  // namespace vimaging
