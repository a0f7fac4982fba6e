// Inside the image library: planning a write. How an image of a sample type
// becomes a file of the format its name asks for: the format checked, the
// channels laid out, and what the input's file held (channels, metadata,
// windows) kept where the format holds it, with a warning where it cannot.
#pragma once

#include <string>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "imaging/Formats.h"
#include "imaging/ImageIO.h"

namespace vimaging {

struct OutputPlan {
    const OutputFormat* format = nullptr;
    OIIO::ImageSpec spec;
    // Per output channel: 0..3 red, green, blue, alpha; -1 - k the source's extra k.
    std::vector<int> take;
    bool associated = false;
    bool extras = false;    // the source's carried channels are written
    bool low_bits = false;  // 16-bit samples get back the bits a 16-bit world lost
    std::vector<std::string> warnings;
};

// Throws InputError naming `path` when its format cannot keep `type` exactly.
OutputPlan PlanOutput(const std::string& path, SampleType type, const WriteOptions& options, int width, int height);

}  // namespace vimaging
