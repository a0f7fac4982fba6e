#include "view/Saving.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include "host/HostError.h"
#include "files/AtomicFile.h"
#include "params/EffectParams.h"
#include "support/InputError.h"

namespace vview {

namespace {

// "dir/name.png" -> "dir/name" + ext; empty when the name has no extension.
std::string WithExtension(const std::string& path, const std::string& ext) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return "";
    return path.substr(0, dot) + ext;
}

}  // namespace

void Saver::Save(const std::string& path) {
    using vhost::HostError;
    using vsupport::InputError;
    const ViewOptions& options = state_.options;
    bool image_saved = false;
    try {
        if (!options.saver.save) throw HostError("this window cannot save");
        const std::string params_path = WithExtension(path, ".json");
        if (params_path.empty()) {
            throw InputError("'" + path + "' has no extension to pick the image format by (e.g. .png)");
        }
        if (params_path == path) throw InputError("'" + path + "' would be overwritten by the parameters");
        const nlohmann::ordered_json params = state_.ParamsJson();
        // A value --params would refuse (a handle dragged past the centre) cannot be saved to be rendered again.
        vparams::EffectValuesFromJson(params, {}, "the parameters", vparams::Declaration::Read(state_.Host()));
        renders_.RenderForSave(state_);
        // Both files or neither: the parameters are written first and put in place last.
        vfiles::PendingText params_file(params_path, params.dump(2) + "\n");
        const FrameSaver::Saved saved = options.saver.save(path, state_.frames.Output(), state_.app, state_.layout);
        image_saved = true;
        params_file.Commit();
        save_path_ = path;
        std::string text = "Saved " + path + " and " + params_path + "; vellora render " + options.input_name +
                           " OUT --params " + params_path + saved.render_options + " renders it again";
        for (const std::string& warning : saved.warnings) text += "; " + warning;
        state_.Say(text);
        report_.Line({{"event", "saved"}, {"image", path}, {"params_file", params_path}});
    } catch (const std::runtime_error& e) {  // a HostError, or an InputError from the parameters' check
        // A dialog that stays until dismissed: a failed save must not pass unseen.
        save_error_ = std::string(image_saved ? "The picture was saved as " + path + ", but not its parameters"
                                              : "Nothing was saved") +
                      ":\n" + e.what();
        open_save_error_ = true;
        state_.Say("save failed: " + std::string(e.what()), true);
        report_.Line({{"event", "save_failed"}, {"image", path}, {"error", e.what()}});
    }
}

std::string Saver::DefaultSavePath() const {
    const FrameSaver& saver = state_.options.saver;
    const bool floats = saver.file_type && saver.file_type(state_.app, state_.layout) == vimaging::SampleType::F32;
    return Stem(state_.options.input_name) + "-" + state_.effect_name + (floats ? ".exr" : ".png");
}

void Saver::AskSavePath() {
    save_edit_ = save_path_.empty() ? DefaultSavePath() : save_path_;
    open_save_ = true;
}

void Saver::SaveNow() {
    if (save_path_.empty()) {
        AskSavePath();
    } else {
        Save(save_path_);
    }
}

void Saver::DrawMenu() {
    if (!ImGui::BeginMenu("File")) return;
    if (ImGui::MenuItem("Save", "Ctrl+S")) SaveNow();
    if (ImGui::MenuItem("Save As...", "Ctrl+Shift+S")) AskSavePath();
    ImGui::Separator();
    if (ImGui::MenuItem("Quit", "Ctrl+Q")) state_.quit = true;
    ImGui::EndMenu();
}

void Saver::DrawDialogs(bool close) {
    if (open_save_) ImGui::OpenPopup("Save");
    if (open_save_error_) ImGui::OpenPopup("Save failed");
    const bool focus_path = open_save_;
    open_save_ = open_save_error_ = false;
    const ImGuiWindowFlags flags = ImGuiWindowFlags_AlwaysAutoResize;
    if (ImGui::BeginPopupModal("Save", nullptr, flags)) {
        ImGui::TextUnformatted("The picture at full resolution; the parameters go beside it as .json.");
        if (focus_path) ImGui::SetKeyboardFocusHere();
        ImGui::SetNextItemWidth(480);
        const bool enter = ImGui::InputText("##path", &save_edit_, ImGuiInputTextFlags_EnterReturnsTrue);
        if (enter || ImGui::Button("Save")) {
            ImGui::CloseCurrentPopup();
            Save(save_edit_);
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel") || close) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
    if (ImGui::BeginPopupModal("Save failed", nullptr, flags)) {
        ImGui::TextColored(ImVec4(1.0f, 0.45f, 0.4f, 1.0f), "%s", save_error_.c_str());
        if (ImGui::Button("OK") || close) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
}

}  // namespace vview
