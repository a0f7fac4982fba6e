// The three integer pixel callbacks as one typed suite: conversions both ways,
// truncation and clamping, NaN, colour channels and in-place use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/MaskSupport.h"
#include "plugin/Vellora/Vellora_Render.h"

// The formats live in vtest so the test list names them as vtest::Argb8 and so on.
namespace vtest {

struct Argb8 {
    using Pixel = PF_Pixel;
    static constexpr double kFull = 255.0;
    static constexpr RenderPass kPass = kPassArgb8;
    static constexpr PF_Err (*kBlend)(void*, A_long, A_long, Pixel*, Pixel*) = &Blend_8;
    static constexpr auto kChoose = &ChooseBlend8;
    static Pixel Make(unsigned alpha, unsigned r, unsigned g, unsigned b) {
        return Pixel{A_u_char(alpha), A_u_char(r), A_u_char(g), A_u_char(b)};
    }
    static unsigned Alpha(const Pixel& p) { return p.alpha; }
    static std::vector<unsigned> Colour(const Pixel& p) { return {p.red, p.green, p.blue}; }
};

struct Argb16 {
    using Pixel = PF_Pixel16;
    static constexpr double kFull = 32768.0;
    static constexpr RenderPass kPass = kPassArgb16;
    static constexpr PF_Err (*kBlend)(void*, A_long, A_long, Pixel*, Pixel*) = &Blend_16;
    static constexpr auto kChoose = &ChooseBlend16;
    static Pixel Make(unsigned alpha, unsigned r, unsigned g, unsigned b) {
        return Pixel{A_u_short(alpha), A_u_short(r * 128), A_u_short(g * 128), A_u_short(b * 128 + 5)};
    }
    static unsigned Alpha(const Pixel& p) { return p.alpha; }
    static std::vector<unsigned> Colour(const Pixel& p) { return {p.red, p.green, p.blue}; }
};

// Premiere's 'bgra' bytes in a PF_Pixel, addressed by position.
struct Bgra8 {
    using Pixel = PF_Pixel;
    static constexpr double kFull = 255.0;
    static constexpr RenderPass kPass = kPassBgra8;
    static constexpr PF_Err (*kBlend)(void*, A_long, A_long, Pixel*, Pixel*) = &Blend_BGRA_4444_8u;
    static constexpr auto kChoose = &ChooseBlendBGRA8;
    static Pixel Make(unsigned alpha, unsigned r, unsigned g, unsigned b) {
        Pixel p;
        A_u_char* bytes = reinterpret_cast<A_u_char*>(&p);
        bytes[0] = A_u_char(b), bytes[1] = A_u_char(g), bytes[2] = A_u_char(r), bytes[3] = A_u_char(alpha);
        return p;
    }
    static unsigned Alpha(const Pixel& p) { return reinterpret_cast<const A_u_char*>(&p)[3]; }
    static std::vector<unsigned> Colour(const Pixel& p) {
        const A_u_char* bytes = reinterpret_cast<const A_u_char*>(&p);
        return {bytes[2], bytes[1], bytes[0]};
    }
};

}  // namespace vtest

namespace {

using vtest::Argb16;
using vtest::Argb8;
using vtest::Bgra8;

// A frame whose every pixel takes one of three kinds of result:
// the identity (Add outside the mask), a strength `s` (Create, inverted, no
// inside) and Blend_Float's own path (a feathered ellipse) for the band.
template <class T>
struct Frame {
    VignetteTables spans;
    VignetteFrame frame;
    explicit Frame(VignetteParams p, bool shortcuts = true) {
        VignetteInfo info;
        FillVignetteInfo(p, &info);
        PrepareRenderFrame(info, shortcuts ? 64 : 0, shortcuts ? 64 : 0, spans, &frame, T::kPass);
    }
    // Any field of the record, for results the parameters cannot produce.
    Frame& WithOpacity(float opacity) {
        VignetteInfo info = frame.info;
        info.opacity = opacity;
        PrepareRenderFrame(info, 64, 64, spans, &frame, T::kPass);
        return *this;
    }
};

VignetteParams Identity() {
    VignetteParams p;
    p.width = 0;  // no inside: every pixel is outside, strength 0
    p.composite_mode = COMPOSITE_ADD;
    return p;
}

VignetteParams Strength(double percent) {
    VignetteParams p;
    p.width = 0;
    p.invert = 1;  // no inside inverted: coverage 1 everywhere
    p.composite_mode = COMPOSITE_CREATE;
    p.opacity = static_cast<PF_Fixed>(percent * 65536.0);
    return p;
}

template <class T>
class Adapters : public ::testing::Test {};
using Formats = ::testing::Types<Argb8, Argb16, Bgra8>;
// Numbered as gtest numbers them, so test discovery shows each by its type's
// name; also gives the macro its optional argument, which pedantic compilers want.
struct Numbered {
    template <class T>
    static std::string GetName(int i) { return std::to_string(i); }
};
TYPED_TEST_SUITE(Adapters, Formats, Numbered);

template <class T>
typename T::Pixel Run(Frame<T>& f, typename T::Pixel in, A_long x = 3, A_long y = 4) {
    typename T::Pixel out = T::Make(77, 1, 2, 3);
    EXPECT_EQ(T::kBlend(&f.frame, x, y, &in, &out), PF_Err_NONE);
    return out;
}

TYPED_TEST(Adapters, EveryAlphaSurvivesTheRoundTrip) {
    using T = TypeParam;
    for (bool shortcuts : {true, false}) {
        Frame<T> f(Identity(), shortcuts);
        for (unsigned a = 0; a <= static_cast<unsigned>(T::kFull); ++a) {
            ASSERT_EQ(T::Alpha(Run<T>(f, T::Make(a, 9, 8, 7))), a) << "shortcuts " << shortcuts;
        }
    }
}

TYPED_TEST(Adapters, ResultsTruncateAndClamp) {
    using T = TypeParam;
    Frame<T> half(Strength(50));
    EXPECT_EQ(T::Alpha(Run<T>(half, T::Make(200, 1, 2, 3))), static_cast<unsigned>(T::kFull / 2));  // 127 or 16384
    Frame<T> full(Strength(100));
    EXPECT_EQ(T::Alpha(Run<T>(full, T::Make(0, 1, 2, 3))), static_cast<unsigned>(T::kFull));
    Frame<T> above(Strength(100));
    above.WithOpacity(1.7f);
    EXPECT_EQ(T::Alpha(Run<T>(above, T::Make(0, 1, 2, 3))), static_cast<unsigned>(T::kFull));
    Frame<T> below(Strength(100));
    below.WithOpacity(-0.25f);
    EXPECT_EQ(T::Alpha(Run<T>(below, T::Make(100, 1, 2, 3))), 0u);
    Frame<T> nan(Strength(100));
    nan.WithOpacity(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(T::Alpha(Run<T>(nan, T::Make(100, 1, 2, 3))), 0u);
    // Just under a step: 0.999 of full scale truncates to one less.
    Frame<T> most(Strength(99.9));
    const double opacity = std::floor(99.9 * 65536) / 65536 / 100;
    EXPECT_EQ(T::Alpha(Run<T>(most, T::Make(0, 1, 2, 3))), static_cast<unsigned>(std::floor(T::kFull * opacity)));
}

TYPED_TEST(Adapters, ColourChannelsAreCopiedWhateverTheAlpha) {
    using T = TypeParam;
    Frame<T> f(vtest::SmallSoft(32, 32, FALLOFF_GAUSSIAN));
    for (A_long y = 0; y < 64; y += 3) {
        for (A_long x = 0; x < 64; x += 3) {
            const auto in = T::Make((x * 7 + y) % 256, x, y, 200);
            const auto out = Run<T>(f, in, x, y);
            ASSERT_EQ(T::Colour(out), T::Colour(in)) << x << "," << y;
        }
    }
    Frame<T> clear(Strength(0));  // new alpha 0: colours stay (straight alpha)
    const auto in = T::Make(255, 10, 20, 30);
    const auto out = Run<T>(clear, in);
    EXPECT_EQ(T::Alpha(out), 0u);
    EXPECT_EQ(T::Colour(out), T::Colour(in));
}

TYPED_TEST(Adapters, SourceAndDestinationMayBeTheSamePixel) {
    using T = TypeParam;
    VignetteParams p;
    p.origin_x = 32 << 16;
    p.origin_y = 32 << 16;
    p.width = 40;
    p.height = 30;
    p.feather = 10;
    p.composite_mode = COMPOSITE_INTERSECT;
    Frame<T> f(p);
    for (A_long x : {32, 44, 49, 60}) {  // core, band, band, outside
        const auto original = T::Make(180, 11, 22, 33);
        auto apart = T::Make(0, 0, 0, 0);
        auto in = original;
        T::kBlend(&f.frame, x, 32, &in, &apart);
        auto same = original;
        T::kBlend(&f.frame, x, 32, &same, &same);
        EXPECT_EQ(std::memcmp(&same, &apart, sizeof(same)), 0) << x;
    }
}

using vtest::kSweepH;
using vtest::kSweepW;
using vtest::SweepMask;

// Pixels of random frames where the instance the render chooses differs from
// Blend_Float, every pixel of the output and a margin past it, four alphas each.
// `plant`, when given, changes the frame's tables after they are built.
using Plant = void (*)(VignetteTables&);

template <class T>
long ChosenMismatches(int trials, double cellBoundScale, std::string* first, Plant plant = nullptr) {
    const float full = static_cast<float>(T::kFull);
    std::mt19937 rng(20261206);
    long mismatches = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const VignetteInfo info = SweepMask(rng, trial);
        VignetteTables tables;
        VignetteFrame frame;
        PrepareRenderFrame(info, kSweepW, kSweepH, tables, &frame, T::kPass, cellBoundScale);
        if (plant) plant(tables);
        // Both instances, whichever this processor would choose.
        frame.prefetchAhead = trial % 2 == 0;
        const auto blend = T::kChoose(frame);
        for (A_long y = -2; y < kSweepH + 2; ++y) {
            for (A_long x = -2; x < kSweepW + 2; ++x) {
                for (unsigned alpha : {255u, 0u, 128u, static_cast<unsigned>(x * 3 + y * 5 + trial) % 256}) {
                    // 16-bit alphas run past full scale (32768) to 65535 on every other pixel.
                    const unsigned in_alpha = T::kFull == 255.0 ? alpha : alpha * ((x + y) % 2 ? 257 : 128);
                    const float a = T::kFull == 255.0 ? static_cast<float>(in_alpha) / 255.0f
                                                      : static_cast<float>(in_alpha) * 3.0517578125e-05f;
                    float o;
                    Blend_Float(const_cast<VignetteInfo*>(&info), x, y, &a, &o);
                    const float s = full * o;
                    const unsigned want = !(s > 0.0f) ? 0u : s >= full ? static_cast<unsigned>(full)
                                                                       : static_cast<unsigned>(s);
                    // The whole pixel: the new alpha and the colour as it came, from
                    // the chosen instance and from the general callback alike.
                    const auto expected = T::Make(want, 4, 5, 6);
                    for (const auto callback : {blend, T::kBlend}) {
                        auto in = T::Make(in_alpha, 4, 5, 6);
                        auto out = T::Make(0, 0, 0, 0);
                        callback(&frame, x, y, &in, &out);
                        if (std::memcmp(&out, &expected, sizeof(out)) != 0 && mismatches++ == 0 && first) {
                            *first = "trial " + std::to_string(trial) + " pixel " + std::to_string(x) + "," +
                                     std::to_string(y) + " alpha " + std::to_string(in_alpha) + ": want " +
                                     std::to_string(want) + " got " + std::to_string(T::Alpha(out)) +
                                     (callback == blend ? "" : " (general callback)");
                        }
                    }
                }
            }
        }
    }
    return mismatches;
}

// Every fast path (row spans, zone tables, band cells, rectangle ramps, the
// fast curves) in every instance the render can choose, and in the general
// callback, gives exactly the exact path's result.
TYPED_TEST(Adapters, ChosenInstancesGiveTheExactPathsResults) {
    std::string first;
    EXPECT_EQ(ChosenMismatches<TypeParam>(144, 1.0, &first), 0) << first;
}

// The sweep above proves the band cells' and the 16-bit band's bounds only if
// a bound too small would fail it: planted at half its width, it must.
TEST(AdaptersSweep, CatchesBandCellsWhoseBoundIsTooSmall) {
    EXPECT_GT(ChosenMismatches<Argb8>(144, 0.5, nullptr), 0);
    EXPECT_GT(ChosenMismatches<Bgra8>(144, 0.5, nullptr), 0);
    EXPECT_GT(ChosenMismatches<Argb16>(144, 0.5, nullptr), 0);
}

// The sweep proves the rectangle's byte tables only if a table one whole
// distance off would fail it: read a distance further in along each axis, it must.
// (It also counts the frames that have the tables: most of the sweep's rectangles.)
int planted = 0;
TEST(AdaptersSweep, CatchesRectangleBytesOneDistanceOff) {
    const Plant shift = [](VignetteTables& tables) {
        planted += !tables.rampBytesU.empty();
        for (std::vector<uint8_t>* bytes : {&tables.rampBytesU, &tables.rampBytesV}) {
            if (bytes->size() > 256) std::rotate(bytes->begin(), bytes->begin() + 256, bytes->end());
        }
    };
    planted = 0;
    EXPECT_GT(ChosenMismatches<Argb8>(144, 1.0, nullptr, shift), 0);
    EXPECT_GT(planted, 40) << "of 64 feathered rectangles";
    EXPECT_GT(ChosenMismatches<Bgra8>(144, 1.0, nullptr, shift), 0);
}

// Rectangle pixels whose mask-frame distance is past the range the byte
// tables compare in integers (2^24), past int32 (where truncation gives
// INT32_MIN) or not a number: outside, as the exact path has them.
TYPED_TEST(Adapters, RectanglePixelsFarOffAreOutside) {
    using T = TypeParam;
    VignetteParams p = vtest::SmallSoft(32, 32);
    p.mask_type = MASK_RECTANGLE;
    p.composite_mode = COMPOSITE_SUBTRACT;
    p.opacity = vtest::Fix(60);
    const float offsets[] = {0.0f, 16777216.0f, 16777300.0f, -16777300.0f, 2147483520.0f, 2147483648.0f,
                             -2147483648.0f, -3e9f, 3e9f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    for (int axis = 0; axis < 2; ++axis) {
        for (const float offset : offsets) {
            Frame<T> f(p);
            VignetteInfo info = f.frame.info;
            info.pixelToMask[axis][2] += offset;
            // No spans past a safe margin: every pixel reaches the band's path.
            PrepareRenderFrame(info, 64, 64, f.spans, &f.frame, T::kPass);
            const auto blend = T::kChoose(f.frame);
            for (A_long x : {0, 14, 20, 32, 50, 63}) {
                const float a = T::kFull == 255.0 ? 200.0f / 255.0f : 25600.0f * 3.0517578125e-05f;
                float o;
                Blend_Float(&info, x, 30, &a, &o);
                auto in = T::Make(T::kFull == 255.0 ? 200 : 200 * 128, 1, 2, 3);
                auto out = in;
                blend(&f.frame, x, 30, &in, &out);
                const float s = static_cast<float>(T::kFull) * o;
                EXPECT_EQ(T::Alpha(out), static_cast<unsigned>(s))
                    << "axis " << axis << " offset " << offset << " x " << x;
            }
        }
    }
}

// A damaged project's mask far past the declared sizes renders as the exact
// path does; its ramps would index whole distances past the int32 range (an
// out-of-range conversion the undefined-behaviour sanitizer reports), so it
// computes its curve per pixel.
TYPED_TEST(Adapters, HugeFeatheredMasksMatchTheExactPath) {
    using T = TypeParam;
    for (const int mask : {MASK_RECTANGLE, MASK_ELLIPSE}) {
        VignetteParams p = vtest::Centred(2e12, 1e12, 400, FALLOFF_GAUSSIAN);
        p.mask_type = mask;
        p.composite_mode = COMPOSITE_INTERSECT;
        Frame<T> f(p);
        const auto blend = T::kChoose(f.frame);
        for (A_long x : {0, 250, 500, 999}) {
            const unsigned in_alpha = T::kFull == 255.0 ? 200 : 200 * 128;
            const float a = T::kFull == 255.0 ? 200.0f / 255.0f : static_cast<float>(in_alpha) * 3.0517578125e-05f;
            float o;
            Blend_Float(&f.frame.info, x, 400, &a, &o);
            auto in = T::Make(in_alpha, 1, 2, 3);
            auto out = in;
            blend(&f.frame, x, 400, &in, &out);
            EXPECT_EQ(T::Alpha(out), static_cast<unsigned>(static_cast<float>(T::kFull) * o)) << mask << " x " << x;
        }
    }
}

}  // namespace
