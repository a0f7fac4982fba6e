// The table of output formats, held to its word through `vellora`: every
// format it offers at a depth brings straight RGBA of that depth back exactly
// (premultiplied OpenEXR within one unit in the last place), every picture
// format keeps the window's picture, and every other writer OpenImageIO has
// is refused by name with the alternatives, leaving no file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "imaging/Formats.h"
#include "tests/TestFiles.h"

namespace {

using vimaging::SampleType;
using vtest::RunCli;

struct Case {
    const vimaging::OutputFormat* format;
    SampleType type;
    bool half;  // the input's half floats stay half
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.format->name << " " << (c.half ? "half" : vimaging::SampleTypeName(c.type));
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    std::string name = std::string(c.format->name) + "_" + (c.half ? "half" : vimaging::SampleTypeName(c.type));
    for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

std::vector<Case> Accepted() {
    std::vector<Case> cases;
    for (const vimaging::OutputFormat& format : vimaging::OutputFormats()) {
        for (SampleType type : {SampleType::U8, SampleType::U16, SampleType::F32}) {
            if (vimaging::Keeps(format, type, false)) cases.push_back({&format, type, false});
        }
        if (format.half) cases.push_back({&format, SampleType::F32, true});
    }
    return cases;
}

class FormatKeeps : public ::testing::TestWithParam<Case> {};

TEST_P(FormatKeeps, StraightRgbaOfItsDepth) {
    const Case& c = GetParam();
    vtest::TempDir dir;
    const int w = 37, h = 11;
    const size_t n = static_cast<size_t>(w) * h * 4;
    // Integer depths on their own steps; floats beyond 0..1 and down to denormals.
    const int levels = c.type == SampleType::U8 ? 256 : c.type == SampleType::U16 ? 65536 : 0;
    std::vector<float> rgba = vtest::Noise(n, 7, c.type == SampleType::F32 ? -0.5f : 0.0f,
                                           c.type == SampleType::F32 ? 3.0f : 1.0f, levels);
    for (size_t i = 3; i < n; i += 4) rgba[i] = std::fabs(rgba[i]);
    rgba[3] = 0.0f;  // colour under zero alpha
    rgba[7] = 1.0f;
    if (c.type == SampleType::F32) rgba[4] = 1e-40f;

    // The input states its own depth and convention: straight TIFF, or OpenEXR for half.
    const std::string in = dir.Path(c.half ? "in.exr" : "in.tif");
    OIIO::ImageSpec spec(w, h, 4, c.half ? OIIO::TypeDesc::HALF
                                  : c.type == SampleType::U8 ? OIIO::TypeDesc::UINT8
                                  : c.type == SampleType::U16 ? OIIO::TypeDesc::UINT16
                                                              : OIIO::TypeDesc::FLOAT);
    spec.alpha_channel = 3;
    if (!c.half) spec.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(vtest::WriteFile(in, spec, rgba));
    const vtest::FilePixels input = vtest::ReadFile(in);

    const std::string out = dir.Path(std::string("out.") + c.format->extension);
    const vtest::CliRun run = RunCli("render '" + in + "' '" + out + "' " + vtest::kIdentity +
                                     (c.type == SampleType::F32 ? " --host premiere" : ""));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    const vtest::FilePixels result = vtest::ReadFile(out);
    ASSERT_EQ(result.spec.nchannels, 4);
    EXPECT_EQ(result.spec.alpha_channel, 3);
    EXPECT_EQ(result.spec.format, spec.format);
    ASSERT_EQ(result.data.size(), input.data.size());

    const bool premultiplied = c.format->alpha == vimaging::AlphaConvention::Premultiplied;
    for (size_t i = 0; i < n; ++i) {
        float expected = input.data[i];
        const float alpha = input.data[i - i % 4 + 3];
        // A straight input into a premultiplied file: colour times alpha, once;
        // a premultiplied file cannot hold colour under zero alpha.
        if (premultiplied && !c.half && i % 4 != 3) expected *= alpha;
        if (premultiplied && i % 4 != 3 && alpha == 0.0f) expected = 0.0f;
        if (premultiplied && !c.half) {
            ASSERT_LE(vtest::UlpDistance(result.data[i], expected), 1) << "sample " << i;
        } else {
            ASSERT_EQ(result.data[i], expected) << "sample " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FormatKeeps, ::testing::ValuesIn(Accepted()), CaseName);

TEST(FormatPictures, EveryPictureFormatKeepsTheWindow) {
    vtest::TempDir dir;
    const std::string view = "testcard:96x64 --feather 20 --width 60 --height 40 -q";
    ASSERT_EQ(RunCli("overlay " + view + " " + dir.Arg("reference.png")).status, 0);
    const vtest::FilePixels reference = vtest::ReadFile(dir.Path("reference.png"));
    ASSERT_EQ(reference.spec.nchannels, 3);  // opaque: no alpha written
    for (const vimaging::OutputFormat& format : vimaging::OutputFormats()) {
        if (!format.picture) continue;
        SCOPED_TRACE(format.label);
        const std::string out = dir.Path(std::string("view.") + format.extension);
        const vtest::CliRun run = RunCli("overlay " + view + " '" + out + "'");
        ASSERT_EQ(run.status, 0) << run.out;
        const vtest::FilePixels picture = vtest::ReadFile(out);
        ASSERT_EQ(picture.spec.width, reference.spec.width);
        ASSERT_EQ(picture.spec.height, reference.spec.height);
        ASSERT_EQ(picture.spec.nchannels, 3);
        double error = 0;
        for (size_t i = 0; i < picture.data.size(); ++i) error += std::fabs(picture.data[i] - reference.data[i]);
        error /= static_cast<double>(picture.data.size());
        if (format.lossy) {
            EXPECT_LT(error, 2.0 / 255);
        } else {
            EXPECT_EQ(error, 0.0);
        }
    }
}

TEST(FormatRefusals, EveryOtherWriterIsRefusedByName) {
    vtest::TempDir dir;
    const struct {
        SampleType type;
        const char* options;
    } depths[] = {{SampleType::U8, ""}, {SampleType::U16, " --depth 16"}, {SampleType::F32, " --host premiere --depth float"}};
    int refused = 0;
    for (const char* ext : {"bmp", "dpx", "fits", "gif", "hdr", "heic", "ico", "iff", "jpg", "jp2", "j2k", "exr",
                            "png", "ppm", "rla", "sgi", "tga", "tif", "webp", "zfile"}) {
        auto writer = OIIO::ImageOutput::create(ext);
        ASSERT_TRUE(writer) << ext;
        const vimaging::OutputFormat* format = vimaging::FindOutputFormat(writer->format_name());
        for (const auto& depth : depths) {
            if (format && vimaging::Keeps(*format, depth.type, false)) continue;
            SCOPED_TRACE(std::string(ext) + " " + vimaging::SampleTypeName(depth.type));
            const vtest::CliRun run =
                RunCli("render testcard:16x8 " + dir.Arg(std::string("out.") + ext) + depth.options + " -q");
            EXPECT_NE(run.status, 0);
            EXPECT_TRUE(vtest::OneLineNaming(run.out, "use " + vimaging::Alternatives(depth.type, false)));
            EXPECT_TRUE(dir.Names().empty()) << run.out;
            ++refused;
            break;  // one depth each keeps the run short; the table's own depths are above
        }
    }
    EXPECT_GE(refused, 18);
    // GIF, WebP and HEIC were once taken silently.
    for (const char* ext : {"gif", "webp", "heic"}) {
        const vtest::CliRun run = RunCli("render testcard:16x8 " + dir.Arg(std::string("out.") + ext) + " -q");
        EXPECT_NE(run.out.find(ext == std::string("heic") ? "HEIC" : ext == std::string("gif") ? "GIF" : "WebP"),
                  std::string::npos)
            << run.out;
    }
}

}  // namespace
