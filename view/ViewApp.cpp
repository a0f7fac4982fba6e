#include "view/ViewApp.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <backends/imgui_impl_sdl.h>
#include <imgui.h>
#include <imgui_stdlib.h>
#include <nlohmann/json.hpp>

#include "host/ApiNames.h"
#include "imaging/AtomicFile.h"
#include "view/ControlsPanel.h"
#include "params/EffectParams.h"
#include "view/Frames.h"
#include "host/HostError.h"
#include "view/ParamHistory.h"
#include "view/Screen.h"
#include "view/ViewGeometry.h"

namespace vview {

namespace {

using Clock = std::chrono::steady_clock;
using vhost::HostError;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The window's layout: the menu bar on top, the status line at the bottom,
// the effect controls on the right and the picture in what is left.
const int kMenuHeight = 19;  // ImGui's default 13-pixel font and 3-pixel frame padding
const int kStatusHeight = 24;
const int kPanelWidth = 360;

// A render during a gesture aims at this, leaving the rest of a 16 ms frame to
// the overlay, the upload and presenting.
const double kGestureRenderBudgetMs = 6.0;
const int kMaxGestureReduction = 8;

// After an input event, redraw a few frames so hover and focus settle.
const int kSettleFrames = 3;
const int kIdleWakeMs = 200;

struct Mode {
    vhost::HostApp app;
    vhost::PixelLayout layout;
    const char* name;
};
const Mode kModes[] = {
    {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8, "After Effects 8-bit"},
    {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB16, "After Effects 16-bit"},
    {vhost::HostApp::Premiere, vhost::PixelLayout::BGRA8, "Premiere 8-bit"},
    {vhost::HostApp::Premiere, vhost::PixelLayout::BGRA32F, "Premiere float"},
};

const char* ModeName(vhost::HostApp app, vhost::PixelLayout layout) {
    for (const Mode& m : kModes) {
        if (m.app == app && m.layout == layout) return m.name;
    }
    return "?";
}

// "dir/name.png" -> "dir/name" + ext; empty when the name has no extension.
std::string WithExtension(const std::string& path, const std::string& ext) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return "";
    return path.substr(0, dot) + ext;
}

std::string Stem(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t colon = base.find(':');
    if (colon != std::string::npos) base = base.substr(0, colon);  // testcard:WxH
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    return base.empty() ? std::string("view") : base;
}

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string ZoomText(double zoom) {
    const double percent = zoom * 100;
    return Fixed(percent, std::fabs(percent - std::round(percent)) < 0.05 ? 0 : 1) + "%";
}

bool IsKeyEvent(const SDL_Event& e) {
    return e.type == SDL_KEYDOWN || e.type == SDL_KEYUP || e.type == SDL_TEXTINPUT;
}

}  // namespace

std::string MissingDisplayError() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
        const char* value = std::getenv(name);
        if (value && *value) return "";
    }
    return "DISPLAY is unset, so there is no display to open the window on; xvfb-run runs it headless "
           "(xvfb-run -a vellora view ...)";
}

struct ViewApp::Impl {
    Impl(const ViewOptions& o, vimaging::Image input, std::unique_ptr<Session> first, SessionFactory factory)
        : options(o),
          open_session(std::move(factory)),
          session(std::move(first)),
          app(o.host_app),
          layout(o.layout),
          frames(std::move(input)),
          screen("vellora view - " + o.input_name, o.width, o.height),
          window_type(o.view.type == PF_Window_COMP ? PF_Window_COMP : PF_Window_LAYER),
          save_path(o.save_path) {}

    ViewOptions options;
    SessionFactory open_session;
    std::unique_ptr<Session> session;
    vhost::HostApp app;
    vhost::PixelLayout layout;
    Frames frames;
    Screen screen;
    std::unique_ptr<voverlay::OverlayWindow> overlay;
    PictureLayer picture;
    ViewGeometry layer_view, comp_view;
    PF_WindowType window_type;
    ControlsPanel controls;
    ParamHistory history;
    std::string effect_name, about_text;

    // The mouse.
    enum class Drag { None, Gesture, Pan } drag = Drag::None;
    Uint8 drag_button = 0;  // only its release ends the drag
    ParamSnapshot gesture_before;
    std::optional<PF_Point> pending_motion;
    int pan_from_x = 0, pan_from_y = 0;
    bool space_down = false;
    int mouse_x = -1, mouse_y = -1;

    // What the next redraw must render, and what the screen shows.
    enum class Need { None, Reduced, Full } need = Need::Full;
    bool controls_editing = false;
    bool shown_reduced = false;
    double full_ms = 0;  // the last render at the view's own resolution
    Timing last;
    double gesture_update_ms = -1;
    int gesture_downsample = 0;
    double release_ms = -1;
    bool after_release = false;

    std::string message;
    bool message_is_error = false;

    bool reported = false;
    int reported_x = 0, reported_y = 0;
    double reported_zoom = 0;
    PF_WindowType reported_type = PF_Window_LAYER;

    bool open_about = false, open_keys = false, open_save = false, open_save_error = false, close_popups = false;
    std::string save_path, save_edit, save_error;
    bool quit = false;
    int redraws = 0;

    vhost::Host& Host() { return session->Host(); }
    int LayerWidth() const { return frames.Width(); }
    int LayerHeight() const { return frames.Height(); }
    ViewGeometry& Geometry() { return window_type == PF_Window_COMP ? comp_view : layer_view; }

    Rect PictureArea() const {
        int w = 0, h = 0;
        screen.Size(w, h);
        return Rect{0, kMenuHeight, std::max(1, w - kPanelWidth), std::max(1, h - kMenuHeight - kStatusHeight)};
    }

    voverlay::WindowView WindowView() {
        voverlay::WindowView vview;
        vview.type = window_type;
        vview.zoom = Geometry().Zoom();
        vview.pan_x = Geometry().OriginX();
        vview.pan_y = Geometry().OriginY();
        vview.layer_offset_x = options.view.layer_offset_x;
        vview.layer_offset_y = options.view.layer_offset_y;
        return vview;
    }

    void Say(const std::string& text, bool error = false) {
        message = text;
        message_is_error = error;
    }

    void Report(const nlohmann::ordered_json& line) {
        if (!options.report) return;
        const std::string text = line.dump() + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    nlohmann::ordered_json ParamsJson() {
        return vparams::ReadEffectValuesJson(Host());
    }

    void CheckLedgers() {
        const std::string problems = Host().LedgerReport();
        if (!problems.empty()) Say("the plug-in did not give back what it took: " + problems, true);
    }

    // Sends About through the entry point for the effect's own text.
    void ReadAbout() {
        vhost::Host& host = Host();
        host.OutData().return_msg[0] = '\0';
        const PF_Err err = host.About();
        about_text = host.OutData().return_msg;
        std::replace(about_text.begin(), about_text.end(), '\r', '\n');
        if (err != PF_Err_NONE) about_text = "The effect's About failed: error " + vhost::DescribeError(err);
    }

    void StartSession() {
        Host().InData().pixel_aspect_ratio = options.pixel_aspect;
        const std::string path = Host().Module().Path();
        const size_t slash = path.find_last_of('/');
        effect_name = Stem(slash == std::string::npos ? path : path.substr(slash + 1));
        ReadAbout();
        screen.SetTitle("vellora view - " + options.input_name + " - " + effect_name + " (" +
                        ModeName(app, layout) + ")");
    }

    void SetUpViews() {
        const Rect area = PictureArea();
        const double lw = LayerWidth(), lh = LayerHeight();
        layer_view.SetContent(lw, lh);
        // The composition holds the layer at its offset, as the host's other windows size it.
        comp_view.SetContent(std::max(lw, options.view.layer_offset_x + lw),
                             std::max(lh, options.view.layer_offset_y + lh));
        for (ViewGeometry* g : {&layer_view, &comp_view}) {
            if (options.zoom_given) {
                g->Centre(area, options.view.zoom);
            } else {
                g->Fit(area);
            }
            g->Pan(static_cast<int>(std::lround(options.view.pan_x)), static_cast<int>(std::lround(options.view.pan_y)));
        }
    }

    int GestureReduction() const {
        int k = 2;
        while (k < kMaxGestureReduction && full_ms / (k * k) > kGestureRenderBudgetMs) ++k;
        return k;
    }

    void Render(bool reduced, Timing& timing) {
        const int downsample = options.downsample * (reduced ? GestureReduction() : 1);
        const PF_Err err = frames.Render(Host(), layout, downsample, options.pixel_aspect);
        if (err != PF_Err_NONE) {
            Say("the effect failed to render the frame: error " + vhost::DescribeError(err), true);
        } else if (message_is_error && message.rfind("the effect failed to render", 0) == 0) {
            Say("");
        }
        CheckLedgers();
        timing.render_ms = frames.RenderMs();
        timing.downsample = downsample;
        shown_reduced = reduced;
        if (!reduced) {
            full_ms = frames.RenderMs();
            // The next gesture's input is ready before the gesture starts.
            frames.Prepare(layout, options.downsample * GestureReduction());
        }
        const vhost::World& out = frames.Output();
        picture.Upload(frames.Display().data(), out.Width(), out.Height());
    }

    void Undo() {
        if (drag != Drag::None) return;
        if (const ParamHistory::Change* change = history.Undo()) {
            RestoreParams(Host(), change->before);
            need = Need::Full;
            Say("Undid " + change->label);
        }
    }

    void Redo() {
        if (drag != Drag::None) return;
        if (const ParamHistory::Change* change = history.Redo()) {
            RestoreParams(Host(), change->after);
            need = Need::Full;
            Say("Redid " + change->label);
        }
    }

    void ResetAll() {
        const ParamSnapshot before = CaptureParams(Host());
        Host().ResetParams(LayerWidth(), LayerHeight());
        history.Record("Reset all", before, CaptureParams(Host()));
        need = Need::Full;
    }

    void SwitchMode(const Mode& mode) {
        if (drag != Drag::None || (mode.app == app && mode.layout == layout)) return;
        try {
            const ParamSnapshot values = CaptureParams(Host());
            std::unique_ptr<Session> next = open_session(mode.app);
            int w = 0, h = 0;
            screen.Size(w, h);
            auto next_overlay = std::make_unique<voverlay::OverlayWindow>(next->Host(), WindowView(), LayerWidth(),
                                                                       LayerHeight(), w, h);
            next_overlay->SetRasterise(false);
            RestoreParams(next->Host(), values);
            // The old window refers to the old host: it goes first.
            overlay = std::move(next_overlay);
            session = std::move(next);
            app = mode.app;
            layout = mode.layout;
            StartSession();
            need = Need::Full;
            Say(std::string("Host: ") + mode.name);
        } catch (const HostError& e) {
            Say(std::string("cannot switch to ") + mode.name + ": " + e.what(), true);
        }
    }

    // The host and depth after the current one, in menu order, round to the first.
    const Mode& NextMode() const {
        const size_t n = sizeof kModes / sizeof kModes[0];
        for (size_t i = 0; i < n; ++i) {
            if (kModes[i].app == app && kModes[i].layout == layout) return kModes[(i + 1) % n];
        }
        return kModes[0];
    }

    void SwitchWindow() {
        if (drag != Drag::None) return;
        window_type = window_type == PF_Window_COMP ? PF_Window_LAYER : PF_Window_COMP;
    }

    void ZoomStep(bool in) {
        if (drag != Drag::None) return;
        ViewGeometry& g = Geometry();
        const Rect area = PictureArea();
        const bool at_pointer = area.Contains(mouse_x, mouse_y);
        g.ZoomAbout(in ? ViewGeometry::StepUp(g.Zoom()) : ViewGeometry::StepDown(g.Zoom()),
                    at_pointer ? mouse_x : area.x + area.w / 2.0, at_pointer ? mouse_y : area.y + area.h / 2.0);
    }

    void Save(const std::string& path) {
        bool image_saved = false;
        try {
            if (!options.saver.save) throw HostError("this window cannot save");
            const std::string params_path = WithExtension(path, ".json");
            if (params_path.empty()) {
                throw HostError("'" + path + "' has no extension to pick the image format by (e.g. .png)");
            }
            if (params_path == path) throw HostError("'" + path + "' would be overwritten by the parameters");
            const nlohmann::ordered_json params = ParamsJson();
            // A value --params would refuse (a handle dragged past the centre) cannot be saved to be rendered again.
            vparams::EffectValuesFromJson(params, {}, "the parameters", vparams::Declaration::Read(Host()));
            if (!frames.HasFrame() || frames.Downsample() != 1 || need != Need::None) {
                Timing unused;
                const int view_downsample = options.downsample;
                options.downsample = 1;
                Render(false, unused);
                options.downsample = view_downsample;
            }
            // Both files or neither: the parameters are written first and put in place last.
            vimaging::PendingText params_file(params_path, params.dump(2) + "\n");
            const FrameSaver::Saved saved = options.saver.save(path, frames.Output(), app, layout);
            image_saved = true;
            params_file.Commit();
            save_path = path;
            std::string text = "Saved " + path + " and " + params_path + "; vellora render " + options.input_name +
                               " OUT --params " + params_path + saved.render_options + " renders it again";
            for (const std::string& warning : saved.warnings) text += "; " + warning;
            Say(text);
            Report({{"event", "saved"}, {"image", path}, {"params_file", params_path}});
        } catch (const HostError& e) {
            // A dialog that stays until dismissed: a failed save must not pass unseen.
            save_error = std::string(image_saved ? "The picture was saved as " + path + ", but not its parameters"
                                                 : "Nothing was saved") +
                         ":\n" + e.what();
            open_save_error = true;
            Say("save failed: " + std::string(e.what()), true);
            Report({{"event", "save_failed"}, {"image", path}, {"error", e.what()}});
        }
    }

    std::string DefaultSavePath() const {
        const bool floats =
            options.saver.file_type && options.saver.file_type(app, layout) == vimaging::SampleType::F32;
        return Stem(options.input_name) + "-" + effect_name + (floats ? ".exr" : ".png");
    }

    void AskSavePath() {
        save_edit = save_path.empty() ? DefaultSavePath() : save_path;
        open_save = true;
    }

    void SaveNow() {
        if (save_path.empty()) {
            AskSavePath();
        } else {
            Save(save_path);
        }
    }

    bool PointerOnPicture(int x, int y) const {
        return PictureArea().Contains(x, y) && !ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId);
    }

    void Press(int x, int y, bool pan) {
        if (drag != Drag::None || !PointerOnPicture(x, y)) return;
        if (pan) {
            drag = Drag::Pan;
            pan_from_x = x;
            pan_from_y = y;
            return;
        }
        drag = Drag::Gesture;
        gesture_before = CaptureParams(Host());
        overlay->SetView(WindowView());
        overlay->Press(PF_Point{x, y});
        if (CaptureParams(Host()) != gesture_before) need = Need::Reduced;
    }

    void Motion(int x, int y) {
        mouse_x = x;
        mouse_y = y;
        if (drag == Drag::Pan) {
            Geometry().Pan(x - pan_from_x, y - pan_from_y);
            pan_from_x = x;
            pan_from_y = y;
        } else if (drag == Drag::Gesture && overlay->Dragging()) {
            // Only the latest position is sent, once per redraw: every drag is absolute.
            pending_motion = PF_Point{x, y};
        }
    }

    void Release(int x, int y) {
        if (drag == Drag::Pan) {
            drag = Drag::None;
            return;
        }
        if (drag != Drag::Gesture) return;
        drag = Drag::None;
        pending_motion.reset();
        const voverlay::GestureResult result = overlay->Release(PF_Point{x, y});
        if (result.err != PF_Err_NONE) {
            Say("the effect failed to handle the gesture: error " + vhost::DescribeError(result.err), true);
        }
        CheckLedgers();
        const ParamSnapshot after = CaptureParams(Host());
        const std::string handle = result.handled ? vparams::HandleName(result.handle) : "";
        history.Record("drag of " + (handle.empty() ? std::string("the overlay") : handle), gesture_before, after);
        if (after != gesture_before || shown_reduced) {
            need = Need::Full;
            after_release = true;
        }
        Report({{"event", "gesture"},
                {"handle", result.handled ? nlohmann::ordered_json(handle) : nlohmann::ordered_json(nullptr)},
                {"params", ParamsJson()}});
    }

    void SendPendingMotion() {
        if (!pending_motion || drag != Drag::Gesture) return;
        const ParamSnapshot before = CaptureParams(Host());
        const PF_Err err = overlay->Move(*pending_motion);
        pending_motion.reset();
        if (err != PF_Err_NONE) {
            Say("the effect failed to handle the gesture: error " + vhost::DescribeError(err), true);
        }
        if (CaptureParams(Host()) != before) need = Need::Reduced;
    }

    void HandleKey(const SDL_Keysym& key) {
        const ImGuiIO& io = ImGui::GetIO();
        const bool ctrl = (key.mod & KMOD_CTRL) != 0, shift = (key.mod & KMOD_SHIFT) != 0;
        if (ctrl && key.sym == SDLK_q) {
            quit = true;
            return;
        }
        if (ctrl && key.sym == SDLK_s) {
            if (shift) {
                AskSavePath();
            } else {
                SaveNow();
            }
            return;
        }
        if (key.sym == SDLK_ESCAPE) {
            // Escape first leaves what the user is typing in, then a dialog, then the window.
            if (io.WantTextInput) return;
            // A dialog asked for but not drawn yet counts as open: it opens and closes in the next frame.
            if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId) || open_about || open_keys || open_save ||
                open_save_error) {
                close_popups = true;
            } else {
                quit = true;
            }
            return;
        }
        if (io.WantTextInput) return;
        if (ctrl) {
            if (key.sym == SDLK_z) {
                shift ? Redo() : Undo();
            } else if (key.sym == SDLK_y) {
                Redo();
            } else if (key.sym == SDLK_f) {
                controls.FocusFilter();
            }
            return;
        }
        switch (key.sym) {
            case SDLK_PLUS: case SDLK_EQUALS: case SDLK_KP_PLUS: ZoomStep(true); break;
            case SDLK_MINUS: case SDLK_KP_MINUS: ZoomStep(false); break;
            case SDLK_f:
                if (drag == Drag::None) Geometry().Fit(PictureArea());
                break;
            case SDLK_1: case SDLK_KP_1:
                if (drag == Drag::None) Geometry().ZoomAbout(1.0, PictureArea().x + PictureArea().w / 2.0,
                                                             PictureArea().y + PictureArea().h / 2.0);
                break;
            case SDLK_w: SwitchWindow(); break;
            case SDLK_h: SwitchMode(NextMode()); break;
            case SDLK_SPACE: space_down = true; break;
            default: break;
        }
    }

    void HandleEvent(const SDL_Event& e) {
        ImGui_ImplSDL2_ProcessEvent(&e);
        if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) {
            // The backend reads the modifiers as they are now; a key waiting in the
            // queue must see them as they were when it was pressed.
            ImGuiIO& io = ImGui::GetIO();
            io.KeyShift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
            io.KeyCtrl = (e.key.keysym.mod & KMOD_CTRL) != 0;
            io.KeyAlt = (e.key.keysym.mod & KMOD_ALT) != 0;
            io.KeySuper = (e.key.keysym.mod & KMOD_GUI) != 0;
        }
        redraws = kSettleFrames;
        switch (e.type) {
            case SDL_QUIT: quit = true; break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) quit = true;
                if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                    int w = 0, h = 0;
                    screen.Size(w, h);
                    overlay->Resize(std::max(1, w), std::max(1, h));
                }
                break;
            case SDL_KEYDOWN: HandleKey(e.key.keysym); break;
            case SDL_KEYUP:
                if (e.key.keysym.sym == SDLK_SPACE) space_down = false;
                break;
            case SDL_MOUSEBUTTONDOWN:
                if ((e.button.button == SDL_BUTTON_LEFT || e.button.button == SDL_BUTTON_MIDDLE) &&
                    drag == Drag::None) {
                    mouse_x = e.button.x;
                    mouse_y = e.button.y;
                    Press(e.button.x, e.button.y, e.button.button == SDL_BUTTON_MIDDLE || space_down);
                    if (drag != Drag::None) drag_button = e.button.button;
                }
                break;
            case SDL_MOUSEBUTTONUP:
                if (drag != Drag::None && e.button.button == drag_button) Release(e.button.x, e.button.y);
                break;
            case SDL_MOUSEMOTION: Motion(e.motion.x, e.motion.y); break;
            case SDL_MOUSEWHEEL:
                if (drag == Drag::None && e.wheel.y != 0 && PointerOnPicture(mouse_x, mouse_y)) {
                    ViewGeometry& g = Geometry();
                    g.ZoomAbout(e.wheel.y > 0 ? ViewGeometry::StepUp(g.Zoom()) : ViewGeometry::StepDown(g.Zoom()),
                                mouse_x, mouse_y);
                }
                break;
            default: break;
        }
    }

    void DrawMenus() {
        if (!ImGui::BeginMainMenuBar()) return;
        if (ImGui::BeginMenu("File")) {
            if (ImGui::MenuItem("Save", "Ctrl+S")) SaveNow();
            if (ImGui::MenuItem("Save As...", "Ctrl+Shift+S")) AskSavePath();
            ImGui::Separator();
            if (ImGui::MenuItem("Quit", "Ctrl+Q")) quit = true;
            ImGui::EndMenu();
        }
        if (ImGui::BeginMenu("Edit")) {
            const std::string undo = history.CanUndo() ? "Undo " + history.NextUndo() : "Undo";
            const std::string redo = history.CanRedo() ? "Redo " + history.NextRedo() : "Redo";
            if (ImGui::MenuItem(undo.c_str(), "Ctrl+Z", false, history.CanUndo())) Undo();
            if (ImGui::MenuItem(redo.c_str(), "Ctrl+Shift+Z", false, history.CanRedo())) Redo();
            ImGui::Separator();
            if (ImGui::MenuItem("Find control", "Ctrl+F")) controls.FocusFilter();
            if (ImGui::MenuItem("Reset all controls")) ResetAll();
            ImGui::EndMenu();
        }
        if (ImGui::BeginMenu("View")) {
            if (ImGui::MenuItem("Layer window", "W", window_type == PF_Window_LAYER) && window_type != PF_Window_LAYER) {
                SwitchWindow();
            }
            if (ImGui::MenuItem("Composition window", "W", window_type == PF_Window_COMP) &&
                window_type != PF_Window_COMP) {
                SwitchWindow();
            }
            ImGui::Separator();
            if (ImGui::MenuItem("Zoom in", "+")) ZoomStep(true);
            if (ImGui::MenuItem("Zoom out", "-")) ZoomStep(false);
            if (ImGui::MenuItem("Fit", "F")) Geometry().Fit(PictureArea());
            if (ImGui::MenuItem("100%", "1")) {
                const Rect a = PictureArea();
                Geometry().ZoomAbout(1.0, a.x + a.w / 2.0, a.y + a.h / 2.0);
            }
            ImGui::EndMenu();
        }
        if (ImGui::BeginMenu("Host")) {
            for (const Mode& m : kModes) {
                if (ImGui::MenuItem(m.name, nullptr, m.app == app && m.layout == layout)) SwitchMode(m);
            }
            ImGui::Separator();
            if (ImGui::MenuItem("Next host and depth", "H")) SwitchMode(NextMode());
            ImGui::EndMenu();
        }
        if (ImGui::BeginMenu("Help")) {
            if (ImGui::MenuItem(("About " + effect_name + "...").c_str())) open_about = true;
            if (ImGui::MenuItem("Keys...")) open_keys = true;
            ImGui::EndMenu();
        }
        ImGui::EndMainMenuBar();
    }

    void DrawControls() {
        int w = 0, h = 0;
        screen.Size(w, h);
        ImGui::SetNextWindowPos(ImVec2(static_cast<float>(w - kPanelWidth), kMenuHeight));
        ImGui::SetNextWindowSize(ImVec2(kPanelWidth, static_cast<float>(std::max(1, h - kMenuHeight - kStatusHeight))));
        const std::string title = "Effect Controls: " + effect_name + "###controls";
        if (ImGui::Begin(title.c_str(), nullptr,
                         ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse)) {
            const ControlsPanel::Outcome outcome = controls.Draw(Host(), LayerWidth(), LayerHeight(), history);
            if (outcome.changed) need = outcome.editing ? Need::Reduced : Need::Full;
            controls_editing = outcome.editing;
        }
        ImGui::End();
    }

    std::string StatusText() {
        std::string text = std::string(ModeName(app, layout)) + " | " +
                           (window_type == PF_Window_COMP ? "composition " : "layer ") + ZoomText(Geometry().Zoom());
        text += " | frame " + Fixed(full_ms, 1) + " ms";
        if (options.downsample > 1) text += " at 1/" + std::to_string(options.downsample);
        if (gesture_update_ms >= 0) {
            text += " | drag update " + Fixed(gesture_update_ms, 1) + " ms at 1/" + std::to_string(gesture_downsample);
        }
        if (release_ms >= 0) text += " | release " + Fixed(release_ms, 1) + " ms";
        if (PictureArea().Contains(mouse_x, mouse_y)) {
            ViewGeometry& g = Geometry();
            double x = std::floor((mouse_x - g.OriginX()) / g.Zoom() + 0.5);
            double y = std::floor((mouse_y - g.OriginY()) / g.Zoom() + 0.5);
            if (window_type == PF_Window_COMP) {
                x -= options.view.layer_offset_x;
                y -= options.view.layer_offset_y;
            }
            const int lx = static_cast<int>(x), ly = static_cast<int>(y);
            text += " | x " + std::to_string(lx) + " y " + std::to_string(ly);
            const std::optional<double> alpha = frames.AlphaAt(lx, ly);
            text += alpha ? " alpha " + Fixed(*alpha, 3) : " (outside the layer)";
        }
        return text;
    }

    void DrawStatus() {
        int w = 0, h = 0;
        screen.Size(w, h);
        ImGui::SetNextWindowPos(ImVec2(0, static_cast<float>(h - kStatusHeight)));
        ImGui::SetNextWindowSize(ImVec2(static_cast<float>(w), kStatusHeight));
        const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                       ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                                       ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoBringToFrontOnFocus;
        if (ImGui::Begin("##status", nullptr, flags)) {
            // An error leads the line, so a narrow window does not cut it off.
            const bool error_first = message_is_error && !message.empty();
            if (error_first) {
                ImGui::TextColored(ImVec4(1.0f, 0.45f, 0.4f, 1.0f), "%s |", message.c_str());
                ImGui::SameLine();
            }
            ImGui::TextUnformatted(StatusText().c_str());
            if (!message.empty() && !error_first) {
                ImGui::SameLine();
                ImGui::TextColored(ImVec4(0.6f, 0.9f, 0.6f, 1.0f), "| %s", message.c_str());
            }
        }
        ImGui::End();
    }

    void DrawDialogs() {
        if (open_about) ImGui::OpenPopup("About");
        if (open_keys) ImGui::OpenPopup("Keys");
        if (open_save) ImGui::OpenPopup("Save");
        if (open_save_error) ImGui::OpenPopup("Save failed");
        const bool focus_path = open_save;
        open_about = open_keys = open_save = open_save_error = false;
        const ImGuiWindowFlags flags = ImGuiWindowFlags_AlwaysAutoResize;
        if (ImGui::BeginPopupModal("About", nullptr, flags)) {
            ImGui::TextUnformatted(about_text.c_str());
            if (ImGui::Button("OK") || close_popups) ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        }
        if (ImGui::BeginPopupModal("Keys", nullptr, flags)) {
            ImGui::TextUnformatted(
                "Drag a handle of the overlay to edit the effect.\n"
                "Wheel, + and -: zoom      F: fit      1: 100%\n"
                "Space or middle button and drag: pan\n"
                "W: layer or composition window      H: next host and depth\n"
                "Ctrl+Z, Ctrl+Shift+Z: undo, redo      Ctrl+F: find a control\n"
                "Ctrl+S: save the picture and its parameters      Ctrl+Shift+S: save as\n"
                "Ctrl+Q or Esc: quit");
            if (ImGui::Button("OK") || close_popups) ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        }
        if (ImGui::BeginPopupModal("Save", nullptr, flags)) {
            ImGui::TextUnformatted("The picture at full resolution; the parameters go beside it as .json.");
            if (focus_path) ImGui::SetKeyboardFocusHere();
            ImGui::SetNextItemWidth(480);
            const bool enter = ImGui::InputText("##path", &save_edit, ImGuiInputTextFlags_EnterReturnsTrue);
            if (enter || ImGui::Button("Save")) {
                ImGui::CloseCurrentPopup();
                Save(save_edit);
            }
            ImGui::SameLine();
            if (ImGui::Button("Cancel") || close_popups) ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        }
        if (ImGui::BeginPopupModal("Save failed", nullptr, flags)) {
            ImGui::TextColored(ImVec4(1.0f, 0.45f, 0.4f, 1.0f), "%s", save_error.c_str());
            if (ImGui::Button("OK") || close_popups) ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        }
        close_popups = false;
    }

    void DrawPicture() {
        ImDrawList* list = ImGui::GetBackgroundDrawList();
        const Rect area = PictureArea();
        ViewGeometry& g = Geometry();
        PictureLayer::Placement p;
        p.clip_x = area.x, p.clip_y = area.y, p.clip_w = area.w, p.clip_h = area.h;
        p.origin_x = g.OriginX(), p.origin_y = g.OriginY();
        p.zoom = g.Zoom();
        p.content_w = g.ContentWidth(), p.content_h = g.ContentHeight();
        if (window_type == PF_Window_COMP) {
            p.layer_x = options.view.layer_offset_x;
            p.layer_y = options.view.layer_offset_y;
        }
        p.layer_w = LayerWidth(), p.layer_h = LayerHeight();
        p.downsample = frames.Downsample();
        p.show_frame = frames.HasFrame();
        picture.Draw(list, p);

        list->PushClipRect(ImVec2(static_cast<float>(area.x), static_cast<float>(area.y)),
                           ImVec2(static_cast<float>(area.x + area.w), static_cast<float>(area.y + area.h)), false);
        if (window_type == PF_Window_COMP) {
            // The layer's bounds in the composition, through its corner pixels' outer edges.
            const auto at = [&](double x, double y) {
                return ImVec2(static_cast<float>(g.OriginX() + 0.5 + g.Zoom() * (x - 0.5)),
                              static_cast<float>(g.OriginY() + 0.5 + g.Zoom() * (y - 0.5)));
            };
            list->AddRect(at(p.layer_x, p.layer_y), at(p.layer_x + p.layer_w, p.layer_y + p.layer_h),
                          IM_COL32(160, 160, 160, 160));
        }
        DrawStrokes(list, overlay->Strokes());
        list->PopClipRect();
    }

    void DrawOverlay() {
        overlay->ClearStrokes();
        overlay->SetView(WindowView());
        const PF_Err err = overlay->Draw();
        if (err != PF_Err_NONE) Say("the effect failed to draw its overlay: error " + vhost::DescribeError(err), true);
        CheckLedgers();
    }

    void ReportView() {
        ViewGeometry& g = Geometry();
        if (reported && reported_x == g.OriginX() && reported_y == g.OriginY() && reported_zoom == g.Zoom() &&
            reported_type == window_type) {
            return;
        }
        reported = true;
        reported_x = g.OriginX();
        reported_y = g.OriginY();
        reported_zoom = g.Zoom();
        reported_type = window_type;
        Report({{"event", "ready"},
                {"origin", {g.OriginX(), g.OriginY()}},
                {"zoom", g.Zoom()},
                {"window", voverlay::WindowTypeName(window_type)}});
    }

    void Update() {
        const auto start = Clock::now();
        Timing timing;
        SendPendingMotion();
        screen.NewFrame();
        DrawMenus();
        DrawControls();
        DrawDialogs();
        // A reduced frame stays only while the user is still moving something.
        if (need == Need::None && shown_reduced && drag == Drag::None && !controls_editing) need = Need::Full;
        if (need != Need::None) {
            Render(need == Need::Reduced, timing);
            need = Need::None;
        }
        DrawStatus();
        DrawOverlay();
        DrawPicture();
        screen.Present();
        timing.update_ms = MsSince(start);
        if (timing.render_ms > 0 && shown_reduced) {
            gesture_update_ms = timing.update_ms;
            gesture_downsample = timing.downsample;
        } else if (timing.render_ms > 0 && after_release) {
            release_ms = timing.update_ms;
            after_release = false;
        }
        last = timing;
        ReportView();
        if (redraws > 0) --redraws;
    }

    int Run() {
        while (!quit) {
            SDL_Event e;
            const bool busy = redraws > 0 || need != Need::None || pending_motion.has_value();
            if (!busy) {
                // The quit a signal (Ctrl+C, kill) turns into an event does not end a
                // wait, so the wait ends now and then to look for it.
                if (!SDL_WaitEventTimeout(&e, kIdleWakeMs)) continue;
                HandleEvent(e);
            }
            // A key gets a redraw of its own: the controls see a key as held or not
            // once per frame, so a press and release in one batch would be lost.
            bool key = busy ? false : IsKeyEvent(e);
            while (!quit && !key && SDL_PollEvent(&e)) {
                HandleEvent(e);
                key = IsKeyEvent(e);
            }
            if (quit) break;
            Update();
        }
        if (drag == Drag::Gesture) Release(mouse_x, mouse_y);
        Report({{"event", "exit"}, {"params", ParamsJson()}});
        return 0;
    }
};

ViewApp::ViewApp(const ViewOptions& options, vimaging::Image input, std::unique_ptr<Session> session,
                 SessionFactory open_session)
    : impl_(std::make_unique<Impl>(options, std::move(input), std::move(session), std::move(open_session))) {
    Impl& m = *impl_;
    m.StartSession();
    m.SetUpViews();
    int w = 0, h = 0;
    m.screen.Size(w, h);
    m.overlay = std::make_unique<voverlay::OverlayWindow>(m.Host(), m.WindowView(), m.LayerWidth(), m.LayerHeight(),
                                                       std::max(1, w), std::max(1, h));
    // The window draws the recorded strokes itself.
    m.overlay->SetRasterise(false);
    m.Update();
}

ViewApp::~ViewApp() = default;

int ViewApp::Run() { return impl_->Run(); }
void ViewApp::Press(int x, int y, bool pan) { impl_->Press(x, y, pan); }
void ViewApp::Motion(int x, int y) { impl_->Motion(x, y); }
void ViewApp::Release(int x, int y) { impl_->Release(x, y); }
void ViewApp::Update() { impl_->Update(); }
const ViewApp::Timing& ViewApp::LastUpdate() const { return impl_->last; }
int ViewApp::OriginX() const { return impl_->Geometry().OriginX(); }
int ViewApp::OriginY() const { return impl_->Geometry().OriginY(); }
double ViewApp::Zoom() const { return impl_->Geometry().Zoom(); }
vhost::Host& ViewApp::Host() { return impl_->Host(); }

}  // namespace vview
