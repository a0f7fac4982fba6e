// Input handling: the mouse and keyboard state machine. A press on the
// picture starts a gesture through the overlay (or a pan, with the middle
// button or Space held); motion is sent once per redraw, only its latest
// position; the release ends it, records it for undo and reports it. Keys
// become the commands the other parts carry out (Actions).
#pragma once

#include <functional>
#include <optional>

#include <SDL.h>

#include "view/RenderScheduler.h"
#include "view/Report.h"
#include "view/ViewState.h"

namespace vview {

// What keys ask of the rest of the window.
struct InputActions {
    std::function<void()> save, save_as, undo, redo, find_control, fit, actual_size, switch_window, next_host;
    std::function<void(bool in)> zoom_step;
    // Whether a dialog is open, or asked for and not drawn yet (it opens and closes in the next frame).
    std::function<bool()> dialog_open;
    std::function<void()> close_dialogs;
};

class Input {
public:
    Input(ViewState& state, RenderScheduler& renders, const Reporter& report, InputActions actions)
        : state_(state), renders_(renders), report_(report), actions_(std::move(actions)) {}

    // One event from the queue, after ImGui has seen it.
    void HandleEvent(const SDL_Event& e);

    void Press(int x, int y, bool pan);
    void Motion(int x, int y);
    void Release(int x, int y);
    // The latest motion of the gesture, sent before a redraw.
    void SendPendingMotion();
    bool MotionPending() const { return pending_motion_.has_value(); }

    // Frames still to redraw after the last event, so hover and focus settle.
    int redraws = 0;

private:
    void HandleKey(const SDL_Keysym& key);
    bool PointerOnPicture(int x, int y) const;

    ViewState& state_;
    RenderScheduler& renders_;
    const Reporter& report_;
    InputActions actions_;

    Uint8 drag_button_ = 0;  // only its release ends the drag
    ParamSnapshot gesture_before_;
    std::optional<PF_Point> pending_motion_;
    int pan_from_x_ = 0, pan_from_y_ = 0;
    bool space_down_ = false;
};

}  // namespace vview
