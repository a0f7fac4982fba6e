#include "view/Report.h"

#include <cstdio>
#include <string>

namespace vview {

void Reporter::Line(const nlohmann::ordered_json& line) const {
    if (!enabled_) return;
    const std::string text = line.dump() + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void Reporter::View(ViewState& state) {
    ViewGeometry& g = state.Geometry();
    if (reported_ && x_ == g.OriginX() && y_ == g.OriginY() && zoom_ == g.Zoom() && type_ == state.window_type) {
        return;
    }
    reported_ = true;
    x_ = g.OriginX();
    y_ = g.OriginY();
    zoom_ = g.Zoom();
    type_ = state.window_type;
    Line({{"event", "ready"},
          {"origin", {g.OriginX(), g.OriginY()}},
          {"zoom", g.Zoom()},
          {"window", voverlay::WindowTypeName(state.window_type)}});
}

}  // namespace vview
