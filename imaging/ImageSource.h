// Inside the image library: what a file held besides its straight RGBA.
#pragma once

#include <OpenImageIO/imageio.h>

#include "imaging/ImageIO.h"

namespace vimaging {

struct ImageSource {
    std::string path;
    std::string format;    // OpenImageIO's name of the file's format
    OIIO::ImageSpec spec;  // the header: size, windows, channels and metadata
    SampleType type = SampleType::U8;
    bool associated = false;  // colour stored premultiplied
    bool half = false;        // colour stored as half floats
    bool grey = false;        // colour is one channel
    // File channel of red, green, blue and alpha, -1 where the file has none
    // (grey files name one channel three times).
    int channel[4] = {-1, -1, -1, -1};
    // Channels the effect does not touch, carried unchanged; their samples,
    // one plane of width x height floats each, are filled when the pixels are read.
    std::vector<int> extras;
    std::vector<float> extra_samples;
    // 16-bit files read into 16-bit worlds (0..32768) lose their lowest bit;
    // two bits per sample, four to a byte, say how to restore each sample the
    // effect leaves unchanged. Filled when the pixels are read into such a world.
    std::vector<uint8_t> low_bits;

    bool HasWindow() const {
        return spec.x != 0 || spec.y != 0 || spec.full_x != 0 || spec.full_y != 0 || spec.full_width != spec.width ||
               spec.full_height != spec.height;
    }
};

}  // namespace vimaging
