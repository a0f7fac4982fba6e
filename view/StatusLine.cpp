#include "view/StatusLine.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include <imgui.h>

#include "view/HostSwitch.h"

namespace vview {

namespace {

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string ZoomText(double zoom) {
    const double percent = zoom * 100;
    return Fixed(percent, std::fabs(percent - std::round(percent)) < 0.05 ? 0 : 1) + "%";
}

}  // namespace

std::string StatusText(ViewState& state, const RenderScheduler& renders) {
    std::string text = std::string(ModeName(state.app, state.layout)) + " | " +
                       (state.window_type == PF_Window_COMP ? "composition " : "layer ") +
                       ZoomText(state.Geometry().Zoom());
    text += " | frame " + Fixed(renders.FullMs(), 1) + " ms";
    if (state.options.downsample > 1) text += " at 1/" + std::to_string(state.options.downsample);
    if (renders.GestureUpdateMs() >= 0) {
        text += " | drag update " + Fixed(renders.GestureUpdateMs(), 1) + " ms at 1/" +
                std::to_string(renders.GestureDownsample());
    }
    if (renders.ReleaseMs() >= 0) text += " | release " + Fixed(renders.ReleaseMs(), 1) + " ms";
    if (state.PictureArea().Contains(state.mouse_x, state.mouse_y)) {
        ViewGeometry& g = state.Geometry();
        double x = std::floor((state.mouse_x - g.OriginX()) / g.Zoom() + 0.5);
        double y = std::floor((state.mouse_y - g.OriginY()) / g.Zoom() + 0.5);
        if (state.window_type == PF_Window_COMP) {
            x -= state.options.view.layer_offset_x;
            y -= state.options.view.layer_offset_y;
        }
        const int lx = static_cast<int>(x), ly = static_cast<int>(y);
        text += " | x " + std::to_string(lx) + " y " + std::to_string(ly);
        const std::optional<double> alpha = state.frames.AlphaAt(lx, ly);
        text += alpha ? " alpha " + Fixed(*alpha, 3) : " (outside the layer)";
    }
    return text;
}

void DrawStatusLine(ViewState& state, const RenderScheduler& renders) {
    int w = 0, h = 0;
    state.screen.Size(w, h);
    ImGui::SetNextWindowPos(ImVec2(0, static_cast<float>(h - kStatusHeight)));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(w), kStatusHeight));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                                   ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoBringToFrontOnFocus;
    if (ImGui::Begin("##status", nullptr, flags)) {
        // An error leads the line, so a narrow window does not cut it off.
        const std::string& message = state.message;
        const bool error_first = state.message_is_error && !message.empty();
        if (error_first) {
            ImGui::TextColored(ImVec4(1.0f, 0.45f, 0.4f, 1.0f), "%s |", message.c_str());
            ImGui::SameLine();
        }
        ImGui::TextUnformatted(StatusText(state, renders).c_str());
        if (!message.empty() && !error_first) {
            ImGui::SameLine();
            ImGui::TextColored(ImVec4(0.6f, 0.9f, 0.6f, 1.0f), "| %s", message.c_str());
        }
    }
    ImGui::End();
}

}  // namespace vview
