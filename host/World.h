// Owning pixel buffers in the four layouts the effect renders, each with a
// PF_LayerDef a host hands to plug-ins. Rows may be padded beyond the tight
// width, as hosts do, so plug-ins are exercised on rowbytes > width * pixel size.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "api/AE_Effect.h"

namespace vhost {

enum class PixelLayout {
    ARGB8,    // After Effects 8-bit, PF_Pixel
    ARGB16,   // After Effects 16-bit (deep), PF_Pixel16, full scale 32768
    BGRA8,    // Premiere 'bgra'
    BGRA32F,  // Premiere 'BGra', one float per channel
};

const char* PixelLayoutName(PixelLayout layout);
size_t BytesPerPixel(PixelLayout layout);

// Straight RGBA of one pixel in the world's own units (0..255, 0..32768 or float).
struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;
};

class World {
public:
    // `row_padding` extra bytes at the end of every row. Pixels start zeroed.
    World(PixelLayout layout, int width, int height, size_t row_padding = 0);
    World(World&&) noexcept;
    World& operator=(World&&) noexcept;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // A world over pixels someone else owns (a frame a video host hands over),
    // rows `rowbytes` apart; they must stay valid while the world is used. Its
    // Bytes() are empty. Throws HostError for a geometry the memory cannot hold.
    static World Over(PixelLayout layout, int width, int height, void* pixels, size_t rowbytes);
    // Points a world made by Over at other pixels of the same geometry.
    void Repoint(void* pixels);

    // A deep copy (same layout, padding and extent hint; the copy's data pointer is its own).
    World Clone() const;

    PixelLayout Layout() const { return layout_; }
    int Width() const { return def_.width; }
    int Height() const { return def_.height; }
    size_t RowBytes() const { return static_cast<size_t>(def_.rowbytes); }
    PF_LayerDef& Def() { return def_; }
    const PF_LayerDef& Def() const { return def_; }

    unsigned char* Row(int y) { return Base() + static_cast<size_t>(y) * RowBytes(); }
    const unsigned char* Row(int y) const { return Base() + static_cast<size_t>(y) * RowBytes(); }
    unsigned char* PixelBytes(int x, int y) { return Row(y) + static_cast<size_t>(x) * BytesPerPixel(layout_); }
    const unsigned char* PixelBytes(int x, int y) const {
        return Row(y) + static_cast<size_t>(x) * BytesPerPixel(layout_);
    }
    // Every byte, padding included, so tests can prove padding is never written.
    std::vector<unsigned char>& Bytes() { return storage_; }
    const std::vector<unsigned char>& Bytes() const { return storage_; }

    void SetExtentHint(const PF_Rect& hint) { def_.extent_hint = hint; }

    // Channel access in the world's own units; Set rounds and clamps for integer layouts.
    Rgba Get(int x, int y) const;
    void Set(int x, int y, const Rgba& value);

    // Full-scale value of the layout's channels (255, 32768, or 1 for float).
    double FullScale() const;

private:
    World(PixelLayout layout, size_t padding) : layout_(layout), padding_(padding) {}
    void Describe(int width, int height, A_long rowbytes);
    void Rebind();
    unsigned char* Base() const { return static_cast<unsigned char*>(def_.data); }

    PixelLayout layout_;
    size_t padding_;
    bool outside_ = false;
    std::vector<unsigned char> storage_;
    PF_LayerDef def_{};
};

}  // namespace vhost
