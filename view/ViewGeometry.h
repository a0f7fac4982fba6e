// Where the picture sits in the window: the zoom, and the window point at which
// pixel (0, 0) of the picture (the layer's, or the composition's) appears. The
// origin is kept in whole window pixels, so a window point minus the origin is
// exactly the point a host with no pan of its own would send for it.
#pragma once

namespace vview {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

class ViewGeometry {
public:
    // The hosts' zoom steps, from 1/64 to 64.
    static constexpr double kMinZoom = 1.0 / 64;
    static constexpr double kMaxZoom = 64.0;

    void SetContent(double width, double height) { content_w_ = width, content_h_ = height; }
    double ContentWidth() const { return content_w_; }
    double ContentHeight() const { return content_h_; }

    double Zoom() const { return zoom_; }
    int OriginX() const { return origin_x_; }
    int OriginY() const { return origin_y_; }

    // The largest zoom at which the content fits the area with a margin, centred.
    void Fit(const Rect& area);
    // `zoom` with the content centred in the area.
    void Centre(const Rect& area, double zoom);
    // A new zoom keeping the content point under window point (px, py) in place.
    void ZoomAbout(double zoom, double px, double py);
    void Pan(int dx, int dy) { origin_x_ += dx, origin_y_ += dy; }

    // The next zoom step above or below the current zoom.
    static double StepUp(double zoom);
    static double StepDown(double zoom);

private:
    static int Round(double v);

    double content_w_ = 1, content_h_ = 1;
    double zoom_ = 1;
    int origin_x_ = 0, origin_y_ = 0;
};

}  // namespace vview
