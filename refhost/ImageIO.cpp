#include "ImageIO.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <OpenImageIO/imageio.h>

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

std::string TempNameBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + base + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
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
    switch (type) {
        case SampleType::U8:
            return u8[i] / 255.0;
        case SampleType::U16:
            return u16[i] / 65535.0;
        case SampleType::F32:
            return f32[i];
    }
    return 0.0;
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

// Writes `data` (width x height RGBA of `type`) to a temp file beside `path`
// and returns the temp file's name. Throws HostError, leaving nothing behind,
// when the format has no alpha, cannot hold the depth or the write fails.
std::string WriteTemp(const std::string& path, int width, int height, SampleType type, const void* data) {
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

    const std::string temp = TempNameBeside(path);
    if (!out->open(temp, spec)) {
        const std::string reason = Reason(out->geterror());
        std::remove(temp.c_str());
        throw HostError("cannot write " + Quoted(path) + ": " + reason);
    }
    // Formats silently narrow what they cannot store; refuse instead. The data
    // is still written so the format's writer closes cleanly, then discarded.
    const OIIO::TypeDesc stored = out->spec().format;
    const bool holds = Holds(stored, type);
    const bool written = out->write_image(FileType(type), data) && out->close();
    const std::string reason = written ? std::string() : Reason(out->geterror());
    out.reset();
    if (!holds) {
        std::remove(temp.c_str());
        throw HostError("cannot write " + Quoted(path) + ": the " + format + " format cannot hold " +
                        SampleTypeName(type) + " samples (it would store " + stored.c_str() + "); use " +
                        (type == SampleType::F32 ? "EXR or TIFF" : type == SampleType::U16 ? "PNG or TIFF"
                                                                                           : "PNG, TIFF or EXR"));
    }
    if (!written) {
        std::remove(temp.c_str());
        throw HostError("cannot write " + Quoted(path) + ": " + reason);
    }
    return temp;
}

}  // namespace

void CheckWritable(const std::string& path, SampleType type) {
    const float zeros[4] = {0, 0, 0, 0};
    const std::string temp = WriteTemp(path, 1, 1, type, zeros);
    std::remove(temp.c_str());
}

void WriteImage(const std::string& path, const Image& image) {
    const void* data = image.type == SampleType::U8    ? static_cast<const void*>(image.u8.data())
                       : image.type == SampleType::U16 ? static_cast<const void*>(image.u16.data())
                                                       : static_cast<const void*>(image.f32.data());
    const std::string temp = WriteTemp(path, image.width, image.height, image.type, data);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        std::remove(temp.c_str());
        throw HostError("cannot write " + Quoted(path) + ": " + std::strerror(err));
    }
}

World ImageToWorld(const Image& image, PixelLayout layout, size_t row_padding) {
    World world(layout, image.width, image.height, row_padding);
    if (image.type == SampleType::U8 && (layout == PixelLayout::ARGB8 || layout == PixelLayout::BGRA8)) {
        // The common case, byte for byte.
        const bool argb = layout == PixelLayout::ARGB8;
        for (int y = 0; y < image.height; ++y) {
            const uint8_t* s = image.u8.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 4;
            unsigned char* d = world.Row(y);
            for (int x = 0; x < image.width; ++x, s += 4, d += 4) {
                if (argb) {
                    d[0] = s[3], d[1] = s[0], d[2] = s[1], d[3] = s[2];
                } else {
                    d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
                }
            }
        }
        return world;
    }
    const double full = world.FullScale();
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 4;
            double c[4];
            for (int k = 0; k < 4; ++k) {
                switch (image.type) {
                    case SampleType::U8:
                        c[k] = layout == PixelLayout::BGRA32F ? double(float(image.u8[i + k]) / 255.0f)
                                                              : image.u8[i + k] * full / 255.0;
                        break;
                    case SampleType::U16:
                        c[k] = layout == PixelLayout::BGRA32F ? double(float(image.u16[i + k]) / 65535.0f)
                                                              : image.u16[i + k] * full / 65535.0;
                        break;
                    case SampleType::F32:
                        // Float samples go to float worlds unchanged; integer worlds round and clamp.
                        c[k] = layout == PixelLayout::BGRA32F ? double(image.f32[i + k]) : image.f32[i + k] * full;
                        break;
                }
            }
            world.Set(x, y, Rgba{c[0], c[1], c[2], c[3]});
        }
    }
    return world;
}

Image WorldToImage(const World& world) {
    const PixelLayout layout = world.Layout();
    const SampleType type = layout == PixelLayout::ARGB16    ? SampleType::U16
                            : layout == PixelLayout::BGRA32F ? SampleType::F32
                                                             : SampleType::U8;
    Image image = Image::Make(world.Width(), world.Height(), type);
    if (type == SampleType::U8) {
        const bool argb = layout == PixelLayout::ARGB8;
        for (int y = 0; y < world.Height(); ++y) {
            const unsigned char* s = world.Row(y);
            uint8_t* d = image.u8.data() + static_cast<size_t>(y) * static_cast<size_t>(world.Width()) * 4;
            for (int x = 0; x < world.Width(); ++x, s += 4, d += 4) {
                if (argb) {
                    d[0] = s[1], d[1] = s[2], d[2] = s[3], d[3] = s[0];
                } else {
                    d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
                }
            }
        }
        return image;
    }
    for (int y = 0; y < world.Height(); ++y) {
        for (int x = 0; x < world.Width(); ++x) {
            const Rgba p = world.Get(x, y);
            const double c[4] = {p.r, p.g, p.b, p.a};
            const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(world.Width()) + static_cast<size_t>(x)) * 4;
            for (int k = 0; k < 4; ++k) {
                switch (type) {
                    case SampleType::U8:
                        image.u8[i + k] = static_cast<uint8_t>(c[k]);
                        break;
                    case SampleType::U16:
                        image.u16[i + k] = RoundClamp<uint16_t>(c[k] * 65535.0 / 32768.0, 65535.0);
                        break;
                    case SampleType::F32:
                        image.f32[i + k] = static_cast<float>(c[k]);
                        break;
                }
            }
        }
    }
    return image;
}

Image DownsampleImage(const Image& image, int n) {
    if (n < 1) {
        throw HostError("downsample factor " + std::to_string(n) + " must be at least 1");
    }
    if (n == 1) {
        return image;
    }
    const int w = (image.width + n - 1) / n;
    const int h = (image.height + n - 1) / n;
    Image out = Image::Make(w, h, image.type);
    const auto get = [&](size_t i) -> double {
        switch (image.type) {
            case SampleType::U8:
                return image.u8[i];
            case SampleType::U16:
                return image.u16[i];
            case SampleType::F32:
                return image.f32[i];
        }
        return 0.0;
    };
    for (int oy = 0; oy < h; ++oy) {
        for (int ox = 0; ox < w; ++ox) {
            double sum[4] = {0, 0, 0, 0};
            double weighted[3] = {0, 0, 0};
            int count = 0;
            for (int y = oy * n; y < std::min(image.height, oy * n + n); ++y) {
                for (int x = ox * n; x < std::min(image.width, ox * n + n); ++x) {
                    const size_t i =
                        (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 4;
                    const double a = get(i + 3);
                    for (int k = 0; k < 3; ++k) {
                        sum[k] += get(i + k);
                        weighted[k] += get(i + k) * a;
                    }
                    sum[3] += a;
                    ++count;
                }
            }
            double c[4];
            for (int k = 0; k < 3; ++k) c[k] = sum[3] != 0.0 ? weighted[k] / sum[3] : sum[k] / count;
            c[3] = sum[3] / count;
            const size_t o = (static_cast<size_t>(oy) * static_cast<size_t>(w) + static_cast<size_t>(ox)) * 4;
            for (int k = 0; k < 4; ++k) {
                switch (image.type) {
                    case SampleType::U8:
                        out.u8[o + k] = RoundClamp<uint8_t>(c[k], 255.0);
                        break;
                    case SampleType::U16:
                        out.u16[o + k] = RoundClamp<uint16_t>(c[k], 65535.0);
                        break;
                    case SampleType::F32:
                        out.f32[o + k] = static_cast<float>(c[k]);
                        break;
                }
            }
        }
    }
    return out;
}

}  // namespace vhost
