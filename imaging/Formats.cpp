#include "imaging/Formats.h"

#include <string>
#include <vector>

#include "support/Text.h"

namespace vimaging {

const char* SampleTypeName(SampleType type) {
    switch (type) {
        case SampleType::U8:
            return "8-bit";
        case SampleType::U16:
            return "16-bit";
        case SampleType::F32:
            return "float";
    }
    return "?";
}

const std::vector<OutputFormat>& OutputFormats() {
    using A = AlphaConvention;
    // JPEG 2000, BMP, SGI and the like hold alpha without saying whether it is
    // premultiplied; OpenImageIO then takes it as premultiplied, so straight
    // colour would not come back. GIF, WebP and HEIC lose colour or alpha.
    static const std::vector<OutputFormat> formats = {
        // name       label        ext    8-bit  16-bit float  half   alpha             grey   names  picture lossy
        {"png",      "PNG",       "png", true,  true,  false, false, A::Straight,      true,  false, true,  false},
        {"tiff",     "TIFF",      "tif", true,  true,  true,  false, A::Either,        true,  false, true,  false},
        {"openexr",  "OpenEXR",   "exr", false, false, true,  true,  A::Premultiplied, false, true,  false, false},
        {"targa",    "Targa",     "tga", true,  false, false, false, A::Straight,      false, false, true,  false},
        {"jpeg2000", "JPEG 2000", "jp2", false, false, false, false, A::Straight,      false, false, true,  false},
        {"jpeg",     "JPEG",      "jpg", false, false, false, false, A::Straight,      false, false, true,  true},
    };
    return formats;
}

const OutputFormat* FindOutputFormat(const std::string& name) {
    for (const OutputFormat& format : OutputFormats()) {
        if (name == format.name) return &format;
    }
    return nullptr;
}

bool Keeps(const OutputFormat& format, SampleType type, bool picture) {
    if (picture) return format.picture;
    switch (type) {
        case SampleType::U8:
            return format.u8;
        case SampleType::U16:
            return format.u16;
        case SampleType::F32:
            return format.f32;
    }
    return false;
}

std::string Alternatives(SampleType type, bool picture) {
    std::vector<std::string> labels;
    for (const OutputFormat& format : OutputFormats()) {
        if (Keeps(format, type, picture)) labels.push_back(format.label);
    }
    return vtext::Join(labels, ", ", " or ");
}

}  // namespace vimaging
