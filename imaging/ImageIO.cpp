#include "imaging/ImageIO.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include <OpenImageIO/imageio.h>

#include "imaging/AtomicFile.h"
#include "host/ExitGuard.h"
#include "host/HostError.h"
#include "imaging/ImageSource.h"
#include "imaging/LibraryMessages.h"

namespace vimaging {

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Decoders report a file cut short in many words, some only as a warning.
bool MentionsMissingData(const std::string& text) {
    const std::string lower = Lower(text);
    for (const char* missing : {"end of file", "premature end", "unexpected end", "read error", "truncat",
                                "not enough data", "short read"}) {
        if (lower.find(missing) != std::string::npos) return true;
    }
    return false;
}

// Data that is there but wrong, which decoders also call a "read error".
bool MentionsCorruptData(const std::string& text) {
    const std::string lower = Lower(text);
    for (const char* corrupt : {"invalid", "incorrect", "crc", "corrupt", "damaged", "bad huffman"}) {
        if (lower.find(corrupt) != std::string::npos) return true;
    }
    return false;
}

// One line for the user from what OpenImageIO and the libraries under it said.
std::string Reason(const std::string& error, const std::string& printed = "") {
    if (MentionsCorruptData(error + "\n" + printed)) {
        const std::string line = FirstLine(error).empty() ? FirstLine(printed) : FirstLine(error);
        return "the file is corrupt (" + line + ")";
    }
    if (MentionsMissingData(error + "\n" + printed)) return "the file is truncated (its image data ends early)";
    for (const std::string& text : {error, printed}) {
        std::string line = FirstLine(text);
        if (!line.empty()) return line;
    }
    return "unknown error";
}

template <class T>
T RoundClamp(double v, double hi) {
    if (!(v > 0.0)) return 0;
    return v >= hi ? static_cast<T>(hi) : static_cast<T>(std::lround(v));
}

template <class S>
constexpr SampleType TypeOf() {
    return std::is_same_v<S, uint8_t> ? SampleType::U8 : std::is_same_v<S, uint16_t> ? SampleType::U16 : SampleType::F32;
}

template <class S>
OIIO::TypeDesc DescOf() {
    return std::is_same_v<S, uint8_t> ? OIIO::TypeDesc::UINT8
           : std::is_same_v<S, uint16_t> ? OIIO::TypeDesc::UINT16
                                         : OIIO::TypeDesc::FLOAT;
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
uint8_t* Samples<uint8_t>(Image& image) { return image.u8.data(); }
template <>
uint16_t* Samples<uint16_t>(Image& image) { return image.u16.data(); }
template <>
float* Samples<float>(Image& image) { return image.f32.data(); }

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

// 16-bit file samples in a world of 0..32768 and back.
uint16_t ToWorld16(uint16_t v) { return RoundClamp<uint16_t>(v * 32768.0 / 65535.0, 32768.0); }
uint16_t FromWorld16(uint16_t w) { return RoundClamp<uint16_t>(w * 65535.0 / 32768.0, 65535.0); }

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
            } else {
                d[P::kAt[k]] = RoundClamp<T>(Sample<S>::InWorld(s[k], P::kFull), P::kFull);
            }
        }
    }
}

// The two bits of each sample of a 16-bit row that a 16-bit world cannot hold.
void KeepLowBits(const uint16_t* s, int width, uint8_t* codes) {
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

// Rows per band read or written at once: about 4 MB, so a frame is never held twice.
int BandRows(int width, int channels, size_t sample_bytes, int height) {
    const size_t row = std::max<size_t>(1, static_cast<size_t>(width) * static_cast<size_t>(channels) * sample_bytes);
    return static_cast<int>(std::clamp<size_t>((size_t{4} << 20) / row, 1, static_cast<size_t>(height)));
}

// ---------------------------------------------------------------- reading

bool IsColourName(const std::string& name, const char* base) {
    return name == base || Lower(name) == Lower(base);
}

// Red, green, blue and alpha by the channels' names: plain R, G, B, Y and A
// first, else the first layer that has them ("diffuse.R"), else by position
// for files whose channels have no known names. Everything else is an extra.
void MapChannels(ImageSource& source) {
    const OIIO::ImageSpec& spec = source.spec;
    const int n = spec.nchannels;
    const auto base = [](const std::string& name) {
        const size_t dot = name.rfind('.');
        return dot == std::string::npos ? name : name.substr(dot + 1);
    };
    const auto layer = [](const std::string& name) {
        const size_t dot = name.rfind('.');
        return dot == std::string::npos ? std::string() : name.substr(0, dot);
    };
    const auto find = [&](const std::string& in_layer) {
        int found[5] = {-1, -1, -1, -1, -1};  // R G B A Y
        for (int i = 0; i < n; ++i) {
            const std::string& name = spec.channelnames[static_cast<size_t>(i)];
            if (layer(name) != in_layer) continue;
            const std::string b = base(name);
            const char* names[5] = {"R", "G", "B", "A", "Y"};
            for (int k = 0; k < 5; ++k) {
                if (found[k] < 0 && IsColourName(b, names[k])) found[k] = i;
            }
            if (found[3] < 0 && (b == "Alpha" || b == "alpha")) found[3] = i;
        }
        return std::vector<int>(found, found + 5);
    };
    std::vector<int> found = find("");
    if (spec.alpha_channel >= 0 && spec.alpha_channel < n && found[3] < 0) found[3] = spec.alpha_channel;
    const bool any = std::any_of(found.begin(), found.end(), [](int i) { return i >= 0; });
    if (!any) {
        for (int i = 0; i < n && found == std::vector<int>(5, -1); ++i) {
            const std::string& name = spec.channelnames[static_cast<size_t>(i)];
            if (!layer(name).empty()) {
                const std::vector<int> in_layer = find(layer(name));
                if (in_layer[0] >= 0 || in_layer[4] >= 0) found = in_layer;
            }
        }
    }
    if (std::all_of(found.begin(), found.end(), [](int i) { return i < 0; })) {
        // No names we know: by position, as the file's own reader lays them out.
        if (n == 1 || n == 2) found[4] = 0;
        if (n >= 3) found[0] = 0, found[1] = 1, found[2] = 2;
        if (n == 2 || n >= 4) found[3] = n == 2 ? 1 : 3;
    }
    if (found[0] < 0 && found[1] < 0 && found[2] < 0 && found[4] >= 0) {
        source.grey = true;
        found[0] = found[1] = found[2] = found[4];
    }
    for (int k = 0; k < 4; ++k) source.channel[k] = found[static_cast<size_t>(k)];
    for (int i = 0; i < n; ++i) {
        if (std::find(source.channel, source.channel + 4, i) == source.channel + 4) source.extras.push_back(i);
    }
}

}  // namespace

struct ImageReader::Impl {
    std::unique_ptr<OIIO::ImageInput> in;
    std::shared_ptr<ImageSource> source;

    [[noreturn]] void Fail(const std::string& reason) const {
        throw vhost::HostError("cannot read " + Quoted(source->path) + ": " + reason);
    }

    // Reads every row as straight RGBA of S and hands it to `sink(y, rgba)`;
    // carried channels go to the source. Any error or warning about missing
    // data from the decoder fails, even when it returned the rows.
    template <class S, class Sink>
    void ReadRows(Sink&& sink) {
        if (!in) Fail("the pixels have already been read");
        const OIIO::ImageSpec& spec = source->spec;
        const int width = spec.width, height = spec.height, nch = spec.nchannels;
        const int band = BandRows(width, nch, sizeof(S), height);
        std::vector<S> raw(static_cast<size_t>(width) * static_cast<size_t>(nch) * static_cast<size_t>(band));
        std::vector<S> rgba(static_cast<size_t>(width) * 4);
        const size_t plane = static_cast<size_t>(width) * static_cast<size_t>(height);
        source->extra_samples.assign(plane * source->extras.size(), 0.0f);
        const int* at = source->channel;
        vhost::ExitGuard guard("the image library", "while reading " + Quoted(source->path));
        LibraryMessages messages;
        for (int y0 = 0; y0 < height; y0 += band) {
            const int y1 = std::min(height, y0 + band);
            if (!in->read_scanlines(0, 0, spec.y + y0, spec.y + y1, 0, 0, nch, DescOf<S>(), raw.data())) {
                Fail(Reason(in->geterror(), messages.Take()));
            }
            for (int y = y0; y < y1; ++y) {
                const S* p = raw.data() + static_cast<size_t>(y - y0) * static_cast<size_t>(width) * nch;
                S* o = rgba.data();
                for (int x = 0; x < width; ++x, p += nch, o += 4) {
                    for (int k = 0; k < 3; ++k) o[k] = at[k] >= 0 ? p[at[k]] : S{0};
                    o[3] = at[3] >= 0 ? p[at[3]] : Sample<S>::kOpaque;
                    if (source->associated) {
                        for (int k = 0; k < 3; ++k) o[k] = Sample<S>::Divide(o[k], o[3]);
                    }
                }
                for (size_t e = 0; e < source->extras.size(); ++e) {
                    float* plane_row = source->extra_samples.data() + e * plane + static_cast<size_t>(y) * width;
                    const S* q = raw.data() + static_cast<size_t>(y - y0) * static_cast<size_t>(width) * nch +
                                 source->extras[e];
                    for (int x = 0; x < width; ++x, q += nch) plane_row[x] = static_cast<float>(Sample<S>::Unit(*q));
                }
                sink(y, rgba.data());
            }
        }
        const std::string error = in->geterror();
        const std::string printed = messages.Take();
        in.reset();
        if (!error.empty()) Fail(Reason(error, printed));
        if (MentionsMissingData(printed)) Fail(Reason("", printed));
    }
};

ImageReader::ImageReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->source = std::make_shared<ImageSource>();
    ImageSource& source = *impl_->source;
    source.path = path;
    CheckReadableFile(path);

    vhost::ExitGuard guard("the image library", "while reading " + Quoted(path));
    LibraryMessages messages;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    impl_->in = OIIO::ImageInput::open(path, &config);
    if (!impl_->in) impl_->Fail(Reason(OIIO::geterror(), messages.Take()));
    OIIO::ImageInput& in = *impl_->in;
    source.format = in.format_name();
    source.spec = in.spec();
    const OIIO::ImageSpec& spec = source.spec;
    if (spec.width <= 0 || spec.height <= 0 || spec.nchannels <= 0) impl_->Fail("the image is empty");
    if (spec.depth > 1) impl_->Fail("volume images are not supported");
    if (static_cast<uint64_t>(spec.width) * static_cast<uint64_t>(spec.height) > (uint64_t{1} << 28)) {
        impl_->Fail(std::to_string(spec.width) + "x" + std::to_string(spec.height) + " is too large");
    }
    // Taking the first of several images would drop the others without a word.
    // Counting stops at 16: seeking through a movie's frames decodes them.
    // They are counted on a reader of their own: some (WebP) cannot seek back to the first.
    int images = 1;
    if (auto counter = OIIO::ImageInput::open(path, &config)) {
        while (images <= 16 && counter->seek_subimage(images, 0)) ++images;
        (void)counter->geterror();
    }
    (void)OIIO::geterror();
    if (images > 1) {
        impl_->Fail("it holds " + (images > 16 ? std::string("more than 16") : std::to_string(images)) +
                    " images and vellora renders one (take one out with: oiiotool " + path + " --subimage N -o FILE)");
    }
    (void)messages.Take();

    MapChannels(source);
    // The depth of colour and alpha decides the file's; 8-bit channels widen exactly.
    bool all8 = true, all16 = true, all_half = true, any = false;
    for (int k = 0; k < 4; ++k) {
        if (source.channel[k] < 0) continue;
        const OIIO::TypeDesc t = spec.channelformat(source.channel[k]);
        any = true;
        all8 = all8 && t == OIIO::TypeDesc::UINT8;
        all16 = all16 && (t == OIIO::TypeDesc::UINT8 || t == OIIO::TypeDesc::UINT16);
        all_half = all_half && t == OIIO::TypeDesc::HALF;
    }
    source.type = !any ? SampleType::F32 : all8 ? SampleType::U8 : all16 ? SampleType::U16 : SampleType::F32;
    source.half = any && all_half;
    source.associated = source.channel[3] >= 0 && spec.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
}

ImageReader::~ImageReader() = default;
ImageReader::ImageReader(ImageReader&&) noexcept = default;
ImageReader& ImageReader::operator=(ImageReader&&) noexcept = default;

int ImageReader::Width() const { return impl_->source->spec.width; }
int ImageReader::Height() const { return impl_->source->spec.height; }
SampleType ImageReader::Type() const { return impl_->source->type; }
std::shared_ptr<const ImageSource> ImageReader::Source() const { return impl_->source; }
const std::string& ImageReader::Path() const { return impl_->source->path; }

void ImageReader::ReadInto(vhost::World& world) {
    if (world.Width() != Width() || world.Height() != Height()) {
        throw vhost::HostError("cannot read " + Quoted(Path()) + " into a world of another size");
    }
    ImageSource& source = *impl_->source;
    WithType(source.type, [&](auto sample) {
        using S = decltype(sample);
        WithLayout(world.Layout(), [&](auto pixel) {
            using P = decltype(pixel);
            constexpr bool keep_bits = std::is_same_v<S, uint16_t> && std::is_same_v<typename P::T, uint16_t>;
            if (keep_bits) source.low_bits.assign(static_cast<size_t>(Width()) * Height(), 0);
            // Generic, so the branch below is discarded for other sample types.
            impl_->ReadRows<S>([&](int y, const auto* rgba) {
                FillWorldRow<P, S>(rgba, world.Width(), world.Row(y));
                if constexpr (keep_bits) {
                    KeepLowBits(rgba, world.Width(), source.low_bits.data() + static_cast<size_t>(y) * Width());
                }
            });
        });
    });
}

Image ImageReader::Read() {
    Image image = Image::Make(Width(), Height(), Type());
    image.source = impl_->source;
    WithType(image.type, [&](auto sample) {
        using S = decltype(sample);
        S* samples = Samples<S>(image);
        impl_->ReadRows<S>([&](int y, const S* rgba) {
            std::copy(rgba, rgba + static_cast<size_t>(image.width) * 4,
                      samples + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 4);
        });
    });
    return image;
}

Image ReadImage(const std::string& path) { return ImageReader(path).Read(); }

// ---------------------------------------------------------------- writing

namespace {

// Attributes that describe the old file's encoding rather than the picture.
bool KeepsAttribute(const std::string& name) {
    static const char* const kDropped[] = {
        "oiio:UnassociatedAlpha", "oiio:BitsPerSample", "oiio:ConstantColor", "oiio:AverageColor", "oiio:SHA-1",
        "oiio:subimages", "oiio:Movie", "openexr:chunkCount", "tiff:Compression", "tiff:RowsPerStrip",
        "tiff:PhotometricInterpretation", "tiff:PlanarConfiguration", "planarconfig", "CompressionQuality",
        "compression"};
    for (const char* dropped : kDropped) {
        if (name == dropped) return false;
    }
    return name.rfind("jpeg:", 0) != 0;
}

// The source's compression, when the output is the same format and it loses nothing.
std::string LosslessCompression(const ImageSource& source, const char* format) {
    const std::string compression = Lower(source.spec.get_string_attribute("compression"));
    const std::string method = compression.substr(0, compression.find(':'));
    if (source.format != format || method.empty()) return "";
    static const char* const kLossless[] = {"none", "rle", "zip", "zips", "piz", "lzw", "packbits"};
    for (const char* lossless : kLossless) {
        if (method == lossless) return method;
    }
    return "";
}

// A label for a format not in the table ("GIF", "WebP").
std::string FormatLabel(const std::string& name) {
    if (const OutputFormat* format = FindOutputFormat(name)) return format->label;
    if (name == "webp") return "WebP";
    if (name == "heif") return "HEIC";
    if (name == "openexr") return "OpenEXR";
    std::string label = name;
    for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return label;
}

std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + items[i];
    return text;
}

int FloorDiv(int v, int n) { return v >= 0 ? v / n : -((-v + n - 1) / n); }

// How an image becomes a file of a given format.
struct OutputPlan {
    const OutputFormat* format = nullptr;
    OIIO::ImageSpec spec;
    // Per output channel: 0..3 red, green, blue, alpha; -1 - k the source's extra k.
    std::vector<int> take;
    bool associated = false;
    bool extras = false;    // the source's carried channels are written
    bool low_bits = false;  // 16-bit samples get back the bits a 16-bit world lost
    std::vector<std::string> warnings;
};

OutputPlan PlanOutput(const std::string& path, SampleType type, const WriteOptions& options, int width, int height) {
    const auto fail = [&](const std::string& reason) {
        throw vhost::HostError("cannot write " + Quoted(path) + ": " + reason);
    };
    OutputPlan plan;
    std::string name;
    {
        LibraryMessages messages;
        auto out = OIIO::ImageOutput::create(path);
        if (!out) {
            (void)OIIO::geterror();
            const size_t dot = path.rfind('.');
            const size_t slash = path.rfind('/');
            const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
            const bool only_extension = has_extension && dot == (slash == std::string::npos ? 0 : slash + 1);
            if (only_extension) {
                fail("the name is only an extension; name the file, as in out" + path.substr(dot));
            }
            fail((has_extension ? "no image format is known by the extension '" + path.substr(dot) + "'"
                                : std::string("the name has no extension to choose an image format")) +
                 "; use " + Alternatives(type, options.picture));
        }
        name = out->format_name();
        if (!out->supports("alpha") && !options.picture) {
            fail("the " + FormatLabel(name) + " format has no alpha channel; for " + SampleTypeName(type) + " use " +
                 Alternatives(type, false));
        }
    }
    plan.format = FindOutputFormat(name);
    if (!plan.format || !Keeps(*plan.format, type, options.picture)) {
        if (options.picture) {
            fail("the " + FormatLabel(name) + " format does not keep an 8-bit picture exactly; use " +
                 Alternatives(type, true));
        }
        const bool some_depth = plan.format && (plan.format->u8 || plan.format->u16 || plan.format->f32);
        fail("the " + FormatLabel(name) + " format does not keep " + SampleTypeName(type) +
             (some_depth ? " samples" : " RGBA with straight alpha exactly") + "; for " + SampleTypeName(type) +
             " use " + Alternatives(type, false));
    }
    const OutputFormat& format = *plan.format;
    const ImageSource* source = options.source.get();
    const int n = std::max(1, options.downsample);
    // The source's carried channels and lost bits fit only a frame of its own size.
    const bool whole = source && n == 1 && width == source->spec.width && height == source->spec.height;

    // Channels: the source's own where the format holds names, grey as grey where it can.
    std::vector<std::string> names;
    std::vector<OIIO::TypeDesc> formats;
    OIIO::TypeDesc storage = type == SampleType::U8    ? OIIO::TypeDesc::UINT8
                             : type == SampleType::U16 ? OIIO::TypeDesc::UINT16
                                                       : OIIO::TypeDesc::FLOAT;
    if (type == SampleType::F32 && options.keep_source_storage && source && source->half && format.half) {
        storage = OIIO::TypeDesc::HALF;
    }
    const auto add = [&](int take, const std::string& channel, OIIO::TypeDesc desc) {
        plan.take.push_back(take);
        names.push_back(channel);
        formats.push_back(desc);
    };
    int alpha_index = -1;
    if (options.picture) {
        for (int k = 0; k < 3; ++k) add(k, std::string(1, "RGB"[k]), storage);
    } else if (source && format.named_channels && (whole || source->extras.empty())) {
        const OIIO::ImageSpec& in = source->spec;
        for (int i = 0; i < in.nchannels; ++i) {
            const std::string& channel = in.channelnames[static_cast<size_t>(i)];
            if (i == source->channel[3]) {
                alpha_index = static_cast<int>(plan.take.size());
                add(3, channel, storage);
            } else if (const int* at = std::find(source->channel, source->channel + 3, i); at != source->channel + 3) {
                add(static_cast<int>(at - source->channel), channel, storage);
            } else {
                const size_t k = static_cast<size_t>(std::find(source->extras.begin(), source->extras.end(), i) -
                                                     source->extras.begin());
                OIIO::TypeDesc desc = in.channelformat(i);
                if (desc != OIIO::TypeDesc::HALF && desc != OIIO::TypeDesc::FLOAT && desc != OIIO::TypeDesc::UINT32) {
                    desc = OIIO::TypeDesc::FLOAT;
                }
                add(-1 - static_cast<int>(k), channel, desc);
                plan.extras = true;
            }
        }
        if (alpha_index < 0) {
            alpha_index = static_cast<int>(plan.take.size());
            add(3, "A", storage);
        }
    } else if (source && source->grey && format.grey) {
        add(0, "Y", storage);
        alpha_index = 1;
        add(3, "A", storage);
    } else {
        for (int k = 0; k < 4; ++k) add(k, std::string(1, "RGBA"[k]), storage);
        alpha_index = 3;
    }
    if (source && !source->extras.empty() && !plan.extras) {
        std::vector<std::string> dropped;
        for (int i : source->extras) dropped.push_back(source->spec.channelnames[static_cast<size_t>(i)]);
        plan.warnings.push_back(Quoted(path) + (n > 1 ? " is downsampled, so it" : "") + " cannot keep channel" +
                                (dropped.size() > 1 ? "s " : " ") + Join(dropped) + " of " + Quoted(source->path) +
                                (n > 1 ? "" : "; OpenEXR can"));
    }

    plan.spec = OIIO::ImageSpec(width, height, static_cast<int>(names.size()), storage);
    plan.spec.channelnames = names;
    if (std::any_of(formats.begin(), formats.end(), [&](OIIO::TypeDesc t) { return t != storage; })) {
        plan.spec.channelformats = formats;
    }
    plan.spec.alpha_channel = alpha_index;
    plan.associated = !options.picture && (format.alpha == AlphaConvention::Premultiplied ||
                                           (format.alpha == AlphaConvention::Either && source && source->associated));

    if (source && !options.picture) {
        for (const OIIO::ParamValue& attribute : source->spec.extra_attribs) {
            if (KeepsAttribute(attribute.name().string())) plan.spec.extra_attribs.push_back(attribute);
        }
        const std::string compression = LosslessCompression(*source, format.name);
        if (!compression.empty()) plan.spec.attribute("compression", compression);
        plan.low_bits = whole && type == SampleType::U16 && !source->low_bits.empty();

        if (source->HasWindow()) {
            const OIIO::ImageSpec& in = source->spec;
            const auto scaled = [&](int v) { return FloorDiv(v, n); };
            const auto scaled_size = [&](int v) { return (v + n - 1) / n; };
            LibraryMessages messages;
            auto out = OIIO::ImageOutput::create(path);
            const bool display = out && out->supports("displaywindow");
            const bool origin = out && out->supports("origin") && (in.x >= 0 && in.y >= 0);
            if (display || origin) {
                plan.spec.x = scaled(in.x);
                plan.spec.y = scaled(in.y);
            }
            if (display) {
                plan.spec.full_x = scaled(in.full_x);
                plan.spec.full_y = scaled(in.full_y);
                plan.spec.full_width = scaled_size(in.full_width);
                plan.spec.full_height = scaled_size(in.full_height);
            } else {
                plan.spec.full_x = plan.spec.x;
                plan.spec.full_y = plan.spec.y;
                const bool lost = in.full_x != in.x || in.full_y != in.y || in.full_width != in.width ||
                                  in.full_height != in.height || !origin;
                if (lost) {
                    plan.warnings.push_back(
                        Quoted(path) + " cannot keep the " + (origin ? "display window " : "data window at (" +
                        std::to_string(in.x) + "," + std::to_string(in.y) + ") in the display window ") +
                        std::to_string(in.full_width) + "x" + std::to_string(in.full_height) + " of " +
                        Quoted(source->path) + "; OpenEXR can");
                }
            }
        }
    }
    if (!plan.associated && alpha_index >= 0) plan.spec.attribute("oiio:UnassociatedAlpha", 1);
    if (options.picture && format.lossy) {
        // The overlay's one-pixel strokes lose their colour to halved chroma.
        plan.spec.attribute("CompressionQuality", 95);
        plan.spec.attribute("jpeg:subsampling", "4:4:4");
    }
    return plan;
}

// The image format a file name asks for, or "" when it asks for none.
std::string FormatByName(const std::string& file) {
    LibraryMessages messages;
    auto out = OIIO::ImageOutput::create(file);
    if (!out) {
        (void)OIIO::geterror();
        return "";
    }
    return out->format_name();
}

// FindOutputTarget, refusing a link whose name asks for another format than
// its target's: "x.tif" pointing at "real.png" would put TIFF data in a .png.
OutputTarget FindImageTarget(const std::string& path) {
    OutputTarget target = FindOutputTarget(path, false);
    if (target.file != path) {
        const std::string asked = FormatByName(path), held = FormatByName(target.file);
        if (!asked.empty() && !held.empty() && asked != held) {
            throw vhost::HostError("cannot write " + Quoted(path) + ": it is a link to " + Quoted(target.file) +
                            ", whose name asks for the " + FormatLabel(held) + " format, not " + FormatLabel(asked) +
                            "; name the file itself");
        }
    }
    return target;
}

// Writes rows given by `row(y, rgba)` (straight RGBA of S) into `temp` as
// `plan` says, then checks the file reads back with the size and channels written.
template <class S, class Row>
void WriteRows(const std::string& path, const std::string& temp, const OutputPlan& plan, const ImageSource* source,
               Row&& row) {
    const auto fail = [&](const std::string& reason) {
        throw vhost::HostError("cannot write " + Quoted(path) + ": " + reason);
    };
    LibraryMessages messages;
    auto out = OIIO::ImageOutput::create(path);
    if (!out || !out->open(temp, plan.spec)) {
        fail(Reason(out ? out->geterror() : OIIO::geterror(), messages.Take()));
    }
    const OIIO::ImageSpec& spec = plan.spec;
    const int width = spec.width, nch = spec.nchannels;
    const int band = BandRows(width, nch, sizeof(S), spec.height);
    std::vector<S> rgba(static_cast<size_t>(width) * 4);
    std::vector<S> buffer(static_cast<size_t>(width) * static_cast<size_t>(nch) * static_cast<size_t>(band));
    const size_t plane = static_cast<size_t>(source ? source->spec.width : 0) * (source ? source->spec.height : 0);
    const int alpha = spec.alpha_channel;
    for (int y0 = 0; y0 < spec.height; y0 += band) {
        const int y1 = std::min(spec.height, y0 + band);
        for (int y = y0; y < y1; ++y) {
            row(y, rgba.data());
            S* d = buffer.data() + static_cast<size_t>(y - y0) * static_cast<size_t>(width) * nch;
            const S* s = rgba.data();
            for (int x = 0; x < width; ++x, s += 4, d += nch) {
                for (int c = 0; c < nch; ++c) {
                    const int take = plan.take[static_cast<size_t>(c)];
                    if (take >= 0) {
                        d[c] = plan.associated && take < 3 && alpha >= 0 ? Sample<S>::Multiply(s[take], s[3]) : s[take];
                    } else if constexpr (std::is_same_v<S, float>) {
                        d[c] = source->extra_samples[static_cast<size_t>(-1 - take) * plane +
                                                     static_cast<size_t>(y) * static_cast<size_t>(width) + x];
                    }
                }
            }
        }
        if (!out->write_scanlines(spec.y + y0, spec.y + y1, 0, DescOf<S>(), buffer.data())) {
            fail(Reason(out->geterror(), messages.Take()));
        }
    }
    if (!out->close()) fail(Reason(out->geterror(), messages.Take()));
    out.reset();

    // A writer can fail without saying so (libpng on a full disk): only a file
    // whose every row reads back may replace anything.
    auto in = OIIO::ImageInput::open(temp);
    if (!in) fail("the written file does not read back: " + Reason(OIIO::geterror(), messages.Take()));
    const OIIO::ImageSpec& back = in->spec();
    if (back.width != spec.width || back.height != spec.height || back.nchannels != nch) {
        fail("the written file reads back as " + std::to_string(back.width) + "x" + std::to_string(back.height) +
             " with " + std::to_string(back.nchannels) + " channels, not " + std::to_string(spec.width) + "x" +
             std::to_string(spec.height) + " with " + std::to_string(nch));
    }
    for (int y0 = 0; y0 < spec.height; y0 += band) {
        const int y1 = std::min(spec.height, y0 + band);
        if (!in->read_scanlines(0, 0, back.y + y0, back.y + y1, 0, 0, nch, DescOf<S>(), buffer.data())) {
            fail("the written file does not read back: " + Reason(in->geterror(), messages.Take()));
        }
    }
    const std::string error = in->geterror();
    const std::string printed = messages.Take();
    if (!error.empty() || MentionsMissingData(printed)) {
        fail("the written file does not read back: " + Reason(error, printed));
    }
}

// Writes an image of `type` whose rows `row(y, S* rgba)` gives, S the type's sample.
template <class RowFor>
void WriteWith(const std::string& path, SampleType type, int width, int height, const WriteOptions& options,
               RowFor&& row_for) {
    const OutputTarget target = FindImageTarget(path);
    const OutputPlan plan = PlanOutput(path, type, options, width, height);
    TempFile temp(target);
    {
        // The JPEG library ends the process on a full disk.
        vhost::ExitGuard guard("the image library", "while writing " + Quoted(path));
        WithType(type, [&](auto sample) {
            using S = decltype(sample);
            WriteRows<S>(path, temp.Path(), plan, options.source.get(), row_for(S{}, plan));
        });
    }
    temp.Commit();
}

}  // namespace

void CheckWritable(const std::string& path, SampleType type, const WriteOptions& options, int width, int height) {
    const OutputTarget target = FindImageTarget(path);
    const OutputPlan plan = PlanOutput(path, type, options, std::max(1, width), std::max(1, height));
    TempFile probe(target);  // the folder takes a new file
    if (options.warn) {
        for (const std::string& warning : plan.warnings) options.warn(warning);
    }
}

void WriteImage(const std::string& path, const Image& image, const WriteOptions& options) {
    const SampleType type = options.type.value_or(image.type);
    WriteWith(path, type, image.width, image.height, options, [&](auto out_sample, const OutputPlan&) {
        using S = decltype(out_sample);
        return [&image](int y, S* rgba) {
            WithSamples(image, [&](const auto& samples) {
                const size_t row = static_cast<size_t>(image.width) * 4;
                ConvertRow(samples.data() + static_cast<size_t>(y) * row, row, rgba);
            });
        };
    });
}

void WriteWorld(const std::string& path, const vhost::World& world, const WriteOptions& options) {
    const SampleType type = options.type.value_or(WorldSampleType(world.Layout()));
    WriteWith(path, type, world.Width(), world.Height(), options, [&](auto out_sample, const OutputPlan& plan) {
        using S = decltype(out_sample);
        const uint8_t* low_bits = plan.low_bits ? options.source->low_bits.data() : nullptr;
        return [&world, low_bits](int y, S* rgba) {
            WithLayout(world.Layout(), [&](auto pixel) {
                const uint8_t* bits = low_bits ? low_bits + static_cast<size_t>(y) * world.Width() : nullptr;
                WorldRowToFile<decltype(pixel), S>(world.Row(y), world.Width(), rgba, bits);
            });
        };
    });
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
