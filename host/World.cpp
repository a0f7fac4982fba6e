#include "host/World.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "host/HostError.h"

namespace vhost {

namespace {

template <class T>
T ClampRound(double v, double hi) {
    if (!(v > 0.0)) {
        return 0;
    }
    return v >= hi ? static_cast<T>(hi) : static_cast<T>(std::lround(v));
}

}  // namespace

const char* PixelLayoutName(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::ARGB8:
            return "ARGB 8-bit";
        case PixelLayout::ARGB16:
            return "ARGB 16-bit";
        case PixelLayout::BGRA8:
            return "BGRA 8-bit";
        case PixelLayout::BGRA32F:
            return "BGRA float";
    }
    return "?";
}

size_t BytesPerPixel(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::ARGB8:
        case PixelLayout::BGRA8:
            return 4;
        case PixelLayout::ARGB16:
            return 8;
        case PixelLayout::BGRA32F:
            return 16;
    }
    return 4;
}

World::World(PixelLayout layout, int width, int height, size_t row_padding)
    : layout_(layout), padding_(row_padding) {
    if (width <= 0 || height <= 0) {
        throw HostError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                        " world: both sides must be at least 1 pixel");
    }
    const uint64_t rowbytes = static_cast<uint64_t>(width) * BytesPerPixel(layout) + row_padding;
    if (rowbytes > static_cast<uint64_t>(std::numeric_limits<A_long>::max()) ||
        rowbytes * static_cast<uint64_t>(height) > (uint64_t{1} << 34)) {
        throw HostError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                        " world: too large");
    }
    storage_.assign(static_cast<size_t>(rowbytes) * static_cast<size_t>(height), 0);
    Describe(width, height, static_cast<A_long>(rowbytes));
    Rebind();
}

void World::Describe(int width, int height, A_long rowbytes) {
    def_.world_flags = PF_WorldFlag_WRITEABLE | (layout_ == PixelLayout::ARGB16 ? PF_WorldFlag_DEEP : 0);
    def_.rowbytes = rowbytes;
    def_.width = width;
    def_.height = height;
    def_.extent_hint = PF_Rect{0, 0, width, height};
    def_.pix_aspect_ratio = PF_RationalScale{1, 1};
}

World World::Over(PixelLayout layout, int width, int height, void* pixels, size_t rowbytes) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width <= 0 || height <= 0) {
        throw HostError("cannot make a " + size + " world: both sides must be at least 1 pixel");
    }
    if (!pixels) {
        throw HostError("cannot make a " + size + " world over no pixels");
    }
    if (rowbytes < static_cast<uint64_t>(width) * BytesPerPixel(layout) ||
        rowbytes > static_cast<uint64_t>(std::numeric_limits<A_long>::max())) {
        throw HostError("cannot make a " + size + " world with rows " + std::to_string(rowbytes) + " bytes apart");
    }
    World world(layout, rowbytes - static_cast<size_t>(width) * BytesPerPixel(layout));
    world.outside_ = true;
    world.Describe(width, height, static_cast<A_long>(rowbytes));
    world.def_.data = pixels;
    return world;
}

void World::Repoint(void* pixels) {
    if (!outside_ || !pixels) {
        throw HostError("only a world over outside pixels can be pointed at other pixels");
    }
    def_.data = pixels;
}

World::World(World&& other) noexcept
    : layout_(other.layout_),
      padding_(other.padding_),
      outside_(other.outside_),
      storage_(std::move(other.storage_)),
      def_(other.def_) {
    Rebind();
    other.def_.data = nullptr;
}

World& World::operator=(World&& other) noexcept {
    layout_ = other.layout_;
    padding_ = other.padding_;
    outside_ = other.outside_;
    storage_ = std::move(other.storage_);
    def_ = other.def_;
    Rebind();
    other.def_.data = nullptr;
    return *this;
}

void World::Rebind() {
    if (!outside_) def_.data = storage_.empty() ? nullptr : storage_.data();
}

World World::Clone() const {
    World copy(layout_, def_.width, def_.height, padding_);
    if (outside_) {
        // Outside memory may end with the last pixel, padding or not.
        for (int y = 0; y < def_.height; ++y) {
            std::memcpy(copy.Row(y), Row(y), static_cast<size_t>(def_.width) * BytesPerPixel(layout_));
        }
    } else {
        copy.storage_ = storage_;
    }
    const PF_PixelPtr data = copy.storage_.data();
    copy.def_ = def_;
    copy.def_.data = data;
    return copy;
}

double World::FullScale() const {
    switch (layout_) {
        case PixelLayout::ARGB8:
        case PixelLayout::BGRA8:
            return 255.0;
        case PixelLayout::ARGB16:
            return 32768.0;
        case PixelLayout::BGRA32F:
            return 1.0;
    }
    return 1.0;
}

Rgba World::Get(int x, int y) const {
    const unsigned char* p = PixelBytes(x, y);
    switch (layout_) {
        case PixelLayout::ARGB8:
            return Rgba{double(p[1]), double(p[2]), double(p[3]), double(p[0])};
        case PixelLayout::BGRA8:
            return Rgba{double(p[2]), double(p[1]), double(p[0]), double(p[3])};
        case PixelLayout::ARGB16: {
            PF_Pixel16 px;
            std::memcpy(&px, p, sizeof(px));
            return Rgba{double(px.red), double(px.green), double(px.blue), double(px.alpha)};
        }
        case PixelLayout::BGRA32F: {
            float f[4];
            std::memcpy(f, p, sizeof(f));
            return Rgba{f[2], f[1], f[0], f[3]};
        }
    }
    return Rgba{};
}

void World::Set(int x, int y, const Rgba& v) {
    unsigned char* p = PixelBytes(x, y);
    switch (layout_) {
        case PixelLayout::ARGB8:
            p[0] = ClampRound<unsigned char>(v.a, 255.0);
            p[1] = ClampRound<unsigned char>(v.r, 255.0);
            p[2] = ClampRound<unsigned char>(v.g, 255.0);
            p[3] = ClampRound<unsigned char>(v.b, 255.0);
            break;
        case PixelLayout::BGRA8:
            p[3] = ClampRound<unsigned char>(v.a, 255.0);
            p[2] = ClampRound<unsigned char>(v.r, 255.0);
            p[1] = ClampRound<unsigned char>(v.g, 255.0);
            p[0] = ClampRound<unsigned char>(v.b, 255.0);
            break;
        case PixelLayout::ARGB16: {
            PF_Pixel16 px;
            px.alpha = ClampRound<A_u_short>(v.a, 32768.0);
            px.red = ClampRound<A_u_short>(v.r, 32768.0);
            px.green = ClampRound<A_u_short>(v.g, 32768.0);
            px.blue = ClampRound<A_u_short>(v.b, 32768.0);
            std::memcpy(p, &px, sizeof(px));
            break;
        }
        case PixelLayout::BGRA32F: {
            const float f[4] = {float(v.b), float(v.g), float(v.r), float(v.a)};
            std::memcpy(p, f, sizeof(f));
            break;
        }
    }
}

}  // namespace vhost
