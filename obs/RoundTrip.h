// One filter instance's way through the CPU and back: its target rendered into
// an 8-bit RGBA texture, read back, and the effect's result uploaded and drawn
// as OBS draws an RGBA frame of a camera or a video. Render thread only,
// inside OBS's graphics context, which its destructor must also be called in.
//
// Reading back waits for the GPU to finish the frame unless the surface read
// was staged on an earlier frame. So each frame stages its picture, and the
// picture staged on the previous video frame is read: the filter shows its
// source one frame late and the GPU never stalls. With no such picture (the
// first frame, after a change of size, or after frames the filter was not
// rendered on) it reads what it just staged.
#pragma once

#include <cstdint>

#include <obs.h>

namespace vobs {

// A picture read back, in straight or premultiplied RGBA rows.
struct ReadBack {
    const uint8_t* rows = nullptr;
    uint32_t linesize = 0, width = 0, height = 0;
    // Drawn by OBS's filter convention (colour times alpha); a camera's or a
    // video's own frame is read as it arrived, straight.
    bool premultiplied = false;
    // Read on the frame it was staged: the GPU was waited for.
    bool waited = false;
};

class RoundTrip {
public:
    RoundTrip() = default;
    ~RoundTrip();
    RoundTrip(const RoundTrip&) = delete;
    RoundTrip& operator=(const RoundTrip&) = delete;

    // Renders and stages `target` (of `width` x `height`) for the video frame
    // at `now` and maps the picture to use; false when the GPU refused.
    bool Capture(obs_source_t* target, obs_source_t* parent, uint32_t width, uint32_t height, uint64_t now,
                 ReadBack& picture);
    void ReleaseCapture();

    // The output texture of this size, mapped for writing.
    bool MapOutput(uint32_t width, uint32_t height, uint8_t*& rows, uint32_t& linesize);
    // Unmaps it, as the result for the video frame at `now`.
    void UnmapOutput(uint64_t now);
    // Whether the output already holds this frame's result (the filter drawn twice in one frame).
    bool HasOutput(uint32_t width, uint32_t height, uint64_t now) const;
    // Draws the output, a straight 8-bit sRGB picture, into the current target.
    void DrawOutput() const;

private:
    struct Staged {
        gs_stagesurf_t* surface = nullptr;
        uint32_t width = 0, height = 0;
        uint64_t time = 0;
        bool premultiplied = false, filled = false;
    };
    bool RenderTarget(obs_source_t* target, obs_source_t* parent, uint32_t width, uint32_t height, bool straight);

    gs_texrender_t* texrender_ = nullptr;
    Staged staged_[2];
    int next_ = 0;
    Staged* mapped_ = nullptr;
    gs_texture_t* output_ = nullptr;
    uint64_t output_time_ = 0;
    bool output_filled_ = false;
};

}  // namespace vobs
