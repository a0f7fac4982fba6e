// What a host's layer window shows of a frame at zoom 1, as `vellora overlay`
// draws it: the rendered frame over the checkerboard, the effect's overlay on top.
#pragma once

#include <cstdint>
#include <vector>

#include "python/FrameRender.h"

namespace vpython {

// Opaque straight 8-bit RGBA, frame.width x frame.height, row-major. Throws
// InputError or HostError as HostPool::Render does, HostError when the
// effect fails to draw or leaves a pen or path unreleased.
std::vector<uint8_t> OverlayPicture(HostPool& pool, const FrameView& frame, const FrameOptions& options,
                                    const vparams::EffectValues& values);

}  // namespace vpython
