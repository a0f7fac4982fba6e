// Renders one frame through the loaded plug-in exactly as a host does: the
// input layer in parameter 0, the frame's scale in PF_InData, every point
// parameter scaled to the buffer, and PF_Cmd_RENDER sent through the entry point.
// Every front end, the validator, the tests and the benchmarks render through here.
#pragma once

#include <optional>

#include "host/Host.h"
#include "host/World.h"

namespace vhost {

// A frame's place in time as PF_InData carries it: current_time and
// time_step in units of 1/time_scale seconds.
struct FrameTime {
    A_long current_time = 0;
    A_long time_step = 1;
    A_u_long time_scale = 25;
    // The layer's duration, in the same units; 0 leaves the host's as it is.
    A_long total_time = 0;
};

struct FrameSettings {
    // The buffers are 1/downsample of the full-resolution layer on both axes.
    int downsample = 1;
    // When set, the buffers' scale of the layer on that axis in place of
    // 1/downsample: an editor's preview at any size (960/1920, 3/4...).
    std::optional<PF_RationalScale> scale_x, scale_y;
    PF_RationalScale pixel_aspect{1, 1};
    // Premiere: the format GetPixelFormat reports for the output; by default the
    // output's own layout ('bgra', 'BGra'; ARGB worlds report 'argb').
    std::optional<PrPixelFormat> premiere_format;
    // When set, the frame's time replaces the host's (a clip sends one per frame).
    std::optional<FrameTime> time;
};

// Premiere's code for a world layout.
PrPixelFormat PremiereFormatOf(PixelLayout layout);

// A full-resolution 16.16 coordinate as the effect sees it in a buffer at a
// scale of num/den (1/downsample, or an editor's preview size): multiplied,
// divided and rounded to nearest, held to 16.16's range. At 1/n the product
// is exact, so it is the value divided by n, rounded.
PF_Fixed ScaleToBuffer(PF_Fixed value, PF_RationalScale scale);

// The host's records for one frame, as a host sets them before it sends the
// render command: the layer in parameter 0, the frame's scale, size and time
// in PF_InData, and under Premiere the output's pixel format.
void PrepareFrame(Host& host, World& input, World& output, const FrameSettings& settings);
// Sends the render command for a prepared frame.
PF_Err SendRender(Host& host, World& output, const FrameSettings& settings);

// Prepares and sends one render command. Point parameters in the host's list are in
// full-resolution layer pixels and are scaled to the buffer for the call only.
// Returns the plug-in's result; throws HostError for settings no host would send.
PF_Err RenderFrame(Host& host, World& input, World& output, const FrameSettings& settings = {});

}  // namespace vhost
