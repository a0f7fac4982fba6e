// The Edit menu and its commands: undo and redo of parameter changes, finding
// a control, and resetting every control.
#pragma once

#include "view/ControlsPanel.h"
#include "view/ViewState.h"

namespace vview {

class EditMenu {
public:
    EditMenu(ViewState& state, ControlsPanel& controls) : state_(state), controls_(controls) {}

    void Undo();
    void Redo();
    void FindControl() { controls_.FocusFilter(); }
    void ResetAll();
    void DrawMenu();

private:
    // Back (undo) or forward one change; none during a drag.
    void Step(bool undo);

    ViewState& state_;
    ControlsPanel& controls_;
};

}  // namespace vview
