// What every part of `vellora view` works on: the session and its host, the
// frames and the screen, the overlay window, where the picture sits, the
// history of changes, what the mouse is doing, what the next redraw must
// render and the status line's message. The parts (Input, Saving, Report,
// RenderScheduler, HostSwitch and the menus) each own the rest of their state.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "view/Frames.h"
#include "view/ParamHistory.h"
#include "view/Screen.h"
#include "view/ViewApp.h"
#include "view/ViewGeometry.h"

namespace vview {

// The window's layout: the menu bar on top, the status line at the bottom,
// the effect controls on the right and the picture in what is left.
const int kMenuHeight = 19;  // ImGui's default 13-pixel font and 3-pixel frame padding
const int kStatusHeight = 24;
const int kPanelWidth = 360;

struct ViewState {
    ViewState(const ViewOptions& o, vimaging::Image input, std::unique_ptr<Session> first);

    ViewOptions options;
    std::unique_ptr<Session> session;
    vhost::HostApp app;
    vhost::PixelLayout layout;
    Frames frames;
    Screen screen;
    PictureLayer picture;  // after the screen, whose OpenGL context it needs
    std::unique_ptr<voverlay::OverlayWindow> overlay;
    ViewGeometry layer_view, comp_view;
    PF_WindowType window_type;
    ParamHistory history;
    std::string effect_name, about_text;

    // What the mouse is doing; every command but the gesture's own waits for its end.
    enum class Drag { None, Gesture, Pan } drag = Drag::None;
    int mouse_x = -1, mouse_y = -1;

    // What the next redraw must render.
    enum class Need { None, Reduced, Full } need = Need::Full;

    // The status line's message.
    std::string message;
    bool message_is_error = false;

    bool quit = false;

    vhost::Host& Host() { return session->Host(); }
    int LayerWidth() const { return frames.Width(); }
    int LayerHeight() const { return frames.Height(); }
    ViewGeometry& Geometry() { return window_type == PF_Window_COMP ? comp_view : layer_view; }
    Rect PictureArea() const;
    voverlay::WindowView WindowView();
    // The picture's starting zoom and pan in both windows, as the options ask.
    void SetUpViews();

    void Say(const std::string& text, bool error = false);
    // Says so when the plug-in did not give back every suite, pen and path it took.
    void CheckLedgers();
    nlohmann::ordered_json ParamsJson();
};

// "dir/name.png" -> "name", "testcard:WxH" -> "testcard"; "view" when nothing is left.
std::string Stem(const std::string& name);

}  // namespace vview
