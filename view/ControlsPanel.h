// The effect controls: one control per row of the host's parameter table
// (params/ParamTable.h), in its order, with the row's label and control kind,
// set from what the effect declared (ranges, slider limits, popup choices,
// checkbox text, display flags), which start-up checked against the table.
#pragma once

#include <string>

#include "host/Host.h"
#include "view/ParamHistory.h"

namespace vview {

class ControlsPanel {
public:
    struct Outcome {
        bool changed = false;  // some value differs from before this frame
        bool editing = false;  // a control is held: the user is still changing it
    };

    // Draws the controls into the current ImGui window and applies what the
    // user does to the host's list; every finished change goes into `history`.
    Outcome Draw(vhost::Host& host, int layer_width, int layer_height, ParamHistory& history);

    // Puts the keyboard in the filter field; Enter there moves it into the
    // first control left that takes typed values.
    void FocusFilter() { focus_filter_ = true; }

private:
    std::string filter_;
    bool focus_filter_ = false;
    bool focus_first_match_ = false;
    bool holding_ = false;  // an item was active at the end of the last frame
    ParamSnapshot held_before_;
    ParamSnapshot last_after_;
};


// A label for the change from `before` to `after`: the name of the one
// parameter that changed, or how many did.
std::string ChangeLabel(vhost::Host& host, const ParamSnapshot& before, const ParamSnapshot& after);

}  // namespace vview
