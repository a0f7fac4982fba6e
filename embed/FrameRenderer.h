// Renders straight 8-bit RGBA frames through the linked effect as Premiere
// sends them (8-bit BGRA: alpha in byte 3, colour bytes copied unchanged),
// one render command a frame with the frame's time and values, the whole
// frame at once: a mask is never rendered for part of a frame.
//
// Video hosts render frames in parallel and a Host dispatches one command at
// a time, so every frame takes a set-up host of its own from the pool (made
// when none is idle) and gives it back afterwards. Safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/AE_Effect.h"
#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vembed {

struct RgbaFrame {
    const uint8_t* in = nullptr;  // read only; may be `out`
    uint8_t* out = nullptr;
    int width = 0, height = 0;  // the buffers', rows tight
    // The layer at full resolution: the size the values' pixels refer to.
    int layer_width = 0, layer_height = 0;
    // The buffers' scale of the layer on each axis (1/2 for a half-size
    // preview), as PF_InData's downsample_x/y carry it.
    PF_RationalScale scale_x{1, 1}, scale_y{1, 1};
    PF_RationalScale pixel_aspect{1, 1};
    double time = 0;  // seconds
};

class FrameRenderer {
public:
    // Sets up the first host and checks the parameter table against the
    // effect's declaration; throws HostError when either fails.
    FrameRenderer();
    ~FrameRenderer();
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    const vparams::Declaration& Declared() const { return declared_; }
    // The effect's own defaults for a layer of this size, every value set.
    vparams::EffectValues Defaults(int layer_width, int layer_height);

    // Renders `frame` under `values` (unset ones the effect's defaults). On
    // failure the frame passes through unchanged and the reason is returned;
    // on success the result is empty.
    std::string Render(const vparams::EffectValues& values, const RgbaFrame& frame);

private:
    struct Renderer;
    // A set-up host; the declaration it read goes to `declared` when given.
    static std::unique_ptr<Renderer> MakeRenderer(vparams::Declaration* declared);
    std::unique_ptr<Renderer> Take();
    void Give(std::unique_ptr<Renderer> renderer);

    vparams::Declaration declared_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Renderer>> idle_;
};

}  // namespace vembed
