// The invariants of one render: a frame as a host hands it over, the results
// it may give, and the render checked against them pixel by pixel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/World.h"
#include "validator/Findings.h"

namespace vvalidator {

// One frame as a host hands it to a render.
struct FrameSpec {
    vhost::PixelLayout layout = vhost::PixelLayout::ARGB8;
    int width = 64, height = 64;              // output buffer
    int input_width = 0, input_height = 0;    // 0: as the output
    size_t padding = 0;                       // extra bytes at the end of every row, both worlds
    std::optional<PF_Rect> extent;            // output extent hint; unset: the whole output
    int downsample = 1;                       // buffers are 1/downsample of the layer
    PF_RationalScale pixel_aspect{1, 1};
    std::optional<PrPixelFormat> premiere_format;  // Premiere: what GetPixelFormat reports
    std::string Describe() const;
};

// The layouts a host renders: After Effects 8 and 16 bits, Premiere 8-bit and float BGRA.
std::vector<vhost::PixelLayout> HostLayouts(vhost::HostApp app);

// Result codes a render of `spec` may return when the host injects no fault.
std::vector<PF_Err> AllowedRenderResults(const vhost::Host& host, const FrameSpec& spec);

// Renders one frame of pseudo-random pixels (from `pixel_seed`) and checks it:
// allowed result, input world untouched, row padding untouched, each output
// pixel either left as it was or holding the input's colour bits and an alpha
// that is finite and within the format's range, every pixel the host asked for
// written when the render succeeded, and balanced ledgers. `allowed` adds codes
// to AllowedRenderResults (faults). The output bytes are returned when asked.
PF_Err RenderChecked(vhost::Host& host, const FrameSpec& spec, uint64_t pixel_seed, Findings& findings,
                     ValidationCounters& counters, const std::vector<PF_Err>& allowed = {},
                     std::vector<unsigned char>* output_bytes = nullptr, bool refused_releases = false);

}  // namespace vvalidator
