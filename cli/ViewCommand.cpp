// `vellora view INPUT`: the reference host in a window, as a person works in it.
#include <cstdlib>
#include <memory>
#include <string>

#include "Commands.h"
#include "EffectOptions.h"
#include "HostError.h"
#include "ImageIO.h"
#include "ViewApp.h"
#include "WindowOptions.h"

namespace vcli {

namespace {

using vhost::HostError;

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

void ParseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    const auto part = [&](const std::string& s) {
        char* end = nullptr;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || v < 320 || v > 16384) {
            throw HostError("--size '" + text + "' must be WIDTHxHEIGHT, each 320 to 16384 pixels");
        }
        return static_cast<int>(v);
    };
    if (x == std::string::npos) throw HostError("--size '" + text + "' must be WIDTHxHEIGHT, e.g. 1600x1000");
    width = part(text.substr(0, x));
    height = part(text.substr(x + 1));
}

void RunView(const ViewCommandOptions& o, bool zoom_given) {
    const ResolvedEffect effect = ResolveEffectOptions(o.effect);
    vview::ViewOptions view;
    view.view = ResolveWindowOptions(o.window);
    if (!o.window.trace.empty()) {
        throw HostError("--trace is not used by view (vellora overlay and drag write the strokes)");
    }
    ParseSize(o.size, view.width, view.height);
    view.input_name = o.input;
    view.host_app = effect.host_app;
    view.layout = effect.layout;
    view.pixel_aspect = effect.pixel_aspect;
    view.downsample = effect.downsample;
    view.zoom_given = zoom_given;
    view.report = o.report;
    view.save_path = o.save;
    if (!o.save.empty()) {
        try {
            vhost::CheckWritable(o.save, effect.layout == vhost::PixelLayout::ARGB16    ? vhost::SampleType::U16
                                         : effect.layout == vhost::PixelLayout::BGRA32F ? vhost::SampleType::F32
                                                                                        : vhost::SampleType::U8);
        } catch (const HostError& e) {
            throw HostError(std::string("--save: ") + e.what());
        }
    }
    vhost::Image image = LoadInputImage(o.input);
    const std::string no_display = vview::MissingDisplayError();
    if (!no_display.empty()) throw HostError(no_display);

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
        "Open a window in which the effect works as in a host: the frame rendered through the plug-in over a\n"
        "checkerboard, the overlay it draws, and its effect controls. Drag the overlay's handles with the\n"
        "mouse; zoom with the wheel, + and -, F (fit) and 1 (100%); pan with space or the middle button and a\n"
        "drag. W switches between the layer and the composition window, H to the next host and depth.\n"
        "Ctrl+Z and Ctrl+Shift+Z undo and redo, Ctrl+F finds a control, Ctrl+S saves the picture at full\n"
        "resolution and its parameters as JSON beside it (for render --params), Ctrl+Q or Esc quits.\n"
        "Needs a display (DISPLAY); xvfb-run runs it headless.");
    cmd->add_option("INPUT", options->input, "Input image file, or testcard: (also testcard:WIDTHxHEIGHT)")
        ->required();
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
