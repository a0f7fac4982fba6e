#include "WindowOptions.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "AtomicFile.h"
#include "EffectOptions.h"
#include "HostError.h"
#include "ImageIO.h"
#include "Render.h"

namespace vcli {

using vhost::HostError;

void ParsePoint(const std::string& text, const std::string& option, double& x, double& y) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) throw HostError(option + " '" + text + "' must be X,Y");
    x = ParseNumber(text.substr(0, comma), option + " x");
    y = ParseNumber(text.substr(comma + 1), option + " y");
    if (std::fabs(x) > 32767 || std::fabs(y) > 32767) {
        throw HostError(option + " '" + text + "' is out of range (-32767 to 32767 on each axis)");
    }
}

void AddWindowOptions(CLI::App* app, WindowOptions& o) {
    const char* group = "Window";
    app->add_option("--window", o.window, "Window to show: layer or comp (composition)")
        ->capture_default_str()
        ->group(group);
    app->add_option("--zoom", o.zoom, "Window zoom, e.g. 0.5, 1, 2")->capture_default_str()->group(group);
    app->add_option("--pan", o.pan, "Window pixels X,Y by which the picture is moved")
        ->capture_default_str()
        ->group(group);
    app->add_option("--layer-offset", o.layer_offset,
                    "Composition window: where the layer's top-left corner sits in the composition, X,Y")
        ->capture_default_str()
        ->group(group);
    app->add_option("--trace", o.trace, "Write every stroke the effect made, in order, to this JSON file")
        ->group(group);
    app->add_flag("-q,--quiet", o.quiet, "Show no progress");
}

vhost::WindowView ResolveWindowOptions(const WindowOptions& o) {
    vhost::WindowView view;
    try {
        view.type = vhost::ParseWindowType(o.window);
    } catch (const HostError& e) {
        throw HostError(std::string("--window: ") + e.what());
    }
    view.zoom = ParseNumber(o.zoom, "--zoom");
    if (!(view.zoom >= 1.0 / 64) || view.zoom > 64) {
        throw HostError("--zoom " + o.zoom + " is out of range (1/64 to 64)");
    }
    ParsePoint(o.pan, "--pan", view.pan_x, view.pan_y);
    ParsePoint(o.layer_offset, "--layer-offset", view.layer_offset_x, view.layer_offset_y);
    if (view.type != PF_Window_COMP && (view.layer_offset_x != 0 || view.layer_offset_y != 0)) {
        throw HostError("--layer-offset needs --window comp (the layer window shows the layer alone)");
    }
    return view;
}

void RenderIntoWindow(EffectSession& session, const ResolvedEffect& effect, const vhost::Image& image,
                      vhost::OverlayWindow& window, bool quiet) {
    vhost::Host& host = session.Host();
    const vhost::Image scaled = effect.downsample > 1 ? vhost::DownsampleImage(image, effect.downsample) : image;
    vhost::World input = vhost::ImageToWorld(scaled, effect.layout);
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

    // The window shows the layer at full resolution: a reduced frame is enlarged.
    const vhost::Image frame = vhost::WorldToImage(output);
    const std::vector<float> pixels = vhost::NormalisedRGBA(frame);
    if (effect.downsample == 1) {
        window.ShowFrame(pixels.data(), frame.width, frame.height);
        return;
    }
    std::vector<float> rgba(static_cast<size_t>(image.width) * image.height * 4);
    for (int y = 0; y < image.height; ++y) {
        const int sy = std::min(frame.height - 1, y / effect.downsample);
        for (int x = 0; x < image.width; ++x) {
            const int sx = std::min(frame.width - 1, x / effect.downsample);
            const float* s = &pixels[(static_cast<size_t>(sy) * frame.width + sx) * 4];
            std::copy(s, s + 4, &rgba[(static_cast<size_t>(y) * image.width + x) * 4]);
        }
    }
    window.ShowFrame(rgba.data(), image.width, image.height);
}

void DrawOverlay(vhost::OverlayWindow& window, const ResolvedEffect& effect) {
    vhost::Host& host = window.HostRef();
    host.InData().pixel_aspect_ratio = effect.pixel_aspect;
    const PF_Err err = window.Draw();
    if (err != PF_Err_NONE) {
        throw HostError("the effect failed to draw its overlay: error " + DescribeError(err));
    }
    RequireBalancedLedgers(host, effect.module_path);
}

void WritePicture(const std::string& path, const vhost::OverlayWindow& window) {
    vhost::Image image = vhost::Image::Make(window.Width(), window.Height(), vhost::SampleType::U8);
    image.u8 = window.PictureRGBA8();
    vhost::WriteImage(path, image);
}

void WriteTrace(const std::string& path, const vhost::OverlayWindow& window) {
    // One stroke per line: readable, and still plain JSON.
    const nlohmann::ordered_json trace = window.TraceJson();
    std::string text = "{\"window\": " + trace["window"].dump() + ", \"strokes\": [";
    const auto& strokes = trace["strokes"];
    for (size_t i = 0; i < strokes.size(); ++i) text += (i ? ",\n  " : "\n  ") + strokes[i].dump();
    text += strokes.empty() ? "]}\n" : "\n]}\n";
    vhost::WriteTextAtomically(path, text, "--trace");
}

}  // namespace vcli
