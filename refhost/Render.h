// Renders one frame through the loaded plug-in exactly as a host does: the
// input layer in parameter 0, the frame's scale in PF_InData, the effect's
// point scaled to the buffer, and PF_Cmd_RENDER sent through the entry point.
#pragma once

#include <optional>

#include "Host.h"
#include "World.h"

namespace vhost {

struct FrameSettings {
    // The buffers are 1/downsample of the full-resolution layer on both axes.
    int downsample = 1;
    PF_RationalScale pixel_aspect{1, 1};
    // Premiere: the format GetPixelFormat reports for the output; by default the
    // output's own layout ('bgra', 'BGra'; ARGB worlds report 'argb').
    std::optional<PrPixelFormat> premiere_format;
};

// Premiere's code for a world layout.
PrPixelFormat PremiereFormatOf(PixelLayout layout);

// Sends one render command. The host must have run parameter set-up; the
// origin in its parameter list is in full-resolution layer pixels and is
// scaled to the buffer for the call only. Returns the plug-in's result.
PF_Err RenderFrame(Host& host, World& input, World& output, const FrameSettings& settings = {});

}  // namespace vhost
