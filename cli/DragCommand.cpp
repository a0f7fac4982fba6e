// `vellora drag INPUT --from X,Y --to X,Y`: one mouse gesture played through
// the plug-in as a host sends it (a click, then drag events along the line, the
// last carrying last_time), printing the parameters it leaves as JSON.
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/HostError.h"
#include "host/SetUp.h"
#include "params/EffectParams.h"
#include "imaging/ImageIO.h"
#include "cli/WindowOptions.h"
#include "support/InputError.h"

namespace vcli {

namespace {

struct DragOptions {
    std::string input;
    std::string from, to;
    int steps = 8;
    std::string out;
    EffectOptions effect;
    WindowOptions window;
};

PF_Point WindowPixel(const std::string& text, const std::string& option) {
    double x = 0, y = 0;
    ParsePoint(text, option, x, y);
    return PF_Point{static_cast<A_long>(std::lround(x)), static_cast<A_long>(std::lround(y))};
}

void RunDrag(const DragOptions& options) {
    ResolvedEffect effect = ResolveEffectOptions(options.effect);
    const voverlay::WindowView view = ResolveWindowOptions(options.window);
    const PF_Point from = WindowPixel(options.from, "--from");
    const PF_Point to = WindowPixel(options.to, "--to");
    if (options.steps < 1 || options.steps > 10000) {
        throw vsupport::InputError("--steps " + std::to_string(options.steps) + " is out of range (1 to 10000)");
    }
    InputImage input(options.input);
    FollowInputDepth(effect, input.Type(), options.input);
    CheckPictureAndTrace(options.out, "--out", options.window.trace);

    EffectSession session(effect, input.Width(), input.Height());
    vhost::Host& host = session.Host();
    host.InData().pixel_aspect_ratio = effect.pixel_aspect;
    const voverlay::GestureResult gesture = [&] {
        voverlay::OverlayWindow window(host, view, input.Width(), input.Height());
        return window.Gesture(from, to, options.steps);
    }();
    if (gesture.err != PF_Err_NONE) {
        throw vhost::HostError("the effect failed to handle the gesture: error " + DescribeError(gesture.err));
    }
    vhost::RequireBalancedLedgers(host);

    const nlohmann::ordered_json params = vparams::EffectValuesToJson(vparams::ReadEffectValues(host), session.Declared());
    nlohmann::ordered_json changed = nlohmann::ordered_json::array();
    for (int index : gesture.changed) {
        const char* key = vparams::ParamKey(index);
        changed.push_back(key ? nlohmann::ordered_json(key) : nlohmann::ordered_json(index));
    }
    nlohmann::ordered_json result;
    result["handle"] = gesture.handled ? nlohmann::ordered_json(gesture.handle) : nlohmann::ordered_json(nullptr);
    result["handle_name"] =
        gesture.handled ? nlohmann::ordered_json(vparams::HandleName(gesture.handle)) : nlohmann::ordered_json(nullptr);
    result["handled"] = gesture.handled;
    result["params"] = params;
    result["changed"] = changed;

    // The window after the gesture: the frame rendered and the overlay drawn
    // from the new values, in a window made after the frame so the two
    // pictures are never held beside the render's worlds.
    if (!options.out.empty() || !options.window.trace.empty()) {
        std::optional<vhost::World> frame;
        if (!options.out.empty()) frame.emplace(RenderWindowFrame(session, effect, input, options.window.quiet));
        voverlay::OverlayWindow window(host, view, input.Width(), input.Height());
        if (frame) {
            ShowFrameOnce(window, std::move(*frame), effect.downsample, input.Width(), input.Height());
            frame.reset();
        }
        DrawOverlay(window, effect);
        if (!options.window.trace.empty()) WriteTrace(options.window.trace, window);
        if (!options.out.empty()) WritePicture(options.out, window);
    }
    std::cout << result.dump() << std::endl;
}

}  // namespace

void AddDragCommand(CLI::App& app) {
    auto options = std::make_shared<DragOptions>();
    CLI::App* cmd = app.add_subcommand(
        "drag",
        "Drag one of the overlay's handles and print the values it sets\n\n"
        "Play one mouse gesture through the plug-in as a host does: a click at --from (window pixels), then\n"
        "--steps drag events along the straight line to --to, the last one ending the gesture. The values\n"
        "the effect writes and flags changed are kept between events. Prints JSON: the handle the click\n"
        "grabbed (null when none), the parameters afterwards in effect-controls units, and which changed.");
    AddInputArgument(cmd, options->input);
    cmd->add_option("--from", options->from, "Where the button goes down, X,Y in window pixels")
        ->required()
        ->check(NonEmpty());
    cmd->add_option("--to", options->to, "Where it comes up, X,Y in window pixels")->required()->check(NonEmpty());
    cmd->add_option("--steps", options->steps, "Drag events along the way, 1 to 10000")->capture_default_str();
    cmd->add_option("--out", options->out,
                    "Also write the window after the gesture, an opaque 8-bit picture (PNG, JPEG...)")
        ->check(NonEmpty());
    AddEffectOptions(cmd, options->effect);
    AddWindowOptions(cmd, options->window);
    cmd->callback([options]() { RunDrag(*options); });
}

}  // namespace vcli
