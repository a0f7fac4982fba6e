// The View menu and its commands: the layer or the composition window, and
// zooming (in and out by the hosts' steps, to fit, to 100%).
#pragma once

#include "view/ViewState.h"

namespace vview {

class ViewMenu {
public:
    explicit ViewMenu(ViewState& state) : state_(state) {}

    void SwitchWindow();
    // A step in or out, about the pointer when it is over the picture, else the picture's centre.
    void ZoomStep(bool in);
    void Fit();
    void ActualSize();
    void DrawMenu();

private:
    ViewState& state_;
};

}  // namespace vview
