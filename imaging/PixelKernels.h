// Inside the image library: the typed kernels behind every public pixel
// function. A public function checks its arguments, then picks the sample
// type of its image and the layout of its world once (WithSamples, WithType,
// WithLayout) and hands them to a kernel instantiated for that pair, as
// OpenImageIO does; no kernel asks for a type per pixel.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "imaging/ImageIO.h"

namespace vimaging {

template <class T>
T RoundClamp(double v, double hi) {
    if (!(v > 0.0)) return 0;
    return v >= hi ? static_cast<T>(hi) : static_cast<T>(std::lround(v));
}

template <class S>
constexpr SampleType TypeOf() {
    return std::is_same_v<S, uint8_t> ? SampleType::U8 : std::is_same_v<S, uint16_t> ? SampleType::U16 : SampleType::F32;
}

// A file sample's scale: integer files run 0..kMax, float files hold 0..1 nominal.
template <class S>
struct Sample {
    static constexpr double kMax = static_cast<double>(std::numeric_limits<S>::max());
    static constexpr S kOpaque = std::numeric_limits<S>::max();
    static double Unit(S s) { return s / kMax; }
    // In an integer world whose channels run 0..full.
    static double InWorld(S s, double full) { return s * full / kMax; }
    // In a float world (single-precision division, as hosts convert).
    static float InFloatWorld(S s) { return static_cast<float>(s) / static_cast<float>(kMax); }
    static S FromUnit(double v) { return RoundClamp<S>(v * kMax, kMax); }
    static S FromDouble(double v) { return RoundClamp<S>(v, kMax); }
    // Straight from premultiplied and back, exact to the nearest step: a
    // straight value within half a step of c * max / a multiplies back to c.
    static S Divide(S c, S a) { return a == 0 ? c : RoundClamp<S>(c * kMax / a, kMax); }
    static S Multiply(S c, S a) { return RoundClamp<S>(c * static_cast<double>(a) / kMax, kMax); }
};
template <>
struct Sample<float> {
    static constexpr float kOpaque = 1.0f;
    static double Unit(float s) { return s; }
    static double InWorld(float s, double full) { return s * full; }
    static float InFloatWorld(float s) { return s; }
    static float FromUnit(double v) { return static_cast<float>(v); }
    static float FromDouble(double v) { return static_cast<float>(v); }
    // Colour under zero alpha is left as it is, as OpenImageIO does.
    static float Divide(float c, float a) { return a == 0.0f ? c : static_cast<float>(static_cast<double>(c) / a); }
    static float Multiply(float c, float a) { return static_cast<float>(static_cast<double>(c) * a); }
};

// The sample type of an image is chosen once per image: these hand the
// image's own vector to a generic lambda, and the kernels below are
// instantiated for each sample type and each world layout.
template <class F>
decltype(auto) WithSamples(const Image& image, F&& f) {
    switch (image.type) {
        case SampleType::U8:
            return f(image.u8);
        case SampleType::U16:
            return f(image.u16);
        case SampleType::F32:
            break;
    }
    return f(image.f32);
}

template <class F>
decltype(auto) WithType(SampleType type, F&& f) {
    switch (type) {
        case SampleType::U8:
            return f(uint8_t{});
        case SampleType::U16:
            return f(uint16_t{});
        case SampleType::F32:
            break;
    }
    return f(float{});
}

template <class S>
S* Samples(Image& image);
template <>
inline uint8_t* Samples<uint8_t>(Image& image) { return image.u8.data(); }
template <>
inline uint16_t* Samples<uint16_t>(Image& image) { return image.u16.data(); }
template <>
inline float* Samples<float>(Image& image) { return image.f32.data(); }

// The four world layouts: channel type, full scale of integer channels, and
// where red, green, blue and alpha sit in a pixel.
struct ARGB8Pixel {
    using File = uint8_t;  // the file depth it is written at
    using T = uint8_t;
    static constexpr double kFull = 255.0;
    static constexpr int kAt[4] = {1, 2, 3, 0};
};
struct BGRA8Pixel {
    using File = uint8_t;
    using T = uint8_t;
    static constexpr double kFull = 255.0;
    static constexpr int kAt[4] = {2, 1, 0, 3};
};
struct ARGB16Pixel {
    using File = uint16_t;
    using T = uint16_t;
    static constexpr double kFull = 32768.0;
    static constexpr int kAt[4] = {1, 2, 3, 0};
};
struct BGRA32FPixel {
    using File = float;
    using T = float;  // values as they are: no full scale
    static constexpr int kAt[4] = {2, 1, 0, 3};
};

template <class F>
void WithLayout(vhost::PixelLayout layout, F&& f) {
    switch (layout) {
        case vhost::PixelLayout::ARGB8:
            return f(ARGB8Pixel{});
        case vhost::PixelLayout::BGRA8:
            return f(BGRA8Pixel{});
        case vhost::PixelLayout::ARGB16:
            return f(ARGB16Pixel{});
        case vhost::PixelLayout::BGRA32F:
            return f(BGRA32FPixel{});
    }
}

// 16-bit file samples in a world of 0..32768 and back. Every sample's result
// is computed once by the formula: a lookup costs a fraction of the rounding,
// which took about 40% of a 16-bit clip's time when done per sample.
template <size_t N, class F>
std::array<uint16_t, N> Table16(F f) {
    std::array<uint16_t, N> t{};
    for (size_t i = 0; i < N; ++i) t[i] = f(static_cast<double>(i));
    return t;
}
inline const std::array<uint16_t, 65536> kToWorld16 =
    Table16<65536>([](double v) { return RoundClamp<uint16_t>(v * 32768.0 / 65535.0, 32768.0); });
inline const std::array<uint16_t, 32769> kFromWorld16 =
    Table16<32769>([](double w) { return RoundClamp<uint16_t>(w * 65535.0 / 32768.0, 65535.0); });
inline uint16_t ToWorld16(uint16_t v) { return kToWorld16[v]; }
// A world value past 32768 is held to white, as the formula holds it.
inline uint16_t FromWorld16(uint16_t w) { return w <= 32768 ? kFromWorld16[w] : 65535; }

// One row of file samples (interleaved RGBA) into world P: 8-bit files into
// 8-bit worlds byte for byte, others scaled to the world's full scale, rounded
// and clamped for integer worlds, unchanged (integer files as 0..1) for float worlds.
template <class P, class S>
void FillWorldRow(const S* s, int width, unsigned char* row) {
    using T = typename P::T;
    T* d = reinterpret_cast<T*>(row);
    for (int x = 0; x < width; ++x, s += 4, d += 4) {
        for (int k = 0; k < 4; ++k) {
            if constexpr (std::is_same_v<T, float>) {
                d[P::kAt[k]] = Sample<S>::InFloatWorld(s[k]);
            } else if constexpr (std::is_same_v<S, uint8_t> && std::is_same_v<T, uint8_t>) {
                d[P::kAt[k]] = s[k];
            } else if constexpr (std::is_same_v<S, uint16_t> && std::is_same_v<T, uint16_t>) {
                d[P::kAt[k]] = ToWorld16(s[k]);  // the same formula, looked up
            } else {
                d[P::kAt[k]] = RoundClamp<T>(Sample<S>::InWorld(s[k], P::kFull), P::kFull);
            }
        }
    }
}

// The two bits of each sample of a 16-bit row that a 16-bit world cannot hold.
inline void KeepLowBits(const uint16_t* s, int width, uint8_t* codes) {
    for (int x = 0; x < width; ++x, s += 4) {
        uint8_t code = 0;
        for (int k = 0; k < 4; ++k) {
            const int lost = static_cast<int>(s[k]) - FromWorld16(ToWorld16(s[k]));
            code |= static_cast<uint8_t>((lost >= -1 && lost <= 1 ? lost + 1 : 1) << (2 * k));
        }
        codes[x] = code;
    }
}

// One row of world P as file samples S: 8-bit and float worlds copied, 16-bit
// worlds from 0..32768 back onto 0..65535 (with the bits kept on the way in,
// where given and still consistent), all others through 0..1.
template <class P, class S>
void WorldRowToFile(const unsigned char* row, int width, S* d, const uint8_t* low_bits) {
    using T = typename P::T;
    const T* s = reinterpret_cast<const T*>(row);
    for (int x = 0; x < width; ++x, s += 4, d += 4) {
        for (int k = 0; k < 4; ++k) {
            const T v = s[P::kAt[k]];
            if constexpr (std::is_same_v<T, S>) {
                if constexpr (std::is_same_v<T, uint16_t>) {
                    d[k] = FromWorld16(v);
                    if (low_bits) {
                        const int restored = d[k] + ((low_bits[x] >> (2 * k)) & 3) - 1;
                        if (restored >= 0 && restored <= 65535 && ToWorld16(static_cast<uint16_t>(restored)) == v) {
                            d[k] = static_cast<uint16_t>(restored);
                        }
                    }
                } else {
                    d[k] = v;
                }
            } else if constexpr (std::is_same_v<T, float>) {
                d[k] = Sample<S>::FromUnit(v);
            } else {
                d[k] = Sample<S>::FromUnit(v / P::kFull);
            }
        }
    }
}

template <class Dst, class Src>
void ConvertRow(const Src* s, size_t count, Dst* d) {
    for (size_t i = 0; i < count; ++i) {
        if constexpr (std::is_same_v<Dst, Src>) {
            d[i] = s[i];
        } else {
            d[i] = Sample<Dst>::FromUnit(Sample<Src>::Unit(s[i]));
        }
    }
}

}  // namespace vimaging
