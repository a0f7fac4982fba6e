#include "view/PictureView.h"

#include <imgui.h>

#include "host/ApiNames.h"

namespace vview {

void DrawOverlay(ViewState& state) {
    voverlay::OverlayWindow& overlay = *state.overlay;
    overlay.ClearStrokes();
    overlay.SetView(state.WindowView());
    const PF_Err err = overlay.Draw();
    if (err != PF_Err_NONE) state.Say("the effect failed to draw its overlay: error " + vhost::DescribeError(err), true);
    state.CheckLedgers();
}

void DrawPicture(ViewState& state) {
    ImDrawList* list = ImGui::GetBackgroundDrawList();
    const Rect area = state.PictureArea();
    ViewGeometry& g = state.Geometry();
    PictureLayer::Placement p;
    p.clip_x = area.x, p.clip_y = area.y, p.clip_w = area.w, p.clip_h = area.h;
    p.origin_x = g.OriginX(), p.origin_y = g.OriginY();
    p.zoom = g.Zoom();
    p.content_w = g.ContentWidth(), p.content_h = g.ContentHeight();
    if (state.window_type == PF_Window_COMP) {
        p.layer_x = state.options.view.layer_offset_x;
        p.layer_y = state.options.view.layer_offset_y;
    }
    p.layer_w = state.LayerWidth(), p.layer_h = state.LayerHeight();
    p.downsample = state.frames.Downsample();
    p.show_frame = state.frames.HasFrame();
    state.picture.Draw(list, p);

    list->PushClipRect(ImVec2(static_cast<float>(area.x), static_cast<float>(area.y)),
                       ImVec2(static_cast<float>(area.x + area.w), static_cast<float>(area.y + area.h)), false);
    if (state.window_type == PF_Window_COMP) {
        // The layer's bounds in the composition, through its corner pixels' outer edges.
        const auto at = [&](double x, double y) {
            return ImVec2(static_cast<float>(g.OriginX() + 0.5 + g.Zoom() * (x - 0.5)),
                          static_cast<float>(g.OriginY() + 0.5 + g.Zoom() * (y - 0.5)));
        };
        list->AddRect(at(p.layer_x, p.layer_y), at(p.layer_x + p.layer_w, p.layer_y + p.layer_h),
                      IM_COL32(160, 160, 160, 160));
    }
    DrawStrokes(list, state.overlay->Strokes());
    list->PopClipRect();
}

}  // namespace vview
