// Image files in and out of the reference host. Pixels are always straight
// RGBA here: files whose alpha is premultiplied are divided on the way in and
// multiplied again on the way out. What the effect does not touch travels
// beside the pixels (ImageSource) and goes back into the output where its
// format holds it: channels besides RGBA, windows, alpha association and
// metadata such as the ICC profile, resolution and description.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/Formats.h"
#include "host/World.h"

namespace vimaging {

// What a file held besides its straight RGBA pixels. Only the image library
// looks inside.
struct ImageSource;

// Interleaved straight RGBA, in the file's own depth: U8 0..255, U16 0..65535,
// F32 as stored (0..1 nominal, unclamped). Only the vector of `type` is used.
struct Image {
    int width = 0;
    int height = 0;
    SampleType type = SampleType::U8;
    std::vector<uint8_t> u8;
    std::vector<uint16_t> u16;
    std::vector<float> f32;
    // The file it came from; null for pictures made in code.
    std::shared_ptr<const ImageSource> source;

    static Image Make(int width, int height, SampleType type);
    size_t Samples() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }
    // Sample `c` (0 r, 1 g, 2 b, 3 a) of pixel (x, y), normalised to 0..1 nominal.
    double Normalised(int x, int y, int c) const;
};

// An image file opened and its header checked; the pixels are read on demand,
// a band of rows at a time, so a frame is never held twice. Refuses, with
// InputError naming the file and the reason: anything but a readable regular
// file, files of several images, empty or too large images.
class ImageReader {
public:
    explicit ImageReader(const std::string& path);
    ~ImageReader();
    ImageReader(ImageReader&&) noexcept;
    ImageReader& operator=(ImageReader&&) noexcept;

    int Width() const;
    int Height() const;
    // The depth of its colour and alpha: 8- and 16-bit files keep theirs, all others are float.
    SampleType Type() const;
    std::shared_ptr<const ImageSource> Source() const;
    const std::string& Path() const;

    // Straight RGBA into `world` (of the file's size), converted as ImageToWorld does.
    void ReadInto(vhost::World& world);
    // Straight RGBA in the file's depth.
    Image Read();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ImageReader(path).Read().
Image ReadImage(const std::string& path);

struct WriteOptions {
    // Channels, windows, association and metadata to keep, from the input.
    std::shared_ptr<const ImageSource> source;
    // Sample type of the file; by default the image's or world's own depth.
    std::optional<SampleType> type;
    // Keep the source's own storage where the format holds it (half floats stay half).
    bool keep_source_storage = false;
    // The pixels are 1/n of the source's on both axes (--downsample): windows
    // are scaled, and the source's extra channels cannot be kept.
    int downsample = 1;
    // An opaque 8-bit picture: written without alpha, and formats without alpha take it.
    bool picture = false;
    // Receives one line for each thing the output cannot keep (channels, windows).
    std::function<void(const std::string&)> warn;
};

// Writes through a temporary file beside the target which is checked (it
// opens, with the size and channels written) before it replaces anything;
// see AtomicFile.h. Throws InputError naming the file when the format is not
// one that keeps the result (see Formats.h), HostError when the write fails.
void WriteImage(const std::string& path, const Image& image, const WriteOptions& options = {});
void WriteWorld(const std::string& path, const vhost::World& world, const WriteOptions& options = {});
// Throws the error writing a width x height image of `type` would give (format,
// folder, special file), before any work; warns through `options.warn`.
void CheckWritable(const std::string& path, SampleType type, const WriteOptions& options = {}, int width = 0,
                   int height = 0);

// File depth to world: 8-bit worlds take 0..255, 16-bit worlds 0..32768 (16-bit
// files map 0..65535 onto it), float worlds the values unchanged (integer files
// as 0..1). Conversions that narrow round to nearest and clamp.
vhost::World ImageToWorld(const Image& image, vhost::PixelLayout layout, size_t row_padding = 0);
// Row `y` of `image` into row `world_y` of `world` (as wide), converted as ImageToWorld does.
void ImageRowToWorld(const Image& image, int y, vhost::World& world, int world_y);
// World to file depth: 8-bit worlds give U8, 16-bit worlds U16 (0..32768 back
// onto 0..65535), float worlds F32 unclamped.
Image WorldToImage(const vhost::World& world);
// The sample type a world is written at by default.
SampleType WorldSampleType(vhost::PixelLayout layout);

// One row of a world as straight RGBA floats normalised to 0..1 nominal, the
// same values NormalisedRGBA(WorldToImage(world)) gives.
void NormalisedRow(const vhost::World& world, int y, float* rgba);
// Every sample normalised to 0..1 nominal (float samples as they are).
std::vector<float> NormalisedRGBA(const Image& image);

// Box-filters to 1/n on both axes (sizes rounded up), as a host scales its
// input for a reduced-resolution preview. Colour is weighted by alpha so
// transparent pixels do not bleed into their neighbours; alpha stays straight.
// Boxes fall on the grid of the whole picture: a file's data window starting
// at an odd (or negative) origin keeps its pixels where they were.
Image DownsampleImage(const Image& image, int n);
// Pixels at 1/n of `size` pixels from `origin`, on that grid; and where they start.
int DownsampledSize(int origin, int size, int n);
int DownsampledOrigin(int origin, int n);

}  // namespace vimaging
