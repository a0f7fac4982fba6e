// `vellora overlay INPUT OUTPUT`: what a host's window shows of the effect, the
// rendered frame over a checkerboard with the overlay the plug-in draws on top.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/HostError.h"
#include "imaging/ImageIO.h"
#include "cli/WindowOptions.h"

namespace vcli {

namespace {

struct OverlayOptions {
    std::string input;
    std::string output;
    EffectOptions effect;
    WindowOptions window;
};

void RunOverlay(const OverlayOptions& options) {
    ResolvedEffect effect = ResolveEffectOptions(options.effect);
    const voverlay::WindowView view = ResolveWindowOptions(options.window);
    InputImage input(options.input);
    FollowInputDepth(effect, input.Type(), options.input);
    // Refuse an output that cannot hold the picture before any work is done.
    CheckPictureAndTrace(options.output, "OUTPUT", options.window.trace);

    EffectSession session(effect, input.Width(), input.Height());
    vhost::World frame = RenderWindowFrame(session, effect, input, options.window.quiet);
    voverlay::OverlayWindow window(session.Host(), view, input.Width(), input.Height());
    ShowFrameOnce(window, std::move(frame), effect.downsample, input.Width(), input.Height());
    DrawOverlay(window, effect);

    if (!options.window.trace.empty()) WriteTrace(options.window.trace, window);
    WritePicture(options.output, window);
}

}  // namespace

void AddOverlayCommand(CLI::App& app) {
    auto options = std::make_shared<OverlayOptions>();
    CLI::App* cmd = app.add_subcommand(
        "overlay",
        "Picture a host's window: the frame with the effect's overlay\n\n"
        "Show what a host's window shows: the rendered frame over a grey checkerboard at the window's zoom,\n"
        "with the effect's overlay (mask outline, ellipse, corner squares, feather circles, rotation arm,\n"
        "opacity track) drawn on top by the plug-in itself through a draw event. The default view is the\n"
        "layer window at zoom 1, where window pixels are layer pixels. OUTPUT is an opaque 8-bit picture:\n"
        "PNG, TIFF, Targa, JPEG 2000 or JPEG (lossy). A file is replaced only once the new one is complete.");
    AddInputArgument(cmd, options->input);
    cmd->add_option("OUTPUT", options->output, "Picture of the window to write (PNG, JPEG...)")
        ->required()
        ->check(NonEmpty());
    AddEffectOptions(cmd, options->effect);
    AddWindowOptions(cmd, options->window);
    cmd->callback([options]() { RunOverlay(*options); });
}

}  // namespace vcli
