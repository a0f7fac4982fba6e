#include "view/ViewMenu.h"

#include <imgui.h>

namespace vview {

void ViewMenu::SwitchWindow() {
    if (state_.drag != ViewState::Drag::None) return;
    state_.window_type = state_.window_type == PF_Window_COMP ? PF_Window_LAYER : PF_Window_COMP;
}

void ViewMenu::ZoomStep(bool in) {
    if (state_.drag != ViewState::Drag::None) return;
    ViewGeometry& g = state_.Geometry();
    const Rect area = state_.PictureArea();
    const bool at_pointer = area.Contains(state_.mouse_x, state_.mouse_y);
    g.ZoomAbout(in ? ViewGeometry::StepUp(g.Zoom()) : ViewGeometry::StepDown(g.Zoom()),
                at_pointer ? state_.mouse_x : area.x + area.w / 2.0,
                at_pointer ? state_.mouse_y : area.y + area.h / 2.0);
}

void ViewMenu::Fit() {
    if (state_.drag != ViewState::Drag::None) return;
    state_.Geometry().Fit(state_.PictureArea());
}

void ViewMenu::ActualSize() {
    if (state_.drag != ViewState::Drag::None) return;
    const Rect a = state_.PictureArea();
    state_.Geometry().ZoomAbout(1.0, a.x + a.w / 2.0, a.y + a.h / 2.0);
}

void ViewMenu::DrawMenu() {
    if (!ImGui::BeginMenu("View")) return;
    const PF_WindowType type = state_.window_type;
    if (ImGui::MenuItem("Layer window", "W", type == PF_Window_LAYER) && type != PF_Window_LAYER) SwitchWindow();
    if (ImGui::MenuItem("Composition window", "W", type == PF_Window_COMP) && type != PF_Window_COMP) {
        SwitchWindow();
    }
    ImGui::Separator();
    if (ImGui::MenuItem("Zoom in", "+")) ZoomStep(true);
    if (ImGui::MenuItem("Zoom out", "-")) ZoomStep(false);
    if (ImGui::MenuItem("Fit", "F")) Fit();
    if (ImGui::MenuItem("100%", "1")) ActualSize();
    ImGui::EndMenu();
}

}  // namespace vview
