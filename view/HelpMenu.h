// The Help menu and its dialogs: the effect's About text and the keys.
#pragma once

#include "view/ViewState.h"

namespace vview {

class HelpMenu {
public:
    explicit HelpMenu(ViewState& state) : state_(state) {}

    void DrawMenu();
    // `close` closes whichever dialog is open.
    void DrawDialogs(bool close);
    // A dialog was asked for and is not drawn yet.
    bool DialogAsked() const { return open_about_ || open_keys_; }

private:
    ViewState& state_;
    bool open_about_ = false, open_keys_ = false;
};

}  // namespace vview
