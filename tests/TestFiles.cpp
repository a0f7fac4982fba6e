#include "tests/TestFiles.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace vtest {

const char kIdentity[] = "--mode intersect --mask rectangle --width 15000 --height 15000 -q";

SmallDisk::SmallDisk(size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    mounted_ = !dir_.Dir().empty() && ::mount("tmpfs", dir_.Dir().c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    if (mounted_) ::umount2(dir_.Dir().c_str(), MNT_DETACH);
}

void SmallDisk::LeaveFree(size_t bytes) {
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(dir_.Dir().c_str(), &fs), 0);
    const size_t free = static_cast<size_t>(fs.f_bavail) * fs.f_frsize;
    ASSERT_GT(free, bytes) << "the disk is already fuller than asked";
    FILE* filler = std::fopen(Path("filler").c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    const std::vector<char> zeros(free - bytes, 0);
    const size_t written = std::fwrite(zeros.data(), 1, zeros.size(), filler);
    EXPECT_EQ(std::fclose(filler), 0);
    ASSERT_EQ(written, zeros.size());
}

FilePixels ReadFile(const std::string& path) {
    FilePixels pixels;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    EXPECT_TRUE(in) << path << ": " << OIIO::geterror();
    if (!in) return pixels;
    pixels.spec = in->spec();
    pixels.data.resize(pixels.spec.image_pixels() * static_cast<size_t>(pixels.spec.nchannels));
    EXPECT_TRUE(in->read_image(0, 0, 0, pixels.spec.nchannels, OIIO::TypeDesc::FLOAT, pixels.data.data()))
        << path << ": " << in->geterror();
    return pixels;
}

bool WriteFile(const std::string& path, const OIIO::ImageSpec& spec, const std::vector<float>& data) {
    auto out = OIIO::ImageOutput::create(path);
    const bool ok = out && out->open(path, spec) && out->write_image(OIIO::TypeDesc::FLOAT, data.data()) && out->close();
    EXPECT_TRUE(ok) << path << ": " << (out ? out->geterror() : OIIO::geterror());
    return ok;
}

std::vector<float> Noise(size_t count, uint32_t seed, float lo, float hi, int levels) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(lo, hi);
    std::vector<float> samples(count);
    for (float& s : samples) {
        s = uniform(random);
        if (levels > 1) s = std::round(s * (levels - 1)) / static_cast<float>(levels - 1);
    }
    return samples;
}

int64_t UlpDistance(float a, float b) {
    if (a == b) return 0;
    if (std::signbit(a) != std::signbit(b)) return INT64_MAX;
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    return std::llabs(static_cast<int64_t>(ia) - ib);
}

::testing::AssertionResult OneLineNaming(const std::string& text, const std::string& part) {
    if (text.rfind("vellora: ", 0) != 0 || std::count(text.begin(), text.end(), '\n') != 1 ||
        text.find(part) == std::string::npos) {
        return ::testing::AssertionFailure() << "expected one line naming '" << part << "', got: " << text;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace vtest
