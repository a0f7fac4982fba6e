#include "view/EditMenu.h"

#include <imgui.h>

namespace vview {

void EditMenu::Undo() { Step(true); }

void EditMenu::Redo() { Step(false); }

void EditMenu::Step(bool undo) {
    if (state_.drag != ViewState::Drag::None) return;
    const ParamHistory::Change* change = undo ? state_.history.Undo() : state_.history.Redo();
    if (!change) return;
    RestoreParams(state_.Host(), undo ? change->before : change->after);
    state_.need = ViewState::Need::Full;
    state_.Say((undo ? "Undid " : "Redid ") + change->label);
}

void EditMenu::ResetAll() {
    const ParamSnapshot before = CaptureParams(state_.Host());
    state_.Host().ResetParams(state_.LayerWidth(), state_.LayerHeight());
    state_.history.Record("Reset all", before, CaptureParams(state_.Host()));
    state_.need = ViewState::Need::Full;
}

void EditMenu::DrawMenu() {
    if (!ImGui::BeginMenu("Edit")) return;
    const ParamHistory& history = state_.history;
    const std::string undo = history.CanUndo() ? "Undo " + history.NextUndo() : "Undo";
    const std::string redo = history.CanRedo() ? "Redo " + history.NextRedo() : "Redo";
    if (ImGui::MenuItem(undo.c_str(), "Ctrl+Z", false, history.CanUndo())) Undo();
    if (ImGui::MenuItem(redo.c_str(), "Ctrl+Shift+Z", false, history.CanRedo())) Redo();
    ImGui::Separator();
    if (ImGui::MenuItem("Find control", "Ctrl+F")) FindControl();
    if (ImGui::MenuItem("Reset all controls")) ResetAll();
    ImGui::EndMenu();
}

}  // namespace vview
