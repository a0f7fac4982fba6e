// What `overlay` and `drag` share: the window options (layer or composition
// window, zoom, pan, the layer's place in the composition), rendering the
// frame the window shows, and writing its picture and stroke trace.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/EffectOptions.h"
#include "overlay/Overlay.h"

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

// Throws vsupport::InputError naming the option and the value.
voverlay::WindowView ResolveWindowOptions(const WindowOptions& options);

// Renders `input` through the session's host and returns the rendered frame
// (at the render's downsampled size). The input's world is gone when it
// returns; make the window after it, so its picture is not held beside it.
vhost::World RenderWindowFrame(EffectSession& session, const ResolvedEffect& effect, InputImage& input,
                               bool quiet);
// Shows `frame` in `window` as the window shows the layer (width x height,
// a reduced frame enlarged); the frame is freed with the call.
void ShowFrameOnce(voverlay::OverlayWindow& window, vhost::World frame, int downsample, int width, int height);

// Sends a draw event and checks it returned no error and gave back every suite, pen and path.
void DrawOverlay(voverlay::OverlayWindow& window, const ResolvedEffect& effect);

// The window's picture, opaque 8-bit RGB, written whole or not at all.
void WritePicture(const std::string& path, const voverlay::OverlayWindow& window);
// Before any work: throws InputError when the picture (named by `picture_option`
// in messages; may be empty) cannot be written, or the trace cannot be or is the same file.
void CheckPictureAndTrace(const std::string& picture, const std::string& picture_option, const std::string& trace);
// The stroke trace as JSON, written whole or not at all.
void WriteTrace(const std::string& path, const voverlay::OverlayWindow& window);

}  // namespace vcli
