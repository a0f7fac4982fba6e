// Image files into worlds and back: opaque alpha for files without one, the
// depth mapping of each kind of file, and float samples kept unclamped.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include <OpenImageIO/imageio.h>

#include "ImageIO.h"

namespace {

std::string TempPath(const std::string& name) {
    return std::string("/tmp/vellora-files-") + std::to_string(getpid()) + "-" + name;
}

TEST(RenderFiles, SixteenBitFileWithoutAlphaMapsOntoTheWorldsScale) {
    const std::string path = TempPath("rgb16.png");
    const uint16_t rgb[] = {0, 65535, 32768, 1, 2, 65534};  // two pixels, no alpha
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out && out->open(path, OIIO::ImageSpec(2, 1, 3, OIIO::TypeDesc::UINT16)));
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT16, rgb) && out->close());

    const vhost::Image image = vhost::ReadImage(path);
    std::remove(path.c_str());
    ASSERT_EQ(image.type, vhost::SampleType::U16);
    EXPECT_EQ(image.u16[3], 65535);  // opaque
    const vhost::World world = vhost::ImageToWorld(image, vhost::PixelLayout::ARGB16);
    EXPECT_EQ(world.Get(0, 0).r, 0.0);
    EXPECT_EQ(world.Get(0, 0).g, 32768.0);
    EXPECT_EQ(world.Get(0, 0).b, 16384.0);  // 32768 * 32768 / 65535 = 16384.25
    EXPECT_EQ(world.Get(0, 0).a, 32768.0);
    const vhost::Image back = vhost::WorldToImage(world);
    EXPECT_EQ(back.u16[1], 65535);
    EXPECT_EQ(back.u16[2], 32768);  // 16384 * 65535 / 32768 = 32767.5, rounded up
    EXPECT_EQ(back.u16[3], 65535);
}

TEST(RenderFiles, EightBitSamplesFeedEveryWorld) {
    vhost::Image image = vhost::Image::Make(1, 1, vhost::SampleType::U8);
    image.u8 = {255, 128, 0, 51};
    const vhost::World deep = vhost::ImageToWorld(image, vhost::PixelLayout::ARGB16);
    EXPECT_EQ(deep.Get(0, 0).r, 32768.0);
    EXPECT_EQ(deep.Get(0, 0).g, 16448.0);  // 128 * 32768 / 255 = 16448.25
    const vhost::World bgra = vhost::ImageToWorld(image, vhost::PixelLayout::BGRA8);
    EXPECT_EQ(bgra.PixelBytes(0, 0)[0], 0);    // blue
    EXPECT_EQ(bgra.PixelBytes(0, 0)[2], 255);  // red
    EXPECT_EQ(bgra.PixelBytes(0, 0)[3], 51);   // alpha
    EXPECT_EQ(vhost::WorldToImage(bgra).u8, image.u8);
    const vhost::World real = vhost::ImageToWorld(image, vhost::PixelLayout::BGRA32F);
    EXPECT_FLOAT_EQ(static_cast<float>(real.Get(0, 0).a), 51.0f / 255.0f);
}

TEST(RenderFiles, FloatSamplesRoundTripUnclamped) {
    vhost::Image image = vhost::Image::Make(2, 1, vhost::SampleType::F32);
    image.f32 = {1.75f, -0.25f, 0.5f, 0.3f, 1e-6f, 4.0f, 0.0f, 1.0f};
    const vhost::World world = vhost::ImageToWorld(image, vhost::PixelLayout::BGRA32F);
    const vhost::Image back = vhost::WorldToImage(world);
    EXPECT_EQ(back.f32, image.f32);

    const std::string path = TempPath("float.exr");
    vhost::WriteImage(path, back);
    const vhost::Image read = vhost::ReadImage(path);
    std::remove(path.c_str());
    ASSERT_EQ(read.type, vhost::SampleType::F32);
    EXPECT_EQ(read.f32, image.f32);

    // An 8-bit world clamps and rounds what it cannot hold.
    const vhost::World narrow = vhost::ImageToWorld(image, vhost::PixelLayout::ARGB8);
    EXPECT_EQ(narrow.Get(0, 0).r, 255.0);
    EXPECT_EQ(narrow.Get(0, 0).g, 0.0);
    EXPECT_EQ(narrow.Get(0, 0).a, 77.0);  // 0.3 * 255 = 76.5
}

}  // namespace
