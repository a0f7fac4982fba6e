// The image formats `vellora` writes, and at which depths. A format is listed
// for a depth only when a test proves it keeps straight RGBA of that depth
// exactly (premultiplied formats: within one unit in the last place, colour
// under zero alpha lost). Everything else is refused, naming the alternatives.
#pragma once

#include <string>
#include <vector>

namespace vimaging {

enum class SampleType { U8, U16, F32 };
const char* SampleTypeName(SampleType type);

enum class AlphaConvention {
    Straight,       // colour stored as is
    Premultiplied,  // colour stored multiplied by alpha
    Either,         // a header flag says which; the input's choice is kept
};

struct OutputFormat {
    const char* name;       // OpenImageIO's name, e.g. "png"
    const char* label;      // for people, e.g. "PNG"
    const char* extension;  // the usual one, e.g. "png"
    bool u8, u16, f32;      // depths kept exactly with their alpha
    bool half;              // half floats kept as half (an input's own storage)
    AlphaConvention alpha;
    bool grey;            // holds grey with alpha as two channels
    bool named_channels;  // holds channel names and channels besides RGBA
    bool picture;         // takes an opaque 8-bit picture (overlay, drag --out)
    bool lossy;           // ... but not exactly (JPEG)
};

// Every format written, in the order they are offered as alternatives.
const std::vector<OutputFormat>& OutputFormats();

// The row for OpenImageIO's format name, or null.
const OutputFormat* FindOutputFormat(const std::string& name);

// Whether `format` keeps RGBA of `type` (an opaque 8-bit picture when `picture`).
bool Keeps(const OutputFormat& format, SampleType type, bool picture);

// "PNG, TIFF or Targa": the formats that keep `type` (or take a picture).
std::string Alternatives(SampleType type, bool picture);

}  // namespace vimaging
