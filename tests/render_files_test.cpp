// Image files into worlds and back: opaque alpha for files without one, the
// depth mapping of each kind of file, and float samples kept unclamped.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "imaging/ImageIO.h"
#include "tests/TestFiles.h"

namespace {

TEST(RenderFiles, SixteenBitFileWithoutAlphaMapsOntoTheWorldsScale) {
    const vtest::TempDir dir;
    const std::string path = dir.Path("rgb16.png");
    const uint16_t rgb[] = {0, 65535, 32768, 1, 2, 65534};  // two pixels, no alpha
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out && out->open(path, OIIO::ImageSpec(2, 1, 3, OIIO::TypeDesc::UINT16)));
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT16, rgb) && out->close());

    const vimaging::Image image = vimaging::ReadImage(path);
    ASSERT_EQ(image.type, vimaging::SampleType::U16);
    EXPECT_EQ(image.u16[3], 65535);  // opaque
    const vhost::World world = vimaging::ImageToWorld(image, vhost::PixelLayout::ARGB16);
    EXPECT_EQ(world.Get(0, 0).r, 0.0);
    EXPECT_EQ(world.Get(0, 0).g, 32768.0);
    EXPECT_EQ(world.Get(0, 0).b, 16384.0);  // 32768 * 32768 / 65535 = 16384.25
    EXPECT_EQ(world.Get(0, 0).a, 32768.0);
    const vimaging::Image back = vimaging::WorldToImage(world);
    EXPECT_EQ(back.u16[1], 65535);
    EXPECT_EQ(back.u16[2], 32768);  // 16384 * 65535 / 32768 = 32767.5, rounded up
    EXPECT_EQ(back.u16[3], 65535);
}

TEST(RenderFiles, EightBitSamplesFeedEveryWorld) {
    vimaging::Image image = vimaging::Image::Make(1, 1, vimaging::SampleType::U8);
    image.u8 = {255, 128, 0, 51};
    const vhost::World deep = vimaging::ImageToWorld(image, vhost::PixelLayout::ARGB16);
    EXPECT_EQ(deep.Get(0, 0).r, 32768.0);
    EXPECT_EQ(deep.Get(0, 0).g, 16448.0);  // 128 * 32768 / 255 = 16448.25
    const vhost::World bgra = vimaging::ImageToWorld(image, vhost::PixelLayout::BGRA8);
    EXPECT_EQ(bgra.PixelBytes(0, 0)[0], 0);    // blue
    EXPECT_EQ(bgra.PixelBytes(0, 0)[2], 255);  // red
    EXPECT_EQ(bgra.PixelBytes(0, 0)[3], 51);   // alpha
    EXPECT_EQ(vimaging::WorldToImage(bgra).u8, image.u8);
    const vhost::World real = vimaging::ImageToWorld(image, vhost::PixelLayout::BGRA32F);
    EXPECT_FLOAT_EQ(static_cast<float>(real.Get(0, 0).a), 51.0f / 255.0f);
}

TEST(RenderFiles, FloatSamplesRoundTripUnclamped) {
    vimaging::Image image = vimaging::Image::Make(2, 1, vimaging::SampleType::F32);
    image.f32 = {1.75f, -0.25f, 0.5f, 0.3f, 1e-6f, 4.0f, 0.0f, 1.0f};
    const vhost::World world = vimaging::ImageToWorld(image, vhost::PixelLayout::BGRA32F);
    const vimaging::Image back = vimaging::WorldToImage(world);
    EXPECT_EQ(back.f32, image.f32);

    const vtest::TempDir dir;
    vimaging::WriteImage(dir.Path("float.exr"), back);
    const vimaging::Image read = vimaging::ReadImage(dir.Path("float.exr"));
    ASSERT_EQ(read.type, vimaging::SampleType::F32);
    EXPECT_EQ(read.f32, image.f32);

    // An 8-bit world clamps and rounds what it cannot hold.
    const vhost::World narrow = vimaging::ImageToWorld(image, vhost::PixelLayout::ARGB8);
    EXPECT_EQ(narrow.Get(0, 0).r, 255.0);
    EXPECT_EQ(narrow.Get(0, 0).g, 0.0);
    EXPECT_EQ(narrow.Get(0, 0).a, 77.0);  // 0.3 * 255 = 76.5
}

}  // namespace

// A corpus of real files, made here by OpenImageIO and ffmpeg, through
// `vellora render` with a mask that changes nothing: each comes back equal in
// pixels, channels, depth, association, windows and metadata.
namespace {

using vtest::FilePixels;
using vtest::RunCli;

// The smallest ICC profile a PNG or TIFF reader takes: a display profile, RGB to XYZ, no tags.
std::vector<uint8_t> IccProfile() {
    std::vector<uint8_t> icc(132, 0);
    const auto put = [&](size_t at, const char* text) { std::copy(text, text + 4, icc.begin() + at); };
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) icc[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    put32(0, 132);
    put32(8, 0x02100000);
    put(12, "mntr");
    put(16, "RGB ");
    put(20, "XYZ ");
    put(36, "acsp");
    put32(68, 0xF6D6);  // D50
    put32(72, 0x10000);
    put32(76, 0xD32D);
    return icc;
}

OIIO::ImageSpec Spec(int w, int h, const std::vector<std::string>& channels, OIIO::TypeDesc type) {
    OIIO::ImageSpec spec(w, h, static_cast<int>(channels.size()), type);
    spec.channelnames = channels;
    spec.alpha_channel = -1;
    for (size_t i = 0; i < channels.size(); ++i) {
        if (channels[i] == "A") spec.alpha_channel = static_cast<int>(i);
    }
    spec.attribute("ImageDescription", "vellora corpus");
    return spec;
}

// Premultiplied samples: colour never above its alpha.
std::vector<float> Premultiplied(std::vector<float> rgba, int levels) {
    for (size_t i = 0; i < rgba.size(); i += 4) {
        for (int k = 0; k < 3; ++k) {
            rgba[i + k] *= rgba[i + 3];
            if (levels > 1) rgba[i + k] = std::floor(rgba[i + k] * (levels - 1)) / static_cast<float>(levels - 1);
        }
    }
    return rgba;
}

// Attributes that describe how the bytes were laid out, not the picture.
bool IsEncoding(const std::string& name) {
    return name == "tiff:RowsPerStrip" || name == "oiio:subimages";
}

void ExpectSameFile(const std::string& in_path, const std::string& out_path) {
    SCOPED_TRACE(in_path);
    const FilePixels in = vtest::ReadFile(in_path);
    const FilePixels out = vtest::ReadFile(out_path);
    ASSERT_EQ(out.spec.nchannels, in.spec.nchannels);
    EXPECT_EQ(out.spec.channelnames, in.spec.channelnames);
    for (int c = 0; c < in.spec.nchannels; ++c) EXPECT_EQ(out.spec.channelformat(c), in.spec.channelformat(c)) << c;
    EXPECT_EQ(out.spec.alpha_channel, in.spec.alpha_channel);
    EXPECT_EQ(out.spec.get_int_attribute("oiio:UnassociatedAlpha"), in.spec.get_int_attribute("oiio:UnassociatedAlpha"));
    EXPECT_EQ(std::make_tuple(out.spec.x, out.spec.y, out.spec.width, out.spec.height),
              std::make_tuple(in.spec.x, in.spec.y, in.spec.width, in.spec.height));
    EXPECT_EQ(std::make_tuple(out.spec.full_x, out.spec.full_y, out.spec.full_width, out.spec.full_height),
              std::make_tuple(in.spec.full_x, in.spec.full_y, in.spec.full_width, in.spec.full_height));
    for (const OIIO::ParamValue& attribute : in.spec.extra_attribs) {
        const std::string name = attribute.name().string();
        if (IsEncoding(name)) continue;
        const OIIO::ParamValue* kept = out.spec.find_attribute(name);
        ASSERT_TRUE(kept) << "lost " << name;
        EXPECT_EQ(out.spec.metadata_val(*kept), in.spec.metadata_val(attribute)) << name;
    }
    // Float colour that was divided by alpha and multiplied again may move one unit in the last place.
    const bool divided = in.spec.format == OIIO::TypeDesc::FLOAT && in.spec.alpha_channel >= 0 &&
                         in.spec.get_int_attribute("oiio:UnassociatedAlpha") == 0;
    ASSERT_EQ(out.data.size(), in.data.size());
    for (size_t i = 0; i < in.data.size(); ++i) {
        ASSERT_LE(vtest::UlpDistance(out.data[i], in.data[i]), divided ? 1 : 0) << "sample " << i;
    }
}

TEST(RenderCorpus, FilesComeBackAsTheyWent) {
    vtest::TempDir dir;
    const int w = 64, h = 40;
    const size_t n = static_cast<size_t>(w) * h;
    const std::vector<uint8_t> icc = IccProfile();
    const auto with_icc = [&](OIIO::ImageSpec spec) {
        spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(icc.size())), icc.data());
        spec.attribute("XResolution", 300.0f);
        spec.attribute("YResolution", 300.0f);
        spec.attribute("ResolutionUnit", "in");
        return spec;
    };
    const auto straight = [](OIIO::ImageSpec spec) {
        spec.attribute("oiio:UnassociatedAlpha", 1);
        return spec;
    };
    OIIO::ImageSpec layers = Spec(60, 30, {"R", "G", "B", "A", "Z", "diffuse.R"}, OIIO::TypeDesc::FLOAT);
    layers.channelformats = {OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::FLOAT,
                             OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::HALF, OIIO::TypeDesc::HALF};
    layers.x = 100, layers.y = 50, layers.full_width = 800, layers.full_height = 500;
    layers.attribute("owner", "vellora");

    const struct {
        const char* name;
        OIIO::ImageSpec spec;
        std::vector<float> data;
        const char* options;
    } corpus[] = {
        {"rgba8.png", with_icc(straight(Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT8))),
         vtest::Noise(n * 4, 1, 0, 1, 256), ""},
        {"rgba16.png", straight(Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT16)),
         vtest::Noise(n * 4, 2, 0, 1, 65536), ""},
        {"greya.png", straight(Spec(w, h, {"Y", "A"}, OIIO::TypeDesc::UINT16)), vtest::Noise(n * 2, 3, 0, 1, 65536), ""},
        {"unassoc8.tif", with_icc(straight(Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT8))),
         vtest::Noise(n * 4, 4, 0, 1, 256), ""},
        {"assoc8.tif", Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT8),
         Premultiplied(vtest::Noise(n * 4, 5, 0, 1, 256), 256), ""},
        {"assoc16.tif", Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT16),
         Premultiplied(vtest::Noise(n * 4, 6, 0, 1, 65536), 65536), ""},
        {"assocf.tif", Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::FLOAT),
         Premultiplied(vtest::Noise(n * 4, 7, 0, 2), 0), "--host premiere"},
        {"layers.exr", layers, vtest::Noise(60 * 30 * 6, 8, 0, 4), "--host premiere"},
        {"half.exr", Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::HALF),
         Premultiplied(vtest::Noise(n * 4, 9, 0, 2), 0), "--host premiere"},
    };
    for (const auto& file : corpus) {
        const std::string in = dir.Path(file.name), out = dir.Path(std::string("out-") + file.name);
        ASSERT_TRUE(vtest::WriteFile(in, file.spec, file.data));
        const vtest::CliRun run = RunCli("render '" + in + "' '" + out + "' " + vtest::kIdentity + " " + file.options);
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, "") << file.name;
        ExpectSameFile(in, out);
    }
}

// Every format a user may hand in, written by OpenImageIO itself (a palette
// PNG by ffmpeg), renders to exactly what its decoder gives (WebP cannot seek
// back to its first image, GIF is a palette); grey into a format without grey
// becomes R = G = B; files without alpha gain an opaque one at their own depth.
TEST(RenderCorpus, EveryInputFormatRendersWhatItsDecoderGives) {
    vtest::TempDir dir;
    const int w = 40, h = 24;
    const size_t n = static_cast<size_t>(w) * h;
    const std::vector<std::string> rgba = {"R", "G", "B", "A"}, rgb = {"R", "G", "B"};
    const struct {
        const char* name;
        std::vector<std::string> channels;  // none: made by ffmpeg
        OIIO::TypeDesc type;
    } inputs[] = {
        {"in.png", rgba, OIIO::TypeDesc::UINT8},   {"in.tif", rgba, OIIO::TypeDesc::UINT16},
        {"in.exr", rgba, OIIO::TypeDesc::HALF},    {"in.jpg", rgb, OIIO::TypeDesc::UINT8},
        {"in.tga", rgba, OIIO::TypeDesc::UINT8},   {"in.webp", rgba, OIIO::TypeDesc::UINT8},
        {"in.gif", rgb, OIIO::TypeDesc::UINT8},    {"grey.png", {"Y"}, OIIO::TypeDesc::UINT8},
        {"rgb16.png", rgb, OIIO::TypeDesc::UINT16}, {"grey16.png", {"Y"}, OIIO::TypeDesc::UINT16},
        {"pal.png", {}, OIIO::TypeDesc::UINT8},
    };
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.name);
        const std::string in = dir.Path(input.name);
        const size_t nch = input.channels.size();
        if (nch == 0) {
            const vtest::CliRun made = vtest::RunShell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=40x24 "
                                                       "-frames:v 1 -pix_fmt pal8 " + dir.Arg(input.name));
            ASSERT_EQ(made.status, 0) << made.out;
        } else {
            OIIO::ImageSpec spec = Spec(w, h, input.channels, input.type);
            if (nch == 4) spec.attribute("oiio:UnassociatedAlpha", 1);
            // No zero alpha: the colour under it is not kept by premultiplied formats.
            ASSERT_TRUE(vtest::WriteFile(in, spec, vtest::Noise(n * nch, 21, 0.2f, 1, 256)));
        }
        // Targa holds no grey: 8-bit grey goes there, other files without alpha
        // to PNG, which keeps their depth, the rest to TIFF, which keeps it all.
        const bool grey8 = nch == 1 && input.type == OIIO::TypeDesc::UINT8;
        const std::string out = dir.Path(std::string("out-") + input.name +
                                         (grey8 ? ".tga" : nch == 4 ? ".tif" : ".png"));
        const vtest::CliRun run =
            RunCli("render '" + in + "' '" + out + "' " + vtest::kIdentity +
                   (input.type == OIIO::TypeDesc::HALF ? " --host premiere" : ""));
        ASSERT_EQ(run.status, 0) << run.out;
        const FilePixels source = vtest::ReadFile(in), result = vtest::ReadFile(out);
        const int sch = source.spec.nchannels, rch = result.spec.nchannels, alpha = result.spec.alpha_channel;
        const bool opaque = source.spec.alpha_channel < 0;
        ASSERT_GE(alpha, 0);
        if (opaque && !grey8) {
            EXPECT_EQ(rch, sch + 1);
            EXPECT_EQ(result.spec.format, source.spec.format);
        }
        for (size_t p = 0; p < n; ++p) {
            for (int c = 0; c < std::min(rch - 1, 3); ++c) {
                const float expected = source.data[p * sch + (sch < 3 ? 0 : c)];
                ASSERT_NEAR(result.data[p * rch + c], expected, 1e-6f) << "pixel " << p << " channel " << c;
            }
            if (opaque) {
                ASSERT_EQ(result.data[p * rch + alpha], 1.0f) << "pixel " << p;
            }
        }
    }
}

// Channels by name, not position: R,G,B,Z has no alpha (Z is not one); an R,G
// file has no blue and no alpha; an alpha-only file has no colour.
TEST(RenderCorpus, ChannelsAreTakenByName) {
    vtest::TempDir dir;
    const int w = 8, h = 4;
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<float> rgbz = vtest::Noise(n * 4, 21, 0.1f, 0.9f);
    std::vector<float> rg = vtest::Noise(n * 2, 22, 0.1f, 0.9f);
    std::vector<float> a = vtest::Noise(n, 23, 0.1f, 0.9f);
    ASSERT_TRUE(vtest::WriteFile(dir.Path("rgbz.exr"), Spec(w, h, {"R", "G", "B", "Z"}, OIIO::TypeDesc::FLOAT), rgbz));
    ASSERT_TRUE(vtest::WriteFile(dir.Path("rg.exr"), Spec(w, h, {"R", "G"}, OIIO::TypeDesc::FLOAT), rg));
    ASSERT_TRUE(vtest::WriteFile(dir.Path("a.exr"), Spec(w, h, {"A"}, OIIO::TypeDesc::FLOAT), a));
    // Through a straight TIFF, which shows what the effect saw as colour and alpha.
    const auto seen = [&](const char* name) {
        const vtest::CliRun run = RunCli("render " + dir.Arg(name) + " " + dir.Arg(std::string(name) + ".tif") +
                                         " --host premiere " + vtest::kIdentity);
        EXPECT_EQ(run.status, 0) << run.out;
        return vtest::ReadFile(dir.Path(std::string(name) + ".tif"));
    };
    const FilePixels from_rgbz = seen("rgbz.exr"), from_rg = seen("rg.exr"), from_a = seen("a.exr");
    for (size_t p = 0; p < n; ++p) {
        const float* z = &from_rgbz.data[p * 4];
        EXPECT_EQ(std::vector<float>(z, z + 4), std::vector<float>({rgbz[p * 4], rgbz[p * 4 + 1], rgbz[p * 4 + 2], 1.0f}));
        const float* g = &from_rg.data[p * 4];
        EXPECT_EQ(std::vector<float>(g, g + 4), std::vector<float>({rg[p * 2], rg[p * 2 + 1], 0.0f, 1.0f}));
        const float* o = &from_a.data[p * 4];
        EXPECT_EQ(std::vector<float>(o, o + 4), std::vector<float>({0.0f, 0.0f, 0.0f, a[p]}));
    }
    // Z goes on into a format that holds it, unchanged, and is named where it cannot.
    const vtest::CliRun dropped = RunCli("render " + dir.Arg("rgbz.exr") + " " + dir.Arg("out.tif") +
                                         " --host premiere " + vtest::kIdentity);
    EXPECT_EQ(dropped.status, 0);
    EXPECT_TRUE(vtest::OneLineNaming(dropped.out, "warning: '" + dir.Path("out.tif") + "' cannot keep channel Z"));
    ASSERT_EQ(RunCli("render " + dir.Arg("rgbz.exr") + " " + dir.Arg("out.exr") + " --host premiere " +
                     vtest::kIdentity).status, 0);
    const FilePixels kept = vtest::ReadFile(dir.Path("out.exr"));
    ASSERT_EQ(kept.spec.nchannels, 5);
    const int z = kept.spec.channelindex("Z");
    ASSERT_GE(z, 0);
    EXPECT_EQ(kept.spec.channelnames[static_cast<size_t>(kept.spec.alpha_channel)], "A");
    for (size_t p = 0; p < n; ++p) ASSERT_EQ(kept.data[p * 5 + static_cast<size_t>(z)], rgbz[p * 4 + 3]);
}

// Files that cannot be rendered whole, or safely, are refused in one line, leaving nothing.
TEST(RenderCorpus, TruncatedMultiImageIffAndRlaFilesAreRefused) {
    vtest::TempDir dir;
    const int w = 256, h = 128;
    const size_t n = static_cast<size_t>(w) * h;
    for (const char* name : {"cut.png", "cut.tif", "cut.exr"}) {
        ASSERT_TRUE(vtest::WriteFile(dir.Path(name), Spec(w, h, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT8),
                                     vtest::Noise(n * 4, 31, 0, 1, 256)));
    }
    const vtest::CliRun made = vtest::RunShell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=256x128 -frames:v 1 " +
                                               dir.Arg("cut.jpg"));
    ASSERT_EQ(made.status, 0) << made.out;
    for (const char* name : {"cut.png", "cut.tif", "cut.exr", "cut.jpg"}) {
        ASSERT_EQ(truncate(dir.Path(name).c_str(), static_cast<off_t>(std::ifstream(dir.Path(name), std::ios::ate).tellg() * 2 / 3)), 0);
    }
    {
        const std::string path = dir.Path("two.tif");
        auto out = OIIO::ImageOutput::create(path);
        const OIIO::ImageSpec spec(8, 8, 4, OIIO::TypeDesc::UINT8);
        const std::vector<OIIO::ImageSpec> specs = {spec, spec};
        const std::vector<uint8_t> pixels(8 * 8 * 4, 100);
        ASSERT_TRUE(out && out->open(path, 2, specs.data()) && out->write_image(OIIO::TypeDesc::UINT8, pixels.data()) &&
                    out->open(path, spec, OIIO::ImageOutput::AppendSubimage) &&
                    out->write_image(OIIO::TypeDesc::UINT8, pixels.data()) && out->close());
    }
    for (const char* name : {"maya.iff", "wavefront.rla"}) {
        ASSERT_TRUE(vtest::WriteFile(dir.Path(name), Spec(8, 8, {"R", "G", "B", "A"}, OIIO::TypeDesc::UINT8),
                                     vtest::Noise(8 * 8 * 4, 7, 0, 1, 256)));
    }
    const std::vector<std::string> before = dir.Names();
    for (const char* name : {"cut.png", "cut.tif", "cut.exr", "cut.jpg", "two.tif", "maya.iff", "wavefront.rla"}) {
        SCOPED_TRACE(name);
        const vtest::CliRun run = RunCli("render " + dir.Arg(name) + " " + dir.Arg("out.tif") + " " + vtest::kIdentity);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(vtest::OneLineNaming(run.out, std::string("'") + dir.Path(name) + "'"));
        const std::string why = name == std::string("two.tif")         ? "2 images"
                                : name == std::string("maya.iff")      ? "IFF files are not read"
                                : name == std::string("wavefront.rla") ? "RLA files are not read"
                                                                       : "truncated";
        EXPECT_NE(run.out.find(why), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("4294967295"), std::string::npos) << run.out;
        EXPECT_EQ(dir.Names(), before);
    }
}

}  // namespace
