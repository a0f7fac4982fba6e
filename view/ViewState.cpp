#include "view/ViewState.h"

#include <algorithm>
#include <cmath>

#include "params/EffectParams.h"

namespace vview {

ViewState::ViewState(const ViewOptions& o, vimaging::Image input, std::unique_ptr<Session> first)
    : options(o),
      session(std::move(first)),
      app(o.host_app),
      layout(o.layout),
      frames(std::move(input)),
      screen("vellora view - " + o.input_name, o.width, o.height),
      window_type(o.view.type == PF_Window_COMP ? PF_Window_COMP : PF_Window_LAYER) {}

Rect ViewState::PictureArea() const {
    int w = 0, h = 0;
    screen.Size(w, h);
    return Rect{0, kMenuHeight, std::max(1, w - kPanelWidth), std::max(1, h - kMenuHeight - kStatusHeight)};
}

voverlay::WindowView ViewState::WindowView() {
    voverlay::WindowView vview;
    vview.type = window_type;
    vview.zoom = Geometry().Zoom();
    vview.pan_x = Geometry().OriginX();
    vview.pan_y = Geometry().OriginY();
    vview.layer_offset_x = options.view.layer_offset_x;
    vview.layer_offset_y = options.view.layer_offset_y;
    return vview;
}

void ViewState::SetUpViews() {
    const Rect area = PictureArea();
    const double lw = LayerWidth(), lh = LayerHeight();
    layer_view.SetContent(lw, lh);
    // The composition holds the layer at its offset, as the host's other windows size it.
    comp_view.SetContent(std::max(lw, options.view.layer_offset_x + lw),
                         std::max(lh, options.view.layer_offset_y + lh));
    for (ViewGeometry* g : {&layer_view, &comp_view}) {
        if (options.zoom_given) {
            g->Centre(area, options.view.zoom);
        } else {
            g->Fit(area);
        }
        g->Pan(static_cast<int>(std::lround(options.view.pan_x)), static_cast<int>(std::lround(options.view.pan_y)));
    }
}

void ViewState::Say(const std::string& text, bool error) {
    message = text;
    message_is_error = error;
}

void ViewState::CheckLedgers() {
    const std::string problems = Host().LedgerReport();
    if (!problems.empty()) Say("the plug-in did not give back what it took: " + problems, true);
}

nlohmann::ordered_json ViewState::ParamsJson() {
    return vparams::ReadEffectValuesJson(Host());
}

std::string Stem(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t colon = base.find(':');
    if (colon != std::string::npos) base = base.substr(0, colon);  // testcard:WxH
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    return base.empty() ? std::string("view") : base;
}

}  // namespace vview
