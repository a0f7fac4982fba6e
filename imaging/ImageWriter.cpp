// Writing: rows of an image or a world converted to the file's samples,
// laid out as the output plan says, written through a temporary file that
// must read back before it replaces anything.
#include "imaging/ImageIO.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <OpenImageIO/imageio.h>

#include "host/ExitGuard.h"
#include "host/HostError.h"
#include "files/AtomicFile.h"
#include "imaging/ImageFiles.h"
#include "imaging/ImageSource.h"
#include "imaging/LibraryMessages.h"
#include "imaging/OutputPlan.h"
#include "imaging/PixelKernels.h"
#include "support/InputError.h"

namespace vimaging {

namespace {

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
vfiles::OutputTarget FindImageTarget(const std::string& path) {
    vfiles::OutputTarget target = vfiles::FindOutputTarget(path, false);
    if (target.file != path) {
        const std::string asked = FormatByName(path), held = FormatByName(target.file);
        if (!asked.empty() && !held.empty() && asked != held) {
            throw vsupport::InputError("cannot write " + Quoted(path) + ": it is a link to " + Quoted(target.file) +
                            ", whose name asks for the " + FormatLabel(held) + " format, not " + FormatLabel(asked) +
                            "; name the file itself");
        }
    }
    return target;
}

// Whether the disk holding `file` has no room left. Writers that meet a full
// disk rarely say so (libpng goes on silently, and the file then reads back
// "truncated"; libtiff's read back fails "to read directory"), but a write
// that failed for want of room fills the disk to its last block first.
bool DiskFull(const std::string& file) {
    struct statvfs fs {};
    if (::statvfs(file.c_str(), &fs) != 0) return false;
    // Root may write into the blocks kept back for it.
    const unsigned long long free_blocks = ::geteuid() == 0 ? fs.f_bfree : fs.f_bavail;
    return free_blocks * fs.f_frsize < (64u << 10);
}

// Writes rows given by `row(y, rgba)` (straight RGBA of S) into `temp` as
// `plan` says, then checks the file reads back with the size and channels written.
template <class S, class Row>
void WriteRows(const std::string& path, const std::string& temp, const OutputPlan& plan, const ImageSource* source,
               Row&& row) {
    // Checked while the temporary file still holds its room.
    const auto fail = [&](const std::string& reason) {
        const std::string cause = DiskFull(temp) ? std::strerror(ENOSPC) : reason;
        throw vhost::HostError("cannot write " + Quoted(path) + ": " + cause);
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
    const vfiles::OutputTarget target = FindImageTarget(path);
    const OutputPlan plan = PlanOutput(path, type, options, width, height);
    vfiles::TempFile temp(target);
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
    const vfiles::OutputTarget target = FindImageTarget(path);
    const OutputPlan plan = PlanOutput(path, type, options, std::max(1, width), std::max(1, height));
    vfiles::TempFile probe(target);  // the folder takes a new file
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

}  // namespace vimaging
