#include "view/HelpMenu.h"

#include <imgui.h>

namespace vview {

void HelpMenu::DrawMenu() {
    if (!ImGui::BeginMenu("Help")) return;
    if (ImGui::MenuItem(("About " + state_.effect_name + "...").c_str())) open_about_ = true;
    if (ImGui::MenuItem("Keys...")) open_keys_ = true;
    ImGui::EndMenu();
}

void HelpMenu::DrawDialogs(bool close) {
    if (open_about_) ImGui::OpenPopup("About");
    if (open_keys_) ImGui::OpenPopup("Keys");
    open_about_ = open_keys_ = false;
    const ImGuiWindowFlags flags = ImGuiWindowFlags_AlwaysAutoResize;
    if (ImGui::BeginPopupModal("About", nullptr, flags)) {
        ImGui::TextUnformatted(state_.about_text.c_str());
        if (ImGui::Button("OK") || close) ImGui::CloseCurrentPopup();
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
        if (ImGui::Button("OK") || close) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
}

}  // namespace vview
