// The window's frame loop. The parts it runs each do one job: Input (the
// mouse and keyboard), RenderScheduler (what a redraw renders), HostSwitch,
// Saving and the Edit, View and Help menus (each with its own menu and
// dialogs), StatusLine, PictureView and Report (the --report lines); all work
// on the ViewState they share.
#include "view/ViewApp.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <imgui.h>

#include "view/ControlsPanel.h"
#include "view/EditMenu.h"
#include "view/HelpMenu.h"
#include "view/HostSwitch.h"
#include "view/Input.h"
#include "view/PictureView.h"
#include "view/RenderScheduler.h"
#include "view/Report.h"
#include "view/Saving.h"
#include "view/StatusLine.h"
#include "view/ViewMenu.h"
#include "view/ViewState.h"

namespace vview {

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const int kIdleWakeMs = 200;

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
    Impl(const ViewOptions& o, vimaging::Image layer, std::unique_ptr<Session> first, SessionFactory factory)
        : state(o, std::move(layer), std::move(first)),
          report(o.report),
          hosts(state, std::move(factory)),
          saver(state, renders, report),
          edit(state, controls),
          view_menu(state),
          help(state),
          input(state, renders, report, Actions()) {}

    ViewState state;
    Reporter report;
    RenderScheduler renders;
    ControlsPanel controls;
    HostSwitch hosts;
    Saver saver;
    EditMenu edit;
    ViewMenu view_menu;
    HelpMenu help;
    Input input;
    bool controls_editing = false;
    bool close_dialogs = false;

    InputActions Actions() {
        InputActions a;
        a.save = [this] { saver.SaveNow(); };
        a.save_as = [this] { saver.AskSavePath(); };
        a.undo = [this] { edit.Undo(); };
        a.redo = [this] { edit.Redo(); };
        a.find_control = [this] { edit.FindControl(); };
        a.fit = [this] { view_menu.Fit(); };
        a.actual_size = [this] { view_menu.ActualSize(); };
        a.switch_window = [this] { view_menu.SwitchWindow(); };
        a.next_host = [this] { hosts.SwitchToNext(); };
        a.zoom_step = [this](bool in) { view_menu.ZoomStep(in); };
        a.dialog_open = [this] {
            return ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId) || help.DialogAsked() || saver.DialogAsked();
        };
        a.close_dialogs = [this] { close_dialogs = true; };
        return a;
    }

    void DrawMenus() {
        if (!ImGui::BeginMainMenuBar()) return;
        saver.DrawMenu();
        edit.DrawMenu();
        view_menu.DrawMenu();
        hosts.DrawMenu();
        help.DrawMenu();
        ImGui::EndMainMenuBar();
    }

    void DrawDialogs() {
        help.DrawDialogs(close_dialogs);
        saver.DrawDialogs(close_dialogs);
        close_dialogs = false;
    }

    void DrawControls() {
        int w = 0, h = 0;
        state.screen.Size(w, h);
        ImGui::SetNextWindowPos(ImVec2(static_cast<float>(w - kPanelWidth), kMenuHeight));
        ImGui::SetNextWindowSize(ImVec2(kPanelWidth, static_cast<float>(std::max(1, h - kMenuHeight - kStatusHeight))));
        const std::string title = "Effect Controls: " + state.effect_name + "###controls";
        if (ImGui::Begin(title.c_str(), nullptr,
                         ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse)) {
            const ControlsPanel::Outcome outcome =
                controls.Draw(state.Host(), state.LayerWidth(), state.LayerHeight(), state.history);
            if (outcome.changed) state.need = outcome.editing ? ViewState::Need::Reduced : ViewState::Need::Full;
            controls_editing = outcome.editing;
        }
        ImGui::End();
    }

    void Update() {
        const auto start = Clock::now();
        Timing timing;
        input.SendPendingMotion();
        state.screen.NewFrame();
        DrawMenus();
        DrawControls();
        DrawDialogs();
        renders.RenderIfNeeded(state, controls_editing, timing);
        DrawStatusLine(state, renders);
        DrawOverlay(state);
        DrawPicture(state);
        state.screen.Present();
        timing.update_ms = MsSince(start);
        renders.Finished(timing);
        report.View(state);
        if (input.redraws > 0) --input.redraws;
    }

    int Run() {
        while (!state.quit) {
            SDL_Event e;
            const bool busy = input.redraws > 0 || state.need != ViewState::Need::None || input.MotionPending();
            if (!busy) {
                // The quit a signal (Ctrl+C, kill) turns into an event does not end a
                // wait, so the wait ends now and then to look for it.
                if (!SDL_WaitEventTimeout(&e, kIdleWakeMs)) continue;
                input.HandleEvent(e);
            }
            // A key gets a redraw of its own: the controls see a key as held or not
            // once per frame, so a press and release in one batch would be lost.
            bool key = busy ? false : IsKeyEvent(e);
            while (!state.quit && !key && SDL_PollEvent(&e)) {
                input.HandleEvent(e);
                key = IsKeyEvent(e);
            }
            if (state.quit) break;
            Update();
        }
        if (state.drag == ViewState::Drag::Gesture) input.Release(state.mouse_x, state.mouse_y);
        report.Line({{"event", "exit"}, {"params", state.ParamsJson()}});
        return 0;
    }
};

ViewApp::ViewApp(const ViewOptions& options, vimaging::Image input, std::unique_ptr<Session> session,
                 SessionFactory open_session)
    : impl_(std::make_unique<Impl>(options, std::move(input), std::move(session), std::move(open_session))) {
    Impl& m = *impl_;
    ViewState& state = m.state;
    m.hosts.StartSession();
    state.SetUpViews();
    int w = 0, h = 0;
    state.screen.Size(w, h);
    state.overlay = std::make_unique<voverlay::OverlayWindow>(state.Host(), state.WindowView(), state.LayerWidth(),
                                                              state.LayerHeight(), std::max(1, w), std::max(1, h));
    // The window draws the recorded strokes itself.
    state.overlay->SetRasterise(false);
    m.Update();
}

ViewApp::~ViewApp() = default;

int ViewApp::Run() { return impl_->Run(); }
void ViewApp::Press(int x, int y, bool pan) { impl_->input.Press(x, y, pan); }
void ViewApp::Motion(int x, int y) { impl_->input.Motion(x, y); }
void ViewApp::Release(int x, int y) { impl_->input.Release(x, y); }
void ViewApp::Update() { impl_->Update(); }
const ViewApp::Timing& ViewApp::LastUpdate() const { return impl_->renders.Last(); }
int ViewApp::OriginX() const { return impl_->state.Geometry().OriginX(); }
int ViewApp::OriginY() const { return impl_->state.Geometry().OriginY(); }
double ViewApp::Zoom() const { return impl_->state.Geometry().Zoom(); }
vhost::Host& ViewApp::Host() { return impl_->state.Host(); }

}  // namespace vview
