#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vview {

namespace {

// Hosts' zoom menu: halvings below 100 %, then the steps above it.
const double kSteps[] = {1.0 / 64, 1.0 / 32, 1.0 / 16, 1.0 / 8, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0,
                         1.5,      2.0,      3.0,      4.0,      6.0,  8.0,      12.0, 16.0, 24.0, 32.0, 48.0, 64.0};
// Fit leaves this many window pixels free around the content.
const int kFitMargin = 16;

}  // namespace

int ViewGeometry::Round(double v) {
    return static_cast<int>(std::clamp(std::lround(v), -1000000L, 1000000L));
}

void ViewGeometry::Fit(const Rect& area) {
    const double w = std::max(1, area.w - 2 * kFitMargin), h = std::max(1, area.h - 2 * kFitMargin);
    Centre(area, std::min(w / content_w_, h / content_h_));
}

void ViewGeometry::Centre(const Rect& area, double zoom) {
    zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
    origin_x_ = Round(area.x + (area.w - content_w_ * zoom_) / 2);
    origin_y_ = Round(area.y + (area.h - content_h_ * zoom_) / 2);
}

void ViewGeometry::ZoomAbout(double zoom, double px, double py) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    const double cx = (px - origin_x_) / zoom_, cy = (py - origin_y_) / zoom_;
    zoom_ = zoom;
    origin_x_ = Round(px - cx * zoom_);
    origin_y_ = Round(py - cy * zoom_);
}

double ViewGeometry::StepUp(double zoom) {
    const double* next = std::upper_bound(std::begin(kSteps), std::end(kSteps), zoom * (1 + 1e-9));
    return next == std::end(kSteps) ? kMaxZoom : *next;
}

double ViewGeometry::StepDown(double zoom) {
    const double* at = std::lower_bound(std::begin(kSteps), std::end(kSteps), zoom * (1 - 1e-9));
    return at == std::begin(kSteps) ? kMinZoom : *(at - 1);
}

}  // namespace vview
