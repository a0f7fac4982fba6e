// What `overlay` and `drag` share: the window options (layer or composition
// window, zoom, pan, the layer's place in the composition), rendering the
// frame the window shows, and writing its picture and stroke trace.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "EffectOptions.h"
#include "Overlay.h"

namespace vcli {

struct WindowOptions {
    std::string window = "layer";
    std::string zoom = "1";
    std::string pan = "0,0";
    std::string layer_offset = "0,0";
    std::string trace;
    bool quiet = false;
};

void AddWindowOptions(CLI::App* app, WindowOptions& options);

// Throws vhost::HostError naming the option and the value.
vhost::WindowView ResolveWindowOptions(const WindowOptions& options);

// "X,Y" as two numbers; throws HostError naming `option`.
void ParsePoint(const std::string& text, const std::string& option, double& x, double& y);

// Renders `image` through the session's host as a frame of the effect and
// shows it in `window` (straight alpha over the checkerboard).
void RenderIntoWindow(EffectSession& session, const ResolvedEffect& effect, const vhost::Image& image,
                      vhost::OverlayWindow& window, bool quiet);

// Sends a draw event and checks it returned no error and gave back every suite, pen and path.
void DrawOverlay(vhost::OverlayWindow& window, const ResolvedEffect& effect);

// The window's picture as an 8-bit PNG (or any 8-bit format), written whole or not at all.
void WritePicture(const std::string& path, const vhost::OverlayWindow& window);
// The stroke trace as JSON, written whole or not at all.
void WriteTrace(const std::string& path, const vhost::OverlayWindow& window);

}  // namespace vcli
