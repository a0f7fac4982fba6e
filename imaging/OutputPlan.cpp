#include "imaging/OutputPlan.h"

#include <algorithm>

#include "imaging/ImageFiles.h"
#include "imaging/ImageSource.h"
#include "imaging/LibraryMessages.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vimaging {

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
    const std::string compression = vtext::Lower(source.spec.get_string_attribute("compression"));
    const std::string method = compression.substr(0, compression.find(':'));
    if (source.format != format || method.empty()) return "";
    static const char* const kLossless[] = {"none", "rle", "zip", "zips", "piz", "lzw", "packbits"};
    for (const char* lossless : kLossless) {
        if (method == lossless) return method;
    }
    return "";
}

[[noreturn]] void FailWrite(const std::string& path, const std::string& reason) {
    throw vsupport::InputError("cannot write " + Quoted(path) + ": " + reason);
}

// The format the file's name asks for, refused unless it keeps `type` (an
// opaque 8-bit picture when `picture`) exactly.
const OutputFormat& ChooseFormat(const std::string& path, SampleType type, bool picture) {
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
                FailWrite(path, "the name is only an extension; name the file, as in out" + path.substr(dot));
            }
            FailWrite(path, (has_extension ? "no image format is known by the extension '" + path.substr(dot) + "'"
                                           : std::string("the name has no extension to choose an image format")) +
                                "; use " + Alternatives(type, picture));
        }
        name = out->format_name();
        if (!out->supports("alpha") && !picture) {
            FailWrite(path, "the " + FormatLabel(name) + " format has no alpha channel; for " + SampleTypeName(type) +
                                " use " + Alternatives(type, false));
        }
    }
    const OutputFormat* format = FindOutputFormat(name);
    if (!format || !Keeps(*format, type, picture)) {
        if (picture) {
            FailWrite(path, "the " + FormatLabel(name) + " format does not keep an 8-bit picture exactly; use " +
                                Alternatives(type, true));
        }
        const bool some_depth = format && (format->u8 || format->u16 || format->f32);
        FailWrite(path, "the " + FormatLabel(name) + " format does not keep " + SampleTypeName(type) +
                            (some_depth ? " samples" : " RGBA with straight alpha exactly") + "; for " +
                            SampleTypeName(type) + " use " + Alternatives(type, false));
    }
    return *format;
}

// What colour and alpha are stored as: the sample type, or half floats kept as the input had them.
OIIO::TypeDesc Storage(SampleType type, const WriteOptions& options, const OutputFormat& format) {
    if (type == SampleType::F32 && options.keep_source_storage && options.source && options.source->half &&
        format.half) {
        return OIIO::TypeDesc::HALF;
    }
    return type == SampleType::U8 ? OIIO::TypeDesc::UINT8
           : type == SampleType::U16 ? OIIO::TypeDesc::UINT16
                                     : OIIO::TypeDesc::FLOAT;
}

// The channels written, in order, and which is alpha (-1: none).
struct Channels {
    std::vector<std::string> names;
    std::vector<OIIO::TypeDesc> formats;
    int alpha = -1;
};

// The source's own channels where the format holds names, grey as grey where
// it can, else RGB(A). Fills the plan's `take` and `extras`.
Channels PlanChannels(OutputPlan& plan, const OutputFormat& format, OIIO::TypeDesc storage,
                      const WriteOptions& options, bool whole) {
    Channels channels;
    const auto add = [&](int take, const std::string& channel, OIIO::TypeDesc desc) {
        plan.take.push_back(take);
        channels.names.push_back(channel);
        channels.formats.push_back(desc);
    };
    const ImageSource* source = options.source.get();
    if (options.picture) {
        for (int k = 0; k < 3; ++k) add(k, std::string(1, "RGB"[k]), storage);
    } else if (source && format.named_channels && (whole || source->extras.empty())) {
        const OIIO::ImageSpec& in = source->spec;
        for (int i = 0; i < in.nchannels; ++i) {
            const std::string& channel = in.channelnames[static_cast<size_t>(i)];
            if (i == source->channel[3]) {
                channels.alpha = static_cast<int>(plan.take.size());
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
        if (channels.alpha < 0) {
            channels.alpha = static_cast<int>(plan.take.size());
            add(3, "A", storage);
        }
    } else if (source && source->grey && format.grey) {
        add(0, "Y", storage);
        channels.alpha = 1;
        add(3, "A", storage);
    } else {
        for (int k = 0; k < 4; ++k) add(k, std::string(1, "RGBA"[k]), storage);
        channels.alpha = 3;
    }
    return channels;
}

// A warning naming the source's carried channels when the plan drops them.
void WarnDroppedChannels(const std::string& path, const ImageSource& source, int n, OutputPlan& plan) {
    if (source.extras.empty() || plan.extras) return;
    std::vector<std::string> dropped;
    for (int i : source.extras) dropped.push_back(source.spec.channelnames[static_cast<size_t>(i)]);
    plan.warnings.push_back(Quoted(path) + (n > 1 ? " is downsampled, so it" : "") + " cannot keep channel" +
                            (dropped.size() > 1 ? "s " : " ") + vtext::Join(dropped) + " of " + Quoted(source.path) +
                            (n > 1 ? "" : "; OpenEXR can"));
}

// The source's metadata, lossless compression and the bits a 16-bit world lost.
void KeepMetadata(OutputPlan& plan, const ImageSource& source, const OutputFormat& format, SampleType type,
                  bool whole) {
    for (const OIIO::ParamValue& attribute : source.spec.extra_attribs) {
        if (KeepsAttribute(attribute.name().string())) plan.spec.extra_attribs.push_back(attribute);
    }
    const std::string compression = LosslessCompression(source, format.name);
    if (!compression.empty()) plan.spec.attribute("compression", compression);
    plan.low_bits = whole && type == SampleType::U16 && !source.low_bits.empty();
}

// The source's data and display windows, scaled to 1/n, where the format
// holds them; a warning for what it cannot.
void KeepWindows(const std::string& path, OutputPlan& plan, const ImageSource& source, int n) {
    const OIIO::ImageSpec& in = source.spec;
    const auto scaled = [&](int v) { return DownsampledOrigin(v, n); };
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
        plan.spec.full_width = DownsampledSize(in.full_x, in.full_width, n);
        plan.spec.full_height = DownsampledSize(in.full_y, in.full_height, n);
        return;
    }
    plan.spec.full_x = plan.spec.x;
    plan.spec.full_y = plan.spec.y;
    const bool lost = in.full_x != in.x || in.full_y != in.y || in.full_width != in.width ||
                      in.full_height != in.height || !origin;
    if (lost) {
        plan.warnings.push_back(Quoted(path) + " cannot keep the " +
                                (origin ? "display window "
                                        : "data window at (" + std::to_string(in.x) + "," + std::to_string(in.y) +
                                              ") in the display window ") +
                                std::to_string(in.full_width) + "x" + std::to_string(in.full_height) + " of " +
                                Quoted(source.path) + "; OpenEXR can");
    }
}

}  // namespace

OutputPlan PlanOutput(const std::string& path, SampleType type, const WriteOptions& options, int width, int height) {
    OutputPlan plan;
    const OutputFormat& format = ChooseFormat(path, type, options.picture);
    plan.format = &format;
    const ImageSource* source = options.source.get();
    const int n = std::max(1, options.downsample);
    // The source's carried channels and lost bits fit only a frame of its own size.
    const bool whole = source && n == 1 && width == source->spec.width && height == source->spec.height;

    const OIIO::TypeDesc storage = Storage(type, options, format);
    const Channels channels = PlanChannels(plan, format, storage, options, whole);
    if (source) WarnDroppedChannels(path, *source, n, plan);

    plan.spec = OIIO::ImageSpec(width, height, static_cast<int>(channels.names.size()), storage);
    plan.spec.channelnames = channels.names;
    if (std::any_of(channels.formats.begin(), channels.formats.end(),
                    [&](OIIO::TypeDesc t) { return t != storage; })) {
        plan.spec.channelformats = channels.formats;
    }
    plan.spec.alpha_channel = channels.alpha;
    plan.associated = !options.picture && (format.alpha == AlphaConvention::Premultiplied ||
                                           (format.alpha == AlphaConvention::Either && source && source->associated));

    if (source && !options.picture) {
        KeepMetadata(plan, *source, format, type, whole);
        if (source->HasWindow()) KeepWindows(path, plan, *source, n);
    }
    if (!plan.associated && channels.alpha >= 0) plan.spec.attribute("oiio:UnassociatedAlpha", 1);
    if (options.picture && format.lossy) {
        // The overlay's one-pixel strokes lose their colour to halved chroma.
        plan.spec.attribute("CompressionQuality", 95);
        plan.spec.attribute("jpeg:subsampling", "4:4:4");
    }
    return plan;
}

}  // namespace vimaging
