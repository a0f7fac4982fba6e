// Reading: an image file opened, its header checked and its channels mapped
// onto red, green, blue and alpha; its rows read a band at a time into an
// image or a world.
#include "imaging/ImageIO.h"

#include <algorithm>

#include <OpenImageIO/imageio.h>

#include "host/ExitGuard.h"
#include "host/HostError.h"
#include "files/AtomicFile.h"
#include "imaging/HeaderClaims.h"
#include "imaging/ImageFiles.h"
#include "imaging/ImageSource.h"
#include "imaging/LibraryMessages.h"
#include "imaging/PixelKernels.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vimaging {

namespace {

// Readers of this build's image library that malformed files drive out of
// bounds or into an endless loop, found by fuzzing (OpenImageIO 2.4): the IFF
// reader on some files its own writer makes, whichever way the pixels are
// read; the RLA reader on an 876-byte file.
struct UnsafeReader {
    const char* format;  // OpenImageIO's name
    const char* label;
    const char* fault;
};
const UnsafeReader kUnsafeReaders[] = {
    {"iff", "IFF", "reads past its buffers on some of them"},
    {"rla", "RLA", "can loop for ever on some of them"},
};

bool IsColourName(const std::string& name, const char* base) {
    return name == base || vtext::Lower(name) == vtext::Lower(base);
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
    // Some readers (FITS) name fewer channels than they give.
    const auto name_of = [&](int i) {
        return static_cast<size_t>(i) < spec.channelnames.size() ? spec.channelnames[static_cast<size_t>(i)]
                                                                  : std::string();
    };
    const auto find = [&](const std::string& in_layer) {
        int found[5] = {-1, -1, -1, -1, -1};  // R G B A Y
        for (int i = 0; i < n; ++i) {
            const std::string name = name_of(i);
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
            const std::string name = name_of(i);
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

    // What the file holds or how it is made: the user's to change.
    [[noreturn]] void Fail(const std::string& reason) const {
        throw vsupport::InputError("cannot read " + Quoted(source->path) + ": " + reason);
    }

    // Reads every row as straight RGBA of S and hands it to `sink(y, rgba)`;
    // carried channels go to the source. Any error or warning about missing
    // data from the decoder fails, even when it returned the rows.
    template <class S, class Sink>
    void ReadRows(Sink&& sink) {
        if (!in) {
            throw vhost::HostError("cannot read " + Quoted(source->path) + ": the pixels have already been read");
        }
        const OIIO::ImageSpec& spec = source->spec;
        const int width = spec.width, height = spec.height, nch = spec.nchannels;
        // Tiled files are read a row of tiles at a time: OpenImageIO 2.4's
        // read_scanlines divides by zero on some of them (an IFF with 1x24 tiles).
        const int tile_rows = spec.tile_width > 0 ? std::max(1, spec.tile_height) : 1;
        const int band = std::min(height, (BandRows(width, nch, sizeof(S), height) + tile_rows - 1) / tile_rows * tile_rows);
        std::vector<S> raw(static_cast<size_t>(width) * static_cast<size_t>(nch) * static_cast<size_t>(band));
        std::vector<S> rgba(static_cast<size_t>(width) * 4);
        const size_t plane = static_cast<size_t>(width) * static_cast<size_t>(height);
        source->extra_samples.assign(plane * source->extras.size(), 0.0f);
        const int* at = source->channel;
        vhost::ExitGuard guard("the image library", "while reading " + Quoted(source->path));
        LibraryMessages messages;
        for (int y0 = 0; y0 < height; y0 += band) {
            const int y1 = std::min(height, y0 + band);
            const bool read = spec.tile_width > 0
                                  ? in->read_tiles(0, 0, spec.x, spec.x + width, spec.y + y0, spec.y + y1, spec.z,
                                                   spec.z + 1, 0, nch, DescOf<S>(), raw.data())
                                  : in->read_scanlines(0, 0, spec.y + y0, spec.y + y1, 0, 0, nch, DescOf<S>(), raw.data());
            if (!read) Fail(RowsReason(Reason(in->geterror(), messages.Take()), y0, height));
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
        if (!error.empty()) Fail(RowsReason(Reason(error, printed), 0, height));
        if (MentionsMissingData(printed)) Fail(RowsReason(Reason("", printed), 0, height));
    }

    // A file cut short says which rows it lacks; a reader that gives no reason
    // has found the rows missing too.
    static std::string RowsReason(const std::string& reason, int first, int height) {
        if (reason != "unknown error" && reason.rfind("the file is truncated", 0) != 0) return reason;
        return "the file is truncated: its header claims " + std::to_string(height) + " rows and " +
               (first > 0 ? "rows from " + std::to_string(first + 1) : std::string("some of them")) +
               " could not be read";
    }
};

ImageReader::ImageReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->source = std::make_shared<ImageSource>();
    ImageSource& source = *impl_->source;
    source.path = path;
    vfiles::CheckReadableFile(path);
    const ReadBudget budget = CurrentReadBudget();
    CheckRawHeader(path, budget);
    ApplyLibraryLimits(budget);

    vhost::ExitGuard guard("the image library", "while reading " + Quoted(path));
    LibraryMessages messages;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    impl_->in = OIIO::ImageInput::open(path, &config);
    if (!impl_->in) {
        const std::string error = OIIO::geterror();
        // The library's own limit, which it words as a corrupt file.
        if (error.find("limits:") != std::string::npos) {
            impl_->Fail("its header claims more pixel memory than the limit of " + ByteSizeText(budget.max_memory) +
                        " (--max-memory or VELLORA_MAX_MEMORY)");
        }
        impl_->Fail(Reason(error, messages.Take()));
    }
    OIIO::ImageInput& in = *impl_->in;
    source.format = in.format_name();
    for (const UnsafeReader& unsafe : kUnsafeReaders) {
        if (source.format == unsafe.format) {
            impl_->Fail(std::string(unsafe.label) + " files are not read: this build's image library (OpenImageIO " +
                        OIIO_VERSION_STRING ") " + unsafe.fault + "; convert it to TIFF or OpenEXR first");
        }
    }
    source.spec = in.spec();
    const OIIO::ImageSpec& spec = source.spec;
    if (spec.width <= 0 || spec.height <= 0 || spec.nchannels <= 0) impl_->Fail("the image is empty");
    if (spec.depth > 1) impl_->Fail("volume images are not supported");
    CheckClaims(path, source.format, spec, budget);
    // Taking the first of several images would drop the others without a word.
    // Counting stops at 16: seeking through a movie's frames decodes them.
    // Counted on the one open, so a header is paid for once. Not WebP's: this
    // library's reader holds one image and cannot decode after a failed seek.
    int images = 1;
    while (source.format != "webp" && images <= 16 && in.seek_subimage(images, 0)) ++images;
    (void)in.geterror();
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

}  // namespace vimaging
