// Image files in and out of the reference host, always with straight alpha:
// files are read and written unassociated and nothing is ever premultiplied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "World.h"

namespace vhost {

enum class SampleType { U8, U16, F32 };
const char* SampleTypeName(SampleType type);

// Interleaved straight RGBA, in the file's own depth: U8 0..255, U16 0..65535,
// F32 as stored (0..1 nominal, unclamped). Only the vector of `type` is used.
struct Image {
    int width = 0;
    int height = 0;
    SampleType type = SampleType::U8;
    std::vector<uint8_t> u8;
    std::vector<uint16_t> u16;
    std::vector<float> f32;

    static Image Make(int width, int height, SampleType type);
    size_t Samples() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }
    // Sample `c` (0 r, 1 g, 2 b, 3 a) of pixel (x, y), normalised to 0..1 nominal.
    double Normalised(int x, int y, int c) const;
};

// Reads any file OpenImageIO knows. 8- and 16-bit files keep their depth, all
// others become float. A file without alpha gets an opaque one; grey is spread
// to red, green and blue. Throws HostError naming the file and the reason.
Image ReadImage(const std::string& path);

// Writes `image` in the format the file name's extension picks, through a temp
// file beside the target renamed into place, so a failure never leaves a
// half-written file. Throws HostError when the format cannot hold the image's
// depth or its alpha.
void WriteImage(const std::string& path, const Image& image);
// Throws the error WriteImage would give for an image of `type` at `path`
// (unknown format, no alpha, depth, unwritable folder), leaving no file.
void CheckWritable(const std::string& path, SampleType type);

// File depth to world: 8-bit worlds take 0..255, 16-bit worlds 0..32768 (16-bit
// files map 0..65535 onto it), float worlds the values unchanged (integer files
// as 0..1). Conversions that narrow round to nearest and clamp.
World ImageToWorld(const Image& image, PixelLayout layout, size_t row_padding = 0);
// World to file depth: 8-bit worlds give U8, 16-bit worlds U16 (0..32768 back
// onto 0..65535), float worlds F32 unclamped.
Image WorldToImage(const World& world);

// Every sample normalised to 0..1 nominal (float samples as they are).
std::vector<float> NormalisedRGBA(const Image& image);

// Box-filters to 1/n on both axes (sizes rounded up), as a host scales its
// input for a reduced-resolution preview. Colour is weighted by alpha so
// transparent pixels do not bleed into their neighbours; alpha stays straight.
Image DownsampleImage(const Image& image, int n);

}  // namespace vhost
