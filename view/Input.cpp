#include "view/Input.h"

#include <algorithm>

#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include "host/ApiNames.h"
#include "params/EffectParams.h"

namespace vview {

namespace {

// After an input event, redraw a few frames so hover and focus settle.
const int kSettleFrames = 3;

}  // namespace

bool Input::PointerOnPicture(int x, int y) const {
    return state_.PictureArea().Contains(x, y) && !ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId);
}

void Input::Press(int x, int y, bool pan) {
    using Drag = ViewState::Drag;
    if (state_.drag != Drag::None || !PointerOnPicture(x, y)) return;
    if (pan) {
        state_.drag = Drag::Pan;
        pan_from_x_ = x;
        pan_from_y_ = y;
        return;
    }
    state_.drag = Drag::Gesture;
    gesture_before_ = CaptureParams(state_.Host());
    state_.overlay->SetView(state_.WindowView());
    state_.overlay->Press(PF_Point{x, y});
    if (CaptureParams(state_.Host()) != gesture_before_) state_.need = ViewState::Need::Reduced;
}

void Input::Motion(int x, int y) {
    state_.mouse_x = x;
    state_.mouse_y = y;
    if (state_.drag == ViewState::Drag::Pan) {
        state_.Geometry().Pan(x - pan_from_x_, y - pan_from_y_);
        pan_from_x_ = x;
        pan_from_y_ = y;
    } else if (state_.drag == ViewState::Drag::Gesture && state_.overlay->Dragging()) {
        // Only the latest position is sent, once per redraw: every drag is absolute.
        pending_motion_ = PF_Point{x, y};
    }
}

void Input::Release(int x, int y) {
    using Drag = ViewState::Drag;
    if (state_.drag == Drag::Pan) {
        state_.drag = Drag::None;
        return;
    }
    if (state_.drag != Drag::Gesture) return;
    state_.drag = Drag::None;
    pending_motion_.reset();
    const voverlay::GestureResult result = state_.overlay->Release(PF_Point{x, y});
    if (result.err != PF_Err_NONE) {
        state_.Say("the effect failed to handle the gesture: error " + vhost::DescribeError(result.err), true);
    }
    state_.CheckLedgers();
    const ParamSnapshot after = CaptureParams(state_.Host());
    const std::string handle = result.handled ? vparams::HandleName(result.handle) : "";
    state_.history.Record("drag of " + (handle.empty() ? std::string("the overlay") : handle), gesture_before_,
                          after);
    if (after != gesture_before_ || renders_.ShowsReduced()) {
        state_.need = ViewState::Need::Full;
        renders_.Released();
    }
    report_.Line({{"event", "gesture"},
                  {"handle", result.handled ? nlohmann::ordered_json(handle) : nlohmann::ordered_json(nullptr)},
                  {"params", state_.ParamsJson()}});
}

void Input::SendPendingMotion() {
    if (!pending_motion_ || state_.drag != ViewState::Drag::Gesture) return;
    const ParamSnapshot before = CaptureParams(state_.Host());
    const PF_Err err = state_.overlay->Move(*pending_motion_);
    pending_motion_.reset();
    if (err != PF_Err_NONE) {
        state_.Say("the effect failed to handle the gesture: error " + vhost::DescribeError(err), true);
    }
    if (CaptureParams(state_.Host()) != before) state_.need = ViewState::Need::Reduced;
}

void Input::HandleKey(const SDL_Keysym& key) {
    const ImGuiIO& io = ImGui::GetIO();
    const bool ctrl = (key.mod & KMOD_CTRL) != 0, shift = (key.mod & KMOD_SHIFT) != 0;
    if (ctrl && key.sym == SDLK_q) {
        state_.quit = true;
        return;
    }
    if (ctrl && key.sym == SDLK_s) {
        shift ? actions_.save_as() : actions_.save();
        return;
    }
    if (key.sym == SDLK_ESCAPE) {
        // Escape first leaves what the user is typing in, then a dialog, then the window.
        if (io.WantTextInput) return;
        if (actions_.dialog_open()) {
            actions_.close_dialogs();
        } else {
            state_.quit = true;
        }
        return;
    }
    if (io.WantTextInput) return;
    if (ctrl) {
        if (key.sym == SDLK_z) {
            shift ? actions_.redo() : actions_.undo();
        } else if (key.sym == SDLK_y) {
            actions_.redo();
        } else if (key.sym == SDLK_f) {
            actions_.find_control();
        }
        return;
    }
    switch (key.sym) {
        case SDLK_PLUS: case SDLK_EQUALS: case SDLK_KP_PLUS: actions_.zoom_step(true); break;
        case SDLK_MINUS: case SDLK_KP_MINUS: actions_.zoom_step(false); break;
        case SDLK_f: actions_.fit(); break;
        case SDLK_1: case SDLK_KP_1: actions_.actual_size(); break;
        case SDLK_w: actions_.switch_window(); break;
        case SDLK_h: actions_.next_host(); break;
        case SDLK_SPACE: space_down_ = true; break;
        default: break;
    }
}

void Input::HandleEvent(const SDL_Event& e) {
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
    using Drag = ViewState::Drag;
    switch (e.type) {
        case SDL_QUIT: state_.quit = true; break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) state_.quit = true;
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                int w = 0, h = 0;
                state_.screen.Size(w, h);
                state_.overlay->Resize(std::max(1, w), std::max(1, h));
            }
            break;
        case SDL_KEYDOWN: HandleKey(e.key.keysym); break;
        case SDL_KEYUP:
            if (e.key.keysym.sym == SDLK_SPACE) space_down_ = false;
            break;
        case SDL_MOUSEBUTTONDOWN:
            if ((e.button.button == SDL_BUTTON_LEFT || e.button.button == SDL_BUTTON_MIDDLE) &&
                state_.drag == Drag::None) {
                state_.mouse_x = e.button.x;
                state_.mouse_y = e.button.y;
                Press(e.button.x, e.button.y, e.button.button == SDL_BUTTON_MIDDLE || space_down_);
                if (state_.drag != Drag::None) drag_button_ = e.button.button;
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (state_.drag != Drag::None && e.button.button == drag_button_) Release(e.button.x, e.button.y);
            break;
        case SDL_MOUSEMOTION: Motion(e.motion.x, e.motion.y); break;
        case SDL_MOUSEWHEEL:
            if (state_.drag == Drag::None && e.wheel.y != 0 && PointerOnPicture(state_.mouse_x, state_.mouse_y)) {
                ViewGeometry& g = state_.Geometry();
                g.ZoomAbout(e.wheel.y > 0 ? ViewGeometry::StepUp(g.Zoom()) : ViewGeometry::StepDown(g.Zoom()),
                            state_.mouse_x, state_.mouse_y);
            }
            break;
        default: break;
    }
}

}  // namespace vview
