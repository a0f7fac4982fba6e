// `vellora overlay INPUT OUTPUT`: what a host's window shows of the effect, the
// rendered frame over a checkerboard with the overlay the plug-in draws on top.
#include <memory>
#include <string>

#include "Commands.h"
#include "EffectOptions.h"
#include "HostError.h"
#include "ImageIO.h"
#include "WindowOptions.h"

namespace vcli {

namespace {

struct OverlayOptions {
    std::string input;
    std::string output;
    EffectOptions effect;
    WindowOptions window;
};

void RunOverlay(const OverlayOptions& options) {
    const ResolvedEffect effect = ResolveEffectOptions(options.effect);
    const vhost::WindowView view = ResolveWindowOptions(options.window);
    // Refuse an output that cannot hold the picture before any work is done.
    vhost::CheckWritable(options.output, vhost::SampleType::U8);

    const vhost::Image image = LoadInputImage(options.input);
    EffectSession session(effect, image.width, image.height);
    vhost::OverlayWindow window(session.Host(), view, image.width, image.height);
    RenderIntoWindow(session, effect, image, window, options.window.quiet);
    DrawOverlay(window, effect);

    if (!options.window.trace.empty()) WriteTrace(options.window.trace, window);
    WritePicture(options.output, window);
}

}  // namespace

void AddOverlayCommand(CLI::App& app) {
    auto options = std::make_shared<OverlayOptions>();
    CLI::App* cmd = app.add_subcommand(
        "overlay",
        "Show what a host's window shows: the rendered frame over a grey checkerboard at the window's zoom,\n"
        "with the effect's overlay (mask outline, ellipse, corner squares, feather circles, rotation arm,\n"
        "opacity track) drawn on top by the plug-in itself through a draw event. The default view is the\n"
        "layer window at zoom 1, where window pixels are layer pixels. OUTPUT is an 8-bit picture (PNG).");
    cmd->add_option("INPUT", options->input, "Input image file, or testcard: (also testcard:WIDTHxHEIGHT)")
        ->required();
    cmd->add_option("OUTPUT", options->output, "Picture of the window to write (PNG)")->required();
    AddEffectOptions(cmd, options->effect);
    AddWindowOptions(cmd, options->window);
    cmd->callback([options]() { RunOverlay(*options); });
}

}  // namespace vcli
