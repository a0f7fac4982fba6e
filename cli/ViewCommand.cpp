// `vellora view INPUT`: the reference host in a window, as a person works in it.
#include <cstdlib>
#include <memory>
#include <vector>
#include <string>

#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/HostError.h"
#include "imaging/ImageIO.h"
#include "view/ViewApp.h"
#include "cli/WindowOptions.h"
#include "support/InputError.h"

namespace vcli {

namespace {

using vhost::HostError;
using vsupport::InputError;

struct ViewCommandOptions {
    std::string input;
    std::string size = "1280x800";
    bool report = false;
    std::string save;
    EffectOptions effect;
    WindowOptions window;
};

class CliSession : public vview::Session {
public:
    CliSession(const ResolvedEffect& effect, int layer_width, int layer_height)
        : session_(effect, layer_width, layer_height) {}
    vhost::Host& Host() override { return session_.Host(); }

private:
    EffectSession session_;
};

// What `vellora render` resolves for a host and depth of the window: the first
// as the options were given (the depth may follow the input), any other named.
ResolvedEffect RenderEffectFor(const EffectOptions& given, const ResolvedEffect& first, InputImage& input,
                               vhost::HostApp app, vhost::PixelLayout layout, std::string& render_options) {
    EffectOptions e;
    e.host = given.host;
    e.depth = given.depth;
    if (app != first.host_app || layout != first.layout) {
        e.host = app == vhost::HostApp::Premiere ? "premiere" : "ae";
        e.depth = layout == vhost::PixelLayout::ARGB16 ? "16" : layout == vhost::PixelLayout::BGRA32F ? "float" : "8";
    }
    ResolvedEffect effect = ResolveEffectOptions(e);
    FollowInputDepth(effect, input.Type(), input.Name());
    render_options.clear();
    if (effect.host_app == vhost::HostApp::Premiere) render_options += " --host premiere";
    if (!e.depth.empty()) render_options += " --depth " + e.depth;
    if (Trim(given.par) != "1/1" && Trim(given.par) != "1") render_options += " --par " + Trim(given.par);
    return effect;
}

// Written as render writes: the input's channels and metadata, render's depth.
vimaging::WriteOptions WriteOptionsFor(const ResolvedEffect& effect, const InputImage& input,
                                    std::vector<std::string>* warnings) {
    vimaging::WriteOptions fwrite;
    fwrite.source = input.Source();
    fwrite.type = effect.file_type;
    fwrite.keep_source_storage = !effect.depth_given;
    if (warnings) fwrite.warn = [warnings](const std::string& w) { warnings->push_back(w); };
    return fwrite;
}

void RunView(const ViewCommandOptions& o, bool zoom_given) {
    ResolvedEffect effect = ResolveEffectOptions(o.effect);
    vview::ViewOptions view;
    view.view = ResolveWindowOptions(o.window);
    if (!o.window.trace.empty()) {
        throw InputError("--trace is not used by view (vellora overlay and drag write the strokes)");
    }
    ParseSize(o.size, "--size", 320, 16384, view.width, view.height);
    auto input = std::make_shared<InputImage>(o.input);
    FollowInputDepth(effect, input->Type(), o.input);
    if (!o.save.empty()) {
        try {
            vimaging::CheckWritable(o.save, effect.file_type, WriteOptionsFor(effect, *input, nullptr), input->Width(),
                                 input->Height());
        } catch (const InputError& e) {
            throw InputError(std::string("--save: ") + e.what());
        } catch (const HostError& e) {
            throw HostError(std::string("--save: ") + e.what());
        }
    }
    vimaging::Image image = input->Read();
    PrintWarnings(effect);
    const std::string no_display = vview::MissingDisplayError();
    if (!no_display.empty()) throw HostError(no_display);

    view.input_name = o.input;
    view.host_app = effect.host_app;
    view.layout = effect.layout;
    view.pixel_aspect = effect.pixel_aspect;
    view.downsample = effect.downsample;
    view.zoom_given = zoom_given;
    view.report = o.report;
    view.save_path = o.save;
    const EffectOptions given = o.effect;
    view.saver.file_type = [given, effect, input](vhost::HostApp app, vhost::PixelLayout layout) {
        std::string unused;
        return RenderEffectFor(given, effect, *input, app, layout, unused).file_type;
    };
    view.saver.save = [given, effect, input](const std::string& path, const vhost::World& frame, vhost::HostApp app,
                                             vhost::PixelLayout layout) {
        vview::FrameSaver::Saved saved;
        const ResolvedEffect as = RenderEffectFor(given, effect, *input, app, layout, saved.render_options);
        const vimaging::WriteOptions write = WriteOptionsFor(as, *input, &saved.warnings);
        vimaging::CheckWritable(path, as.file_type, write, frame.Width(), frame.Height());
        vimaging::WriteWorld(path, frame, write);
        return saved;
    };

    const int width = image.width, height = image.height;
    const vview::SessionFactory open = [effect, width, height](vhost::HostApp app) {
        ResolvedEffect e = effect;
        e.host_app = app;
        return std::unique_ptr<vview::Session>(std::make_unique<CliSession>(e, width, height));
    };
    std::unique_ptr<vview::Session> first = open(effect.host_app);
    vview::ViewApp app(view, std::move(image), std::move(first), open);
    app.Run();
}

}  // namespace

void AddViewCommand(CLI::App& app) {
    auto options = std::make_shared<ViewCommandOptions>();
    CLI::App* cmd = app.add_subcommand(
        "view",
        "Open a window to work with the effect, its overlay and controls\n\n"
        "Open a window in which the effect works as in a host: the frame rendered through the plug-in over a\n"
        "checkerboard, the overlay it draws, and its effect controls. Drag the overlay's handles with the\n"
        "mouse; zoom with the wheel, + and -, F (fit) and 1 (100%); pan with space or the middle button and a\n"
        "drag. W switches between the layer and the composition window, H to the next host and depth.\n"
        "Ctrl+Z and Ctrl+Shift+Z undo and redo, Ctrl+F finds a control, Ctrl+S saves the picture at full\n"
        "resolution and its parameters as JSON beside it (for render --params), Ctrl+Q or Esc quits.\n"
        "Needs a display (DISPLAY); xvfb-run runs it headless.");
    AddInputArgument(cmd, options->input);
    cmd->add_option("--size", options->size, "Window size in screen pixels")
        ->type_name("WxH")
        ->capture_default_str();
    cmd->add_option("--save", options->save,
                    "Where Ctrl+S saves the picture (its extension picks the format); the parameters go beside it "
                    "with .json (default: ask on the first save)")
        ->type_name("FILE");
    cmd->add_flag("--report", options->report,
                  "Print JSON lines on standard output: {\"event\":\"ready\",\"origin\":[X0,Y0],\"zoom\":Z,"
                  "\"window\":\"layer\"|\"comp\"} when the picture is shown and after every zoom or pan, "
                  "{\"event\":\"gesture\",\"handle\":NAME,\"params\":{...}} after every gesture, "
                  "{\"event\":\"saved\",...} after every save and {\"event\":\"exit\",\"params\":{...}} at the end");
    AddEffectOptions(cmd, options->effect);
    AddWindowOptions(cmd, options->window);
    cmd->callback([options, cmd]() { RunView(*options, cmd->get_option("--zoom")->count() > 0); });
}

}  // namespace vcli
