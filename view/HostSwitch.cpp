#include "view/HostSwitch.h"

#include <algorithm>

#include <imgui.h>

#include "host/ApiNames.h"
#include "host/HostError.h"
#include "support/InputError.h"

namespace vview {

namespace {

const Mode kModes[] = {
    {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB8, "After Effects 8-bit"},
    {vhost::HostApp::AfterEffects, vhost::PixelLayout::ARGB16, "After Effects 16-bit"},
    {vhost::HostApp::Premiere, vhost::PixelLayout::BGRA8, "Premiere 8-bit"},
    {vhost::HostApp::Premiere, vhost::PixelLayout::BGRA32F, "Premiere float"},
};

}  // namespace

const char* ModeName(vhost::HostApp app, vhost::PixelLayout layout) {
    for (const Mode& m : kModes) {
        if (m.app == app && m.layout == layout) return m.name;
    }
    return "?";
}

// Sends About through the entry point for the effect's own text.
void HostSwitch::ReadAbout() {
    vhost::Host& host = state_.Host();
    host.OutData().return_msg[0] = '\0';
    const PF_Err err = host.About();
    state_.about_text = host.OutData().return_msg;
    std::replace(state_.about_text.begin(), state_.about_text.end(), '\r', '\n');
    if (err != PF_Err_NONE) state_.about_text = "The effect's About failed: error " + vhost::DescribeError(err);
}

void HostSwitch::StartSession() {
    state_.Host().InData().pixel_aspect_ratio = state_.options.pixel_aspect;
    const std::string path = state_.Host().Module().Path();
    const size_t slash = path.find_last_of('/');
    state_.effect_name = Stem(slash == std::string::npos ? path : path.substr(slash + 1));
    ReadAbout();
    state_.screen.SetTitle("vellora view - " + state_.options.input_name + " - " + state_.effect_name + " (" +
                           ModeName(state_.app, state_.layout) + ")");
}

void HostSwitch::Switch(const Mode& mode) {
    if (state_.drag != ViewState::Drag::None || (mode.app == state_.app && mode.layout == state_.layout)) return;
    try {
        const ParamSnapshot values = CaptureParams(state_.Host());
        std::unique_ptr<Session> next = open_session_(mode.app);
        int w = 0, h = 0;
        state_.screen.Size(w, h);
        auto next_overlay = std::make_unique<voverlay::OverlayWindow>(next->Host(), state_.WindowView(),
                                                                      state_.LayerWidth(), state_.LayerHeight(), w, h);
        next_overlay->SetRasterise(false);
        RestoreParams(next->Host(), values);
        // The old window refers to the old host: it goes first.
        state_.overlay = std::move(next_overlay);
        state_.session = std::move(next);
        state_.app = mode.app;
        state_.layout = mode.layout;
        StartSession();
        state_.need = ViewState::Need::Full;
        state_.Say(std::string("Host: ") + mode.name);
    } catch (const vhost::HostError& e) {
        state_.Say(std::string("cannot switch to ") + mode.name + ": " + e.what(), true);
    } catch (const vsupport::InputError& e) {
        state_.Say(std::string("cannot switch to ") + mode.name + ": " + e.what(), true);
    }
}

const Mode& HostSwitch::NextMode() const {
    const size_t n = sizeof kModes / sizeof kModes[0];
    for (size_t i = 0; i < n; ++i) {
        if (kModes[i].app == state_.app && kModes[i].layout == state_.layout) return kModes[(i + 1) % n];
    }
    return kModes[0];
}

void HostSwitch::SwitchToNext() { Switch(NextMode()); }

void HostSwitch::DrawMenu() {
    if (!ImGui::BeginMenu("Host")) return;
    for (const Mode& m : kModes) {
        if (ImGui::MenuItem(m.name, nullptr, m.app == state_.app && m.layout == state_.layout)) Switch(m);
    }
    ImGui::Separator();
    if (ImGui::MenuItem("Next host and depth", "H")) SwitchToNext();
    ImGui::EndMenu();
}

}  // namespace vview
