// Image files through the imaging layer, as `vellora render` takes them:
// opened and mapped to straight RGBA (ImageReader), read into a world of any
// of the hosts' layouts, written back with what the input held (WriteWorld),
// and the result read again.
//
// Input, first byte below 128: a file made here with OpenImageIO from the
// bytes that follow (format, size, channel count, names and types, alpha
// channel and association, data and display windows, tiles, a second image,
// samples), so the fuzzer reaches the odd files a library hands back without
// first having to learn a compressed format. From 128 up: the next byte picks
// a format and the rest is the file as it is.
//
// Promises held: a file vellora wrote, it reads back, at the same size; and
// where the written file holds straight alpha, with the very samples of the
// world it was written from.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "fuzz/drivers/Bytes.h"
#include "fuzz/drivers/DriverSupport.h"
#include "fuzz/drivers/Scratch.h"
#include "host/HostError.h"
#include "host/World.h"
#include "imaging/Formats.h"
#include "imaging/ImageIO.h"
#include "imaging/ImageSource.h"
#include "support/InputError.h"

namespace vfuzz {

namespace {

using vhost::PixelLayout;

// Pixels read per input at most: larger files are opened and checked, but
// decoding them would spend the fuzzer's time on the library's loops.
constexpr long long kMaxPixels = 1 << 12;

// Formats OpenImageIO reads, by the extension that picks its reader.
const char* const kReadExtensions[] = {"png", "tif", "exr", "jpg", "bmp", "tga", "dpx", "cin", "hdr", "ppm",
                                       "pgm", "pfm", "sgi", "rla", "ico", "iff", "psd", "pic", "fits", "dds",
                                       "gif", "webp", "jp2", "zfile"};
// Formats that take many kinds of file when made here. (Not the others: the
// library's writers for DPX, RLA and SGI assert or read uninitialised memory
// on channel layouts they do not know; files of theirs come in raw.)
const char* const kMadeExtensions[] = {"tif", "exr", "png", "tga"};

const PixelLayout kLayouts[] = {PixelLayout::ARGB8, PixelLayout::ARGB16, PixelLayout::BGRA8, PixelLayout::BGRA32F};

const OIIO::TypeDesc kTypes[] = {OIIO::TypeDesc::UINT8, OIIO::TypeDesc::UINT16, OIIO::TypeDesc::HALF,
                                 OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::UINT32, OIIO::TypeDesc::INT8,
                                 OIIO::TypeDesc::INT16, OIIO::TypeDesc::DOUBLE};

const char* const kChannelNames[] = {"R", "G", "B", "A", "Y", "Z", "AR", "AG", "AB", "r", "g", "b", "a",
                                     "diffuse.R", "diffuse.G", "diffuse.B", "diffuse.A", "alpha", "red", "",
                                     "left.R", "RA", "Red", "N.x", "mask"};

// A file made with OpenImageIO from the input's description; false when the
// library cannot write what was asked (not the tools' concern).
bool MakeFile(Bytes& in, const std::string& path) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    const int width = 1 + in.Byte() % 24, height = 1 + in.Byte() % 24;
    const int nch = 1 + in.Byte() % 7;
    const uint8_t layout = in.Byte();
    OIIO::ImageSpec spec(width, height, nch, Pick(kTypes, layout));
    if (layout & 0x80) {
        spec.channelformats.clear();
        for (int c = 0; c < nch; ++c) spec.channelformats.push_back(Pick(kTypes, in.Byte()));
    }
    const uint8_t naming = in.Byte();
    if (naming & 1) {
        for (int c = 0; c < nch; ++c) spec.channelnames[c] = Pick(kChannelNames, in.Byte());
    }
    const uint8_t alpha = in.Byte();
    if (alpha & 0x80) spec.alpha_channel = alpha % (nch + 1) - 1;
    if (alpha & 0x40) spec.attribute("oiio:UnassociatedAlpha", 1);
    const uint8_t window = in.Byte();
    if (window & 1) {
        spec.x = static_cast<int8_t>(in.Byte());
        spec.y = static_cast<int8_t>(in.Byte());
    }
    if (window & 2) {
        spec.full_x = static_cast<int8_t>(in.Byte());
        spec.full_y = static_cast<int8_t>(in.Byte());
        spec.full_width = 1 + in.Byte() % 40;
        spec.full_height = 1 + in.Byte() % 40;
    }
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(ext);
    if (!out) return false;
    // Asked of a writer that has none, tiles trip its assertions.
    if ((window & 4) && out->supports("tiles")) spec.tile_width = spec.tile_height = 16;
    const int images = (window & 8) && out->supports("multiimage") ? 2 : 1;
    std::vector<OIIO::ImageSpec> specs(static_cast<size_t>(images), spec);
    const bool opened = images == 1 ? out->open(path, spec) : out->open(path, images, specs.data());
    if (!opened) {
        (void)out->geterror();
        return false;
    }
    // Samples as floats the writer converts: any bit pattern, NaN and infinities included.
    std::vector<float> samples(static_cast<size_t>(width) * height * nch);
    for (float& s : samples) {
        const uint8_t b = in.Byte();
        s = b < 200 ? b / 199.0f : static_cast<float>(in.Double());
    }
    bool ok = true;
    for (int i = 0; i < images && ok; ++i) {
        if (i > 0) ok = out->open(path, specs[static_cast<size_t>(i)], OIIO::ImageOutput::AppendSubimage);
        ok = ok && out->write_image(OIIO::TypeDesc::FLOAT, samples.data());
    }
    ok = out->close() && ok;
    (void)out->geterror();
    return ok;
}

template <class S>
std::string CompareRows(const vhost::World& a, const vhost::World& b) {
    const size_t n = static_cast<size_t>(a.Width()) * 4;
    for (int y = 0; y < a.Height(); ++y) {
        const S* p = reinterpret_cast<const S*>(a.Row(y));
        const S* q = reinterpret_cast<const S*>(b.Row(y));
        for (size_t i = 0; i < n; ++i) {
            if (std::memcmp(&p[i], &q[i], sizeof(S)) != 0 && !(p[i] != p[i] && q[i] != q[i])) {
                return "sample " + std::to_string(i % 4) + " of pixel (" + std::to_string(i / 4) + ", " +
                       std::to_string(y) + ") was " + std::to_string(+p[i]) + " and reads back as " +
                       std::to_string(+q[i]);
            }
        }
    }
    return {};
}

class ImageDriver : public Driver {
public:
    std::string Run(const uint8_t* data, size_t size) override {
        Bytes in(data, size);
        const uint8_t mode = in.Byte();
        const uint8_t output = in.Byte();
        const PixelLayout layout = Pick(kLayouts, output >> 4);
        const bool keep_storage = (output & 8) != 0;
        std::string path;
        if (mode < 128) {
            path = ScratchDir() + "in." + Pick(kMadeExtensions, mode);
            if (!MakeFile(in, path)) return {};
        } else {
            path = ScratchDir() + "in." + Pick(kReadExtensions, in.Byte());
            const std::string bytes = in.Rest();
            ScratchFile(path.substr(ScratchDir().size()), bytes.data(), bytes.size());
        }
        const std::vector<vimaging::OutputFormat>& formats = vimaging::OutputFormats();
        const vimaging::OutputFormat& format = formats[output % formats.size()];
        const std::string out_path = ScratchDir() + "out." + format.extension;

        return Guarded([&]() -> std::string {
            std::shared_ptr<const vimaging::ImageSource> source;
            vhost::World world(layout, 1, 1);
            try {
                vimaging::ImageReader reader(path);
                if (static_cast<long long>(reader.Width()) * reader.Height() > kMaxPixels) return {};
                world = vhost::World(layout, reader.Width(), reader.Height());
                reader.ReadInto(world);
                source = reader.Source();
            } catch (const vsupport::InputError&) {
                return {};  // refused, naming the file and why
            }
            vimaging::WriteOptions options;
            options.source = source;
            options.keep_source_storage = keep_storage;
            options.warn = [](const std::string&) {};
            try {
                vimaging::CheckWritable(out_path, vimaging::WorldSampleType(layout), options, world.Width(),
                                        world.Height());
                vimaging::WriteWorld(out_path, world, options);
            } catch (const vsupport::InputError&) {
                return {};  // a format that cannot keep the result is refused before writing
            } catch (const vhost::HostError&) {
                return {};  // a write the writer itself reports failed
            }
            vimaging::ImageReader again(out_path);
            if (again.Width() != world.Width() || again.Height() != world.Height()) {
                return std::string(format.label) + " written at " + std::to_string(world.Width()) + "x" +
                       std::to_string(world.Height()) + " reads back at " + std::to_string(again.Width()) + "x" +
                       std::to_string(again.Height());
            }
            vhost::World reread(layout, world.Width(), world.Height());
            again.ReadInto(reread);
            // Straight alpha is written as it is; premultiplied colour (an
            // input's own convention, kept) loses bits where alpha is small.
            const bool exact = !format.lossy && !keep_storage &&
                               (format.alpha == vimaging::AlphaConvention::Straight ||
                                (format.alpha == vimaging::AlphaConvention::Either && !source->associated));
            if (!exact) return {};
            std::string bad;
            switch (layout) {
                case PixelLayout::ARGB8:
                case PixelLayout::BGRA8: bad = CompareRows<uint8_t>(world, reread); break;
                case PixelLayout::ARGB16: bad = CompareRows<uint16_t>(world, reread); break;
                default: bad = CompareRows<float>(world, reread); break;
            }
            return bad.empty() ? bad : std::string(format.label) + " written from a world: " + bad;
        });
    }

    std::string Dictionary() const override {
        std::string dict;
        using namespace std::string_literals;  // the words hold NULs
        for (const std::string& word : {"\x89PNG\r\n\x1a\n"s, "IHDR"s, "IDAT"s, "IEND"s, "tEXt"s, "iCCP"s, "pHYs"s,
                                        "II*\0"s, "MM\0*"s, "v/1\x01"s, "channels"s, "compression"s, "dataWindow"s,
                                        "displayWindow"s, "lineOrder"s, "pixelAspectRatio"s, "chlist"s, "box2i"s,
                                        "multiPart"s, "BM"s, "SDPX"s, "XPDS"s, "#?RADIANCE\n"s, "P6\n"s, "PF\n"s,
                                        "8BPS"s, "GIF89a"s, "RIFF"s, "WEBP"s, "\xff\xd8\xff"s, "FORM"s, "\x01\xda"s,
                                        "SIMPLE  ="s, "DDS "s}) {
            dict += DictionaryWord(word);
        }
        return dict;
    }
};

}  // namespace

std::unique_ptr<Driver> MakeImageDriver() { return std::make_unique<ImageDriver>(); }

}  // namespace vfuzz
