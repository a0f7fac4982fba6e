// The frames the window shows: the input layer rendered through the host at
// the view's resolution or, while the user drags, at a reduced one, and the
// result as 8-bit RGBA for the screen.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "host/Host.h"
#include "imaging/ImageIO.h"
#include "host/World.h"

namespace vview {

class Frames {
public:
    explicit Frames(vimaging::Image input);

    // The layer at full resolution.
    int Width() const { return input_.width; }
    int Height() const { return input_.height; }
    const vimaging::Image& Input() const { return input_; }

    // Renders the layer at 1/downsample in `layout` through the host's one render
    // path. The input worlds of each layout and resolution are made once.
    PF_Err Render(vhost::Host& host, vhost::PixelLayout layout, int downsample, PF_RationalScale pixel_aspect);

    // Makes the input world of a layout and resolution ahead of its first render.
    void Prepare(vhost::PixelLayout layout, int downsample) { InputWorld(layout, downsample); }

    // The last render: its output world, resolution and time.
    bool HasFrame() const { return output_ != nullptr; }
    const vhost::World& Output() const { return *output_; }
    int Downsample() const { return downsample_; }
    double RenderMs() const { return render_ms_; }

    // The last output as straight 8-bit RGBA, row-major, OutputWidth x OutputHeight.
    const std::vector<uint8_t>& Display() const { return display_; }

    // Alpha (0 to 1) of the last output under full-resolution layer pixel (x, y), if inside.
    std::optional<double> AlphaAt(int x, int y) const;

private:
    vhost::World& InputWorld(vhost::PixelLayout layout, int downsample);
    void MakeDisplay();

    vimaging::Image input_;
    // Input and output worlds of each layout and resolution live on: a drag and
    // its release switch between two sizes, and fresh buffers of a full frame
    // cost more in page faults than the render itself.
    std::map<std::pair<vhost::PixelLayout, int>, vhost::World> inputs_, outputs_;
    vhost::World* output_ = nullptr;
    int downsample_ = 1;
    double render_ms_ = 0;
    std::vector<uint8_t> display_;
};

}  // namespace vview
