#include "ImageIO.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>

#include <OpenImageIO/imageio.h>

#include "AtomicFile.h"
#include "HostError.h"

namespace vhost {

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Last line of an OpenImageIO error, which may span several.
std::string Reason(const std::string& error) {
    std::string text = error;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const size_t nl = text.rfind('\n');
    if (nl != std::string::npos) text = text.substr(nl + 1);
    return text.empty() ? "unknown error" : text;
}

template <class T>
T RoundClamp(double v, double hi) {
    if (!(v > 0.0)) return 0;
    return v >= hi ? static_cast<T>(hi) : static_cast<T>(std::lround(v));
}

// Builds interleaved RGBA of type T from `nch` channels of `raw`.
template <class T>
void ToRgba(const std::vector<T>& raw, int nch, int alpha_channel, size_t pixels, T opaque, std::vector<T>& out) {
    out.resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        const T* p = raw.data() + i * static_cast<size_t>(nch);
        T* o = out.data() + i * 4;
        if (nch >= 3) {
            o[0] = p[0];
            o[1] = p[1];
            o[2] = p[2];
        } else {
            o[0] = o[1] = o[2] = p[0];
        }
        o[3] = alpha_channel >= 0 ? p[alpha_channel] : opaque;
    }
}

// Whether a file written as `written` keeps every value of `wanted`.
bool Holds(OIIO::TypeDesc written, SampleType wanted) {
    using OIIO::TypeDesc;
    const bool is_float = written == TypeDesc::FLOAT || written == TypeDesc::DOUBLE;
    switch (wanted) {
        case SampleType::U8:
            return written == TypeDesc::UINT8 || written == TypeDesc::UINT16 || written == TypeDesc::UINT32 ||
                   written == TypeDesc::HALF || is_float;
        case SampleType::U16:
            return written == TypeDesc::UINT16 || written == TypeDesc::UINT32 || is_float;
        case SampleType::F32:
            return is_float;
    }
    return false;
}


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

template <class S>
S* Samples(Image& image);
template <>
uint8_t* Samples<uint8_t>(Image& image) { return image.u8.data(); }
template <>
uint16_t* Samples<uint16_t>(Image& image) { return image.u16.data(); }
template <>
float* Samples<float>(Image& image) { return image.f32.data(); }

template <class S>
constexpr SampleType TypeOf() {
    return std::is_same_v<S, uint8_t> ? SampleType::U8 : std::is_same_v<S, uint16_t> ? SampleType::U16 : SampleType::F32;
}

// A file sample's scale: integer files run 0..kMax, float files hold 0..1 nominal.
template <class S>
struct Sample {
    static constexpr double kMax = static_cast<double>(std::numeric_limits<S>::max());
    static double Unit(S s) { return s / kMax; }
    // In an integer world whose channels run 0..full.
    static double InWorld(S s, double full) { return s * full / kMax; }
    // In a float world (single-precision division, as hosts convert).
    static float InFloatWorld(S s) { return static_cast<float>(s) / static_cast<float>(kMax); }
    static S FromDouble(double v) { return RoundClamp<S>(v, kMax); }
};
template <>
struct Sample<float> {
    static double Unit(float s) { return s; }
    static double InWorld(float s, double full) { return s * full; }
    static float InFloatWorld(float s) { return s; }
    static float FromDouble(double v) { return static_cast<float>(v); }
};

// The four world layouts: channel type, full scale of integer channels, and
// where red, green, blue and alpha sit in a pixel.
struct ARGB8Pixel {
    using File = uint8_t;  // the file depth it is written at
    using T = uint8_t;
    static constexpr double kFull = 255.0;
    static constexpr int kAt[4] = {1, 2, 3, 0};
};
struct BGRA8Pixel {
    using File = uint8_t;  // the file depth it is written at
    using T = uint8_t;
    static constexpr double kFull = 255.0;
    static constexpr int kAt[4] = {2, 1, 0, 3};
};
struct ARGB16Pixel {
    using File = uint16_t;  // the file depth it is written at
    using T = uint16_t;
    static constexpr double kFull = 32768.0;
    static constexpr int kAt[4] = {1, 2, 3, 0};
};
struct BGRA32FPixel {
    using File = float;  // the file depth it is written at
    using T = float;  // values as they are: no full scale
    static constexpr int kAt[4] = {2, 1, 0, 3};
};

template <class F>
void WithLayout(PixelLayout layout, F&& f) {
    switch (layout) {
        case PixelLayout::ARGB8:
            return f(ARGB8Pixel{});
        case PixelLayout::BGRA8:
            return f(BGRA8Pixel{});
        case PixelLayout::ARGB16:
            return f(ARGB16Pixel{});
        case PixelLayout::BGRA32F:
            return f(BGRA32FPixel{});
    }
}

// File samples (interleaved RGBA) into world P: 8-bit files into 8-bit worlds
// byte for byte, others scaled to the world's full scale, rounded and clamped
// for integer worlds, unchanged (integer files as 0..1) for float worlds.
template <class P, class S>
void FillWorld(const Image& image, const S* samples, World& world) {
    using T = typename P::T;
    for (int y = 0; y < image.height; ++y) {
        const S* s = samples + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 4;
        T* d = reinterpret_cast<T*>(world.Row(y));
        for (int x = 0; x < image.width; ++x, s += 4, d += 4) {
            for (int k = 0; k < 4; ++k) {
                if constexpr (std::is_same_v<T, float>) {
                    d[P::kAt[k]] = Sample<S>::InFloatWorld(s[k]);
                } else if constexpr (std::is_same_v<S, uint8_t> && std::is_same_v<T, uint8_t>) {
                    d[P::kAt[k]] = s[k];
                } else {
                    d[P::kAt[k]] = RoundClamp<T>(Sample<S>::InWorld(s[k], P::kFull), P::kFull);
                }
            }
        }
    }
}

// World P into file samples of the world's depth: 8-bit byte for byte,
// 16-bit 0..32768 back onto 0..65535, float unchanged.
template <class P, class S>
void ReadWorld(const World& world, S* samples) {
    using T = typename P::T;
    for (int y = 0; y < world.Height(); ++y) {
        const T* s = reinterpret_cast<const T*>(world.Row(y));
        S* d = samples + static_cast<size_t>(y) * static_cast<size_t>(world.Width()) * 4;
        for (int x = 0; x < world.Width(); ++x, s += 4, d += 4) {
            for (int k = 0; k < 4; ++k) {
                if constexpr (std::is_same_v<T, uint16_t>) {
                    d[k] = RoundClamp<S>(s[P::kAt[k]] * 65535.0 / 32768.0, 65535.0);
                } else {
                    d[k] = static_cast<S>(s[P::kAt[k]]);
                }
            }
        }
    }
}

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

const char* SampleTypeName(SampleType type) {
    switch (type) {
        case SampleType::U8:
            return "8-bit";
        case SampleType::U16:
            return "16-bit";
        case SampleType::F32:
            return "float";
    }
    return "?";
}

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

Image ReadImage(const std::string& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        if (access(path.c_str(), F_OK) != 0) {
            throw HostError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
        }
        throw HostError("cannot read " + Quoted(path) + ": " + Reason(OIIO::geterror()));
    }
    const OIIO::ImageSpec& spec = in->spec();
    const int nch = spec.nchannels;
    if (spec.width <= 0 || spec.height <= 0 || nch <= 0) {
        throw HostError("cannot read " + Quoted(path) + ": the image is empty");
    }
    if (spec.depth > 1) {
        throw HostError("cannot read " + Quoted(path) + ": volume images are not supported");
    }
    if (static_cast<uint64_t>(spec.width) * static_cast<uint64_t>(spec.height) > (uint64_t{1} << 28)) {
        throw HostError("cannot read " + Quoted(path) + ": " + std::to_string(spec.width) + "x" +
                        std::to_string(spec.height) + " is too large");
    }
    int alpha = spec.alpha_channel;
    if (alpha >= nch) alpha = -1;
    if (alpha < 0 && (nch == 2 || nch == 4)) alpha = nch - 1;  // unnamed fourth channel: alpha by convention

    const size_t pixels = static_cast<size_t>(spec.width) * static_cast<size_t>(spec.height);
    Image image;
    image.width = spec.width;
    image.height = spec.height;
    bool ok = false;
    if (spec.format == OIIO::TypeDesc::UINT8 && nch == 4 && alpha == 3) {
        image.type = SampleType::U8;
        image.u8.resize(pixels * 4);
        ok = in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT8, image.u8.data());
    } else if (spec.format == OIIO::TypeDesc::UINT8) {
        image.type = SampleType::U8;
        std::vector<uint8_t> raw(pixels * static_cast<size_t>(nch));
        ok = in->read_image(0, 0, 0, nch, OIIO::TypeDesc::UINT8, raw.data());
        if (ok) ToRgba<uint8_t>(raw, nch, alpha, pixels, 255, image.u8);
    } else if (spec.format == OIIO::TypeDesc::UINT16) {
        image.type = SampleType::U16;
        std::vector<uint16_t> raw(pixels * static_cast<size_t>(nch));
        ok = in->read_image(0, 0, 0, nch, OIIO::TypeDesc::UINT16, raw.data());
        if (ok) ToRgba<uint16_t>(raw, nch, alpha, pixels, 65535, image.u16);
    } else {
        image.type = SampleType::F32;
        std::vector<float> raw(pixels * static_cast<size_t>(nch));
        ok = in->read_image(0, 0, 0, nch, OIIO::TypeDesc::FLOAT, raw.data());
        if (ok) ToRgba<float>(raw, nch, alpha, pixels, 1.0f, image.f32);
    }
    if (!ok) {
        throw HostError("cannot read " + Quoted(path) + ": " + Reason(in->geterror()));
    }
    return image;
}

namespace {

OIIO::TypeDesc FileType(SampleType type) {
    return type == SampleType::U8 ? OIIO::TypeDesc::UINT8
           : type == SampleType::U16 ? OIIO::TypeDesc::UINT16
                                     : OIIO::TypeDesc::FLOAT;
}

// Writes `data` (width x height RGBA of `type`) into `temp` in the format
// `path` names. Throws HostError when the format has no alpha, cannot hold the
// depth or the write fails.
void WriteInto(const std::string& path, const std::string& temp, int width, int height, SampleType type,
               const void* data) {
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        throw HostError("cannot write " + Quoted(path) + ": " + Reason(OIIO::geterror()));
    }
    const std::string format = out->format_name();
    if (!out->supports("alpha")) {
        throw HostError("cannot write " + Quoted(path) + ": the " + format +
                        " format has no alpha channel (use PNG, TIFF or EXR)");
    }
    OIIO::ImageSpec spec(width, height, 4, FileType(type));
    spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!out->open(temp, spec)) {
        throw HostError("cannot write " + Quoted(path) + ": " + Reason(out->geterror()));
    }
    // Formats silently narrow what they cannot store; refuse instead. The data
    // is still written so the format's writer closes cleanly, then discarded.
    const OIIO::TypeDesc stored = out->spec().format;
    const bool holds = Holds(stored, type);
    const bool written = out->write_image(FileType(type), data) && out->close();
    const std::string reason = written ? std::string() : Reason(out->geterror());
    out.reset();
    if (!holds) {
        throw HostError("cannot write " + Quoted(path) + ": the " + format + " format cannot hold " +
                        SampleTypeName(type) + " samples (it would store " + stored.c_str() + "); use " +
                        (type == SampleType::F32 ? "EXR or TIFF" : type == SampleType::U16 ? "PNG or TIFF"
                                                                                           : "PNG, TIFF or EXR"));
    }
    if (!written) {
        throw HostError("cannot write " + Quoted(path) + ": " + reason);
    }
}

const void* SampleData(const Image& image) {
    return WithSamples(image, [](const auto& samples) { return static_cast<const void*>(samples.data()); });
}

}  // namespace

void CheckWritable(const std::string& path, SampleType type) {
    const Image probe = Image::Make(1, 1, type);
    const std::string temp = TempPathBeside(path);
    try {
        WriteInto(path, temp, 1, 1, type, SampleData(probe));
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
    std::remove(temp.c_str());
}

void WriteImage(const std::string& path, const Image& image) {
    WriteAtomically(path, [&](const std::string& temp) {
        WriteInto(path, temp, image.width, image.height, image.type, SampleData(image));
    });
}

World ImageToWorld(const Image& image, PixelLayout layout, size_t row_padding) {
    World world(layout, image.width, image.height, row_padding);
    WithSamples(image, [&](const auto& samples) {
        WithLayout(layout, [&](auto pixel) { FillWorld<decltype(pixel)>(image, samples.data(), world); });
    });
    return world;
}

Image WorldToImage(const World& world) {
    Image image;
    WithLayout(world.Layout(), [&](auto pixel) {
        using P = decltype(pixel);
        using S = typename P::File;
        image = Image::Make(world.Width(), world.Height(), TypeOf<S>());
        ReadWorld<P>(world, Samples<S>(image));
    });
    return image;
}

std::vector<float> NormalisedRGBA(const Image& image) {
    std::vector<float> out(image.Samples());
    WithSamples(image, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(Sample<S>::Unit(samples[i]));
    });
    return out;
}

Image DownsampleImage(const Image& image, int n) {
    if (n < 1) {
        throw HostError("downsample factor " + std::to_string(n) + " must be at least 1");
    }
    if (n == 1) {
        return image;
    }
    Image out = Image::Make((image.width + n - 1) / n, (image.height + n - 1) / n, image.type);
    WithSamples(image, [&](const auto& samples) {
        using S = typename std::decay_t<decltype(samples)>::value_type;
        BoxFilter<S>(image, samples.data(), n, out, Samples<S>(out));
    });
    return out;
}

}  // namespace vhost
