#include "validator/RenderInvariants.h"

#include <cmath>
#include <cstring>

#include "host/ApiNames.h"
#include "host/Render.h"
#include "validator/FrameFill.h"
#include "validator/LedgerChecks.h"

namespace vvalidator {

std::string FrameSpec::Describe() const {
    std::string s = std::string(PixelLayoutName(layout)) + " " + std::to_string(width) + "x" + std::to_string(height);
    if ((input_width && input_width != width) || (input_height && input_height != height)) {
        s += " from a " + std::to_string(input_width ? input_width : width) + "x" +
             std::to_string(input_height ? input_height : height) + " input";
    }
    if (padding) s += ", rows padded by " + std::to_string(padding) + " bytes";
    if (extent) {
        s += ", extent hint (" + std::to_string(extent->left) + "," + std::to_string(extent->top) + ")-(" +
             std::to_string(extent->right) + "," + std::to_string(extent->bottom) + ")";
    }
    if (downsample != 1) s += ", downsample 1/" + std::to_string(downsample);
    if (pixel_aspect.num != 1 || pixel_aspect.den != 1) {
        s += ", pixel aspect " + std::to_string(pixel_aspect.num) + "/" + std::to_string(pixel_aspect.den);
    }
    if (premiere_format) {
        char code[5];
        for (int i = 0; i < 4; ++i) code[i] = static_cast<char>((*premiere_format >> (8 * i)) & 0xFF);
        code[4] = '\0';
        s += ", reported as '" + std::string(code) + "'";
    }
    return s;
}

std::vector<vhost::PixelLayout> HostLayouts(vhost::HostApp app) {
    if (app == vhost::HostApp::Premiere) return {vhost::PixelLayout::BGRA8, vhost::PixelLayout::BGRA32F};
    return {vhost::PixelLayout::ARGB8, vhost::PixelLayout::ARGB16};
}

namespace {

PrPixelFormat ReportedFormat(const FrameSpec& spec) {
    return spec.premiere_format.value_or(PremiereFormatOf(spec.layout));
}

int InputWidth(const FrameSpec& s) { return s.input_width > 0 ? s.input_width : s.width; }
int InputHeight(const FrameSpec& s) { return s.input_height > 0 ? s.input_height : s.height; }

// Byte offsets of the colour channels and of alpha within one pixel.
struct ChannelLayout {
    size_t colour[3];
    size_t colour_size;
    size_t alpha;
};

ChannelLayout Channels(vhost::PixelLayout layout) {
    switch (layout) {
        case vhost::PixelLayout::ARGB8:
            return {{1, 2, 3}, 1, 0};
        case vhost::PixelLayout::BGRA8:
            return {{0, 1, 2}, 1, 3};
        case vhost::PixelLayout::ARGB16:
            return {{2, 4, 6}, 2, 0};
        case vhost::PixelLayout::BGRA32F:
            return {{0, 4, 8}, 4, 12};
    }
    return {{1, 2, 3}, 1, 0};
}

// How many pixels of one kind, and where the first one is.
struct Tally {
    int count = 0;
    std::string first;
    void Note(int x, int y, const std::string& more = "") {
        if (count++ == 0) first = "(" + std::to_string(x) + "," + std::to_string(y) + ")" + more;
    }
};

struct PixelTallies {
    int padding_rows = 0, changed = 0;
    Tally unwritten, recoloured, bad_alpha, stray;
};

// Whether alpha at `p` is within the format's range; `text` says what it is when it is not.
bool AlphaInRange(vhost::PixelLayout layout, const unsigned char* p, size_t offset, std::string& text) {
    if (layout == vhost::PixelLayout::ARGB16) {
        A_u_short a;
        std::memcpy(&a, p + offset, sizeof(a));
        text = std::to_string(a);
        return a <= 32768;
    }
    if (layout == vhost::PixelLayout::BGRA32F) {
        float a;
        std::memcpy(&a, p + offset, sizeof(a));
        text = Num(a);
        return std::isfinite(a) && a >= 0.0f && a <= 1.0f;
    }
    return true;
}

// Each output pixel against the input and against itself before the render; `must_cover`: every pixel
// of the extent hint that the input holds must have been written.
PixelTallies TallyPixels(const FrameSpec& spec, const vhost::World& input, const vhost::World& out_before,
                         const vhost::World& output, bool must_cover) {
    const size_t bpp = BytesPerPixel(spec.layout);
    const ChannelLayout ch = Channels(spec.layout);
    const int in_w = input.Width(), in_h = input.Height();
    const PF_Rect extent = output.Def().extent_hint;
    PixelTallies t;
    for (int y = 0; y < output.Height(); ++y) {
        const unsigned char* row = output.Row(y);
        const unsigned char* row0 = out_before.Row(y);
        const size_t tight = static_cast<size_t>(output.Width()) * bpp;
        if (std::memcmp(row + tight, row0 + tight, output.RowBytes() - tight) != 0) ++t.padding_rows;
        for (int x = 0; x < output.Width(); ++x) {
            const unsigned char* p = row + static_cast<size_t>(x) * bpp;
            const unsigned char* p0 = row0 + static_cast<size_t>(x) * bpp;
            if (std::memcmp(p, p0, bpp) == 0) {
                if (must_cover && x >= extent.left && x < extent.right && y >= extent.top && y < extent.bottom &&
                    x < in_w && y < in_h) {
                    t.unwritten.Note(x, y);
                }
                continue;
            }
            ++t.changed;
            if (x >= in_w || y >= in_h) {
                t.stray.Note(x, y);
                continue;
            }
            const unsigned char* s = input.PixelBytes(x, y);
            bool same_colour = true;
            for (size_t c = 0; c < 3; ++c) {
                same_colour &= std::memcmp(p + ch.colour[c], s + ch.colour[c], ch.colour_size) == 0;
            }
            if (!same_colour) t.recoloured.Note(x, y);
            std::string alpha_text;
            if (!AlphaInRange(spec.layout, p, ch.alpha, alpha_text)) t.bad_alpha.Note(x, y, " is " + alpha_text);
        }
    }
    return t;
}

void CheckRenderedPixels(const FrameSpec& spec, const vhost::World& input, const vhost::World& in_before, const vhost::World& out_before,
                         const vhost::World& output, PF_Err err, const std::string& what, Findings& findings) {
    if (input.Bytes() != in_before.Bytes()) findings.Add(what + ": the input world was written");
    const bool float_path = spec.layout == vhost::PixelLayout::BGRA32F;
    // A failed render (other than a user interruption, which may stop midway) leaves the output alone.
    const bool must_be_untouched = err != PF_Err_NONE && err != PF_Interrupt_CANCEL;
    // A render that succeeded covers the extent hint wherever the input has pixels. The
    // float pass counts rows from the buffer's first row, so it is held to this only
    // when the hint starts there.
    const bool must_cover = err == PF_Err_NONE && (!float_path || output.Def().extent_hint.top == 0);
    const PixelTallies t = TallyPixels(spec, input, out_before, output, must_cover);

    if (t.padding_rows) findings.Add(what + ": the padding of " + std::to_string(t.padding_rows) + " row(s) was written");
    if (must_be_untouched && t.changed) {
        findings.Add(what + ": returned " + vhost::DescribeError(err) + " yet wrote " + std::to_string(t.changed) +
                     " pixel(s)");
    }
    if (t.unwritten.count) {
        findings.Add(what + ": " + std::to_string(t.unwritten.count) +
                     " pixel(s) the host asked for were not written, first " + t.unwritten.first);
    }
    if (t.stray.count) {
        findings.Add(what + ": " + std::to_string(t.stray.count) + " pixel(s) beyond the input were written, first " +
                     t.stray.first);
    }
    if (t.recoloured.count) {
        findings.Add(what + ": colour channels differ from the input's in " + std::to_string(t.recoloured.count) +
                     " pixel(s), first " + t.recoloured.first);
    }
    if (t.bad_alpha.count) {
        findings.Add(what + ": alpha outside the format's range in " + std::to_string(t.bad_alpha.count) +
                     " pixel(s); alpha at " + t.bad_alpha.first);
    }
}

}  // namespace

std::vector<PF_Err> AllowedRenderResults(const vhost::Host& host, const FrameSpec& spec) {
    // A host's iterate refuses an input that does not hold every output pixel.
    const bool smaller = InputWidth(spec) < spec.width || InputHeight(spec) < spec.height;
    if (host.IsPremiere()) {
        const PrPixelFormat format = ReportedFormat(spec);
        if (format == PrPixelFormat_BGRA_4444_32f) return {PF_Err_NONE};
        if (format == PrPixelFormat_BGRA_4444_8u) {
            return smaller ? std::vector<PF_Err>{PF_Err_NONE, PF_Err_BAD_CALLBACK_PARAM}
                           : std::vector<PF_Err>{PF_Err_NONE};
        }
        return {PF_Err_UNRECOGNIZED_PARAM_TYPE};
    }
    return smaller ? std::vector<PF_Err>{PF_Err_NONE, PF_Err_BAD_CALLBACK_PARAM} : std::vector<PF_Err>{PF_Err_NONE};
}

PF_Err RenderChecked(vhost::Host& host, const FrameSpec& spec, uint64_t pixel_seed, Findings& findings,
                     ValidationCounters& counters, const std::vector<PF_Err>& allowed,
                     std::vector<unsigned char>* output_bytes, bool refused_releases) {
    const std::string what = "render of " + spec.Describe();
    vhost::World input(spec.layout, InputWidth(spec), InputHeight(spec), spec.padding);
    vhost::World output(spec.layout, spec.width, spec.height, spec.padding);
    FillInput(input, pixel_seed);
    FillNoise(output, pixel_seed ^ 0x9E3779B97F4A7C15ull);
    if (spec.extent) output.SetExtentHint(*spec.extent);
    const vhost::World in_before = input.Clone();
    const vhost::World out_before = output.Clone();

    ++counters.renders;
    vhost::FrameSettings settings;
    settings.downsample = spec.downsample;
    settings.pixel_aspect = spec.pixel_aspect;
    settings.premiere_format = ReportedFormat(spec);
    PrepareFrame(host, input, output, settings);
    const PF_Err err = SendChecked(host, what, findings, counters, [&]() { return SendRender(host, output, settings); });
    std::vector<PF_Err> ok = AllowedRenderResults(host, spec);
    ok.insert(ok.end(), allowed.begin(), allowed.end());
    if (!Contains(ok, err)) {
        findings.Add(what + ": returned " + vhost::DescribeError(err) + ", allowed " + CodeList(ok));
    }
    CheckRenderedPixels(spec, input, in_before, out_before, output, err, what, findings);
    CheckLedgers(host, what, findings, refused_releases);
    if (output_bytes) *output_bytes = output.Bytes();
    return err;
}

}  // namespace vvalidator
