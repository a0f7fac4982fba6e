#include "cli/WindowOptions.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "files/AtomicFile.h"
#include "cli/EffectOptions.h"
#include "host/HostError.h"
#include "host/SetUp.h"
#include "imaging/ImageIO.h"
#include "host/Render.h"
#include "support/InputError.h"

namespace vcli {

using vhost::HostError;
using vsupport::InputError;

void AddWindowOptions(CLI::App* app, WindowOptions& o) {
    const char* group = "Window";
    app->add_option("--window", o.window, "Window to show: layer or comp (composition)")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group(group);
    app->add_option("--zoom", o.zoom, "Window zoom, 1/64 to 64, e.g. 1/4, 0.5, 1, 2")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group(group);
    app->add_option("--pan", o.pan, "Window pixels X,Y by which the picture is moved")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group(group);
    app->add_option("--layer-offset", o.layer_offset,
                    "Composition window: where the layer's top-left corner sits in the composition, X,Y")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group(group);
    app->add_option("--trace", o.trace,
                    "Write every stroke the effect made, in order, to this JSON file (replaced whole; a FIFO or "
                    "device such as /dev/stdout is written in place)")
        ->check(NonEmpty())
        ->group(group);
    app->add_flag("-q,--quiet", o.quiet, "Show no progress");
}

voverlay::WindowView ResolveWindowOptions(const WindowOptions& o) {
    voverlay::WindowView view;
    view.type = voverlay::ParseWindowType(Trim(o.window), "--window");
    view.zoom = vparse::ParseFraction(o.zoom, "--zoom");
    if (!(view.zoom >= 1.0 / 64) || view.zoom > 64) {
        throw InputError("--zoom " + o.zoom + " is out of range (1/64 to 64)");
    }
    ParsePoint(o.pan, "--pan", view.pan_x, view.pan_y);
    ParsePoint(o.layer_offset, "--layer-offset", view.layer_offset_x, view.layer_offset_y);
    if (view.type != PF_Window_COMP && (view.layer_offset_x != 0 || view.layer_offset_y != 0)) {
        throw InputError("--layer-offset needs --window comp (the layer window shows the layer alone)");
    }
    return view;
}

namespace {

// Renders `input` through the session's host into a new world of the same
// layout, with progress on a terminal; the input world is gone when it returns.
vhost::World RenderWorld(EffectSession& session, const ResolvedEffect& effect, vhost::World input, bool quiet) {
    vhost::Host& host = session.Host();
    vhost::World output(effect.layout, input.Width(), input.Height());
    const bool show = !quiet && isatty(STDERR_FILENO);
    int last = -1;
    host.on_progress = [&](A_long current, A_long total) {
        if (!show || total <= 0) return;
        const int percent = static_cast<int>(100LL * current / total);
        if (percent == last) return;
        last = percent;
        std::fprintf(stderr, "\rvellora: rendering %3d%%", percent);
        std::fflush(stderr);
    };
    vhost::FrameSettings settings;
    settings.downsample = effect.downsample;
    settings.pixel_aspect = effect.pixel_aspect;
    const PF_Err err = vhost::RenderFrame(host, input, output, settings);
    host.on_progress = nullptr;
    if (show && last >= 0) std::fprintf(stderr, "\r\033[K");
    if (err != PF_Err_NONE) {
        throw HostError("the effect failed to render the frame: error " + DescribeError(err));
    }
    return output;
}

}  // namespace

vhost::World RenderWindowFrame(EffectSession& session, const ResolvedEffect& effect, InputImage& input,
                               bool quiet) {
    return RenderWorld(session, effect, LoadInputWorld(input, effect), quiet);
}

void ShowFrameOnce(voverlay::OverlayWindow& window, vhost::World frame, int downsample, int width, int height) {
    // One normalised row of the frame at a time: a float copy of a whole
    // 8-bit frame would be four times its size.
    std::vector<float> row(static_cast<size_t>(frame.Width()) * 4);
    const auto layer_row = [&](int y, float* rgba) {
        vimaging::NormalisedRow(frame, std::min(frame.Height() - 1, y / downsample), row.data());
        for (int x = 0; x < width; ++x) {
            const float* s = &row[static_cast<size_t>(std::min(frame.Width() - 1, x / downsample)) * 4];
            std::copy(s, s + 4, rgba + static_cast<size_t>(x) * 4);
        }
    };
    window.ShowFrame(layer_row, width, height);
}

void DrawOverlay(voverlay::OverlayWindow& window, const ResolvedEffect& effect) {
    vhost::Host& host = window.HostRef();
    host.InData().pixel_aspect_ratio = effect.pixel_aspect;
    const PF_Err err = window.Draw();
    if (err != PF_Err_NONE) {
        throw HostError("the effect failed to draw its overlay: error " + DescribeError(err));
    }
    vhost::RequireBalancedLedgers(host);
}

void WritePicture(const std::string& path, const voverlay::OverlayWindow& window) {
    vimaging::Image image = vimaging::Image::Make(0, 0, vimaging::SampleType::U8);
    image.width = window.Width();
    image.height = window.Height();
    image.u8 = window.PictureRGBA8();
    vimaging::WriteOptions optind;
    optind.picture = true;
    vimaging::WriteImage(path, image, optind);
}

void CheckPictureAndTrace(const std::string& picture, const std::string& picture_option, const std::string& trace) {
    if (!picture.empty()) {
        vimaging::WriteOptions optind;
        optind.picture = true;
        vimaging::CheckWritable(picture, vimaging::SampleType::U8, optind);
    }
    if (trace.empty()) return;
    const vfiles::OutputTarget trace_target = vfiles::FindOutputTarget(trace, true, "--trace");
    if (!picture.empty() && vfiles::SameFile(trace_target, vfiles::FindOutputTarget(picture, false))) {
        throw InputError("--trace '" + trace + "' is the same file as " + picture_option + " '" + picture +
                         "' (give each its own name)");
    }
}

void WriteTrace(const std::string& path, const voverlay::OverlayWindow& window) {
    // One stroke per line: readable, and still plain JSON.
    const nlohmann::ordered_json trace = window.TraceJson();
    std::string text = "{\"window\": " + trace["window"].dump() + ", \"strokes\": [";
    const auto& strokes = trace["strokes"];
    for (size_t i = 0; i < strokes.size(); ++i) text += (i ? ",\n  " : "\n  ") + strokes[i].dump();
    text += strokes.empty() ? "]}\n" : "\n]}\n";
    vfiles::WriteTextAtomically(path, text, "--trace");
}

}  // namespace vcli
