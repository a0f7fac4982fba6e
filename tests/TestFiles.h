// For tests of image files: a scratch folder, and files made and read with
// OpenImageIO directly, so `vellora` is checked against the library, not itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "tests/TestSupport.h"

namespace vtest {

// A folder on a tmpfs of its own, `bytes` large, for writes that run out of
// room: a real full disk, not a simulated one. Mounting needs root (or
// CAP_SYS_ADMIN); where it fails, Mounted() is false and the test must skip.
class SmallDisk {
public:
    explicit SmallDisk(size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }
    std::string Path(const std::string& name) const { return dir_.Path(name); }
    std::string Arg(const std::string& name) const { return dir_.Arg(name); }
    std::vector<std::string> Names() const { return dir_.Names(); }
    // Fills the disk with a file named "filler" until about `bytes` stay free.
    void LeaveFree(size_t bytes);

private:
    TempDir dir_;
    bool mounted_ = false;
};

// A file's first image as stored: its header, and its samples as floats
// (integers as 0..1), not (un)premultiplied.
struct FilePixels {
    OIIO::ImageSpec spec;
    std::vector<float> data;
    float At(int x, int y, int c) const {
        return data[(static_cast<size_t>(y) * static_cast<size_t>(spec.width) + static_cast<size_t>(x)) *
                        static_cast<size_t>(spec.nchannels) + static_cast<size_t>(c)];
    }
};
FilePixels ReadFile(const std::string& path);
// Writes `data` (spec.nchannels floats a pixel) with `spec`'s format, channels,
// windows and attributes; returns false with a gtest failure when it cannot.
bool WriteFile(const std::string& path, const OIIO::ImageSpec& spec, const std::vector<float>& data);

// `count` samples, uniform in lo..hi from `seed`; with `levels`, whole steps of 1/(levels - 1).
std::vector<float> Noise(size_t count, uint32_t seed, float lo = 0.0f, float hi = 1.0f, int levels = 0);

// Units in the last place between two floats (0 when equal, huge across signs).
int64_t UlpDistance(float a, float b);

// `vellora render` arguments that leave every pixel as it was: intersect
// with a rectangle far larger than any frame, at full opacity.
extern const char kIdentity[];

// Whether `text` holds exactly one line starting "vellora: " and containing `part`.
::testing::AssertionResult OneLineNaming(const std::string& text, const std::string& part);

}  // namespace vtest
