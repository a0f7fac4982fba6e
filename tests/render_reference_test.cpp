// The rendered pixels, in every format, against a plain
// transcription of the mask formulas written here without any of the
// plug-in's shortcuts (row spans, result tables, fast curves). Random
// parameter sets from a fixed seed; any difference of a single bit in alpha, any
// change of colour or of the rows' padding fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "host/Render.h"
#include "tests/CurveOracle.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"
#include "host/World.h"

namespace {

using vhost::HostApp;
using vhost::PixelLayout;
using vhost::World;

struct Case {
    int mask, mode, falloff, invert;
    PF_Fixed angle, opacity, ox, oy;
    double width, height, feather;
    int downsample;
    PF_RationalScale par;
};

// The record as the formulas build it, fields named as they are described.
struct Record {
    float m[2][3];
    float hw, hh, scaleU, scaleV, outerAxis, innerHW, innerHH, innerAxis;
    float innerHWSq, innerHHSq, innerInvHWSq, innerInvHHSq, hwSq, hhSq, feather, opacity;
    bool ellipse, empty;
    int invert, mode, falloff;
};

Record Build(const Case& k, PF_Fixed ox, PF_Fixed oy) {
    Record r{};
    const double theta = (k.angle * 1.52587890625e-05) * (-0.017453292519943295);
    const float c = static_cast<float>(std::cos(theta)), s = static_cast<float>(std::sin(theta));
    const float dsx = 1.0f / static_cast<float>(k.downsample), dsy = dsx;
    const float sx = (static_cast<float>(k.par.den) / static_cast<float>(k.par.num)) * dsx;
    const float cx = static_cast<float>(ox * 1.52587890625e-05), cy = static_cast<float>(oy * 1.52587890625e-05);
    r.m[0][0] = c / sx;
    r.m[0][1] = (-s) / dsy;
    r.m[0][2] = (cy * s) / dsy - (cx * c) / sx;
    r.m[1][0] = s / sx;
    r.m[1][1] = c / dsy;
    r.m[1][2] = ((-cx) * s) / sx - (cy * c) / dsy;
    r.hw = static_cast<float>(k.width * 0.5);
    r.hh = static_cast<float>(0.5 * k.height);
    r.empty = !(r.hw > 0.0f) || !(r.hh > 0.0f);
    const float aspect = r.hw / r.hh;
    r.falloff = k.falloff;
    r.opacity = static_cast<float>((k.opacity * 1.52587890625e-05) / 100.0);
    float f = static_cast<float>(k.feather);
    if (f >= r.hw) f = static_cast<float>(-1.0 + r.hw);
    if (f < 0.0f) f = 0.0f;
    r.feather = f;
    const float fv = f / aspect;
    r.innerHW = r.hw - f;
    r.innerHH = r.hh - fv;
    r.ellipse = k.mask != MASK_RECTANGLE;
    if (!r.ellipse) {
        r.scaleU = 1.0f / f;
        r.scaleV = 1.0f / fv;
    } else {
        r.scaleU = 1.0f / (r.hw * r.hw);
        r.scaleV = 1.0f / (r.hh * r.hh);
        r.outerAxis = r.hw * r.hh;
        r.innerAxis = r.innerHW * r.innerHH;
        r.innerHWSq = r.innerHW * r.innerHW;
        r.innerHHSq = r.innerHH * r.innerHH;
        r.innerInvHWSq = 1.0f / r.innerHWSq;
        r.innerInvHHSq = 1.0f / r.innerHHSq;
        r.hwSq = r.hw * r.hw;
        r.hhSq = r.hh * r.hh;
    }
    r.invert = k.invert;
    r.mode = k.mode;
    return r;
}

double Curve(const Record& r, double t) { return vtest::CurveOracle(r.falloff, t); }

float Edge(const Record& r, int x, int y) {
    if (r.empty) return 1.0f;
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    const float u = (r.m[0][0] * fx + r.m[0][1] * fy) + r.m[0][2];
    const float v = (r.m[1][0] * fx + r.m[1][1] * fy) + r.m[1][2];
    if (r.ellipse) {
        if (r.scaleU * (u * u) + r.scaleV * (v * v) >= 1.0f) return 1.0f;
        if (r.feather == 0.0f) return 0.0f;
        if (r.innerInvHWSq * (u * u) + r.innerInvHHSq * (v * v) <= 1.0f) return 0.0f;
        const float rad = std::sqrt(u * u + v * v);
        const float cu = u / rad, sv = v / rad;
        const float outerSum = r.hwSq * (sv * sv) + r.hhSq * (cu * cu);
        const float innerSum = r.innerHWSq * (sv * sv) + r.innerHHSq * (cu * cu);
        const float rout = static_cast<float>(r.outerAxis / std::sqrt(static_cast<double>(outerSum)));
        const float rin = static_cast<float>(r.innerAxis / std::sqrt(static_cast<double>(innerSum)));
        const float t = (rad - rin) / (rout - rin);
        return static_cast<float>(Curve(r, t));
    }
    const auto trunc32 = [](float w) {
        return static_cast<int32_t>(std::fmax(std::fmin(w, 2.0e9f), -2.0e9f));
    };
    const float au = static_cast<float>(std::abs(trunc32(u)));
    const float av = static_cast<float>(std::abs(trunc32(v)));
    if (au >= r.hw || av >= r.hh) return 1.0f;
    if (r.feather == 0.0f) return 0.0f;
    if (au >= r.innerHW) {
        const double ex = Curve(r, r.scaleU * (au - r.innerHW));
        if (av >= r.innerHH) {
            const double ey = Curve(r, r.scaleV * (av - r.innerHH));
            const double d = std::sqrt(ex * ex + ey * ey);
            return d > 1.0 ? 1.0f : static_cast<float>(d);
        }
        return static_cast<float>(ex);
    }
    if (av >= r.innerHH) return static_cast<float>(Curve(r, r.scaleV * (av - r.innerHH)));
    return 0.0f;
}

float Blend(const Record& r, int x, int y, float a) {
    const float e = Edge(r, x, y);
    const float cov = r.invert ? e : 1.0f - e;
    const float s = cov * r.opacity;
    switch (r.mode) {
        case 1: return std::fmin(1.0f, a + s);
        case 2: return std::fmax(0.0f, a - s);
        case 3: return a * s;
        case 4: return s;
        default: return a;
    }
}

double Stored(PixelLayout layout, float o) {
    if (layout == PixelLayout::BGRA32F) return o;
    const float full = layout == PixelLayout::ARGB16 ? 32768.0f : 255.0f;
    const float s = o * full;
    if (!(s > 0.0f)) return 0.0;
    if (s >= full) return full;
    return std::trunc(s);
}

float ToFloat(PixelLayout layout, double stored) {
    switch (layout) {
        case PixelLayout::ARGB16: return static_cast<float>(stored) * 3.0517578125e-05f;
        case PixelLayout::BGRA32F: return static_cast<float>(stored);
        default: return static_cast<float>(stored) / 255.0f;
    }
}

Case RandomCase(std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 1 << 30);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case k{};
    k.mask = 1 + pick(rng) % 2;
    k.mode = 1 + pick(rng) % 4;
    k.falloff = 1 + pick(rng) % 6;
    k.invert = pick(rng) % 2;
    k.angle = static_cast<PF_Fixed>(unit(rng) * 720.0 * 65536) - 180 * 65536;
    k.opacity = static_cast<PF_Fixed>(unit(rng) * 100.0 * 65536);
    k.width = 2.0 + unit(rng) * 160.0;
    k.height = 2.0 + unit(rng) * 120.0;
    k.feather = pick(rng) % 5 == 0 ? 0.0 : unit(rng) * 90.0;
    k.ox = static_cast<PF_Fixed>(unit(rng) * 120.0 * 65536) & ~1;  // even, so halving stays exact
    k.oy = static_cast<PF_Fixed>(unit(rng) * 90.0 * 65536) & ~1;
    k.downsample = pick(rng) % 4 == 0 ? 2 : 1;
    const PF_RationalScale pars[] = {{1, 1}, {10, 11}, {2, 1}, {4, 3}};
    k.par = pars[pick(rng) % 4];
    return k;
}

void Apply(vhost::Host& host, const Case& k) {
    auto& p = host.Params();
    p[PARAM_MASK_TYPE].u.pd.value = k.mask;
    p[PARAM_COMPOSITE_MODE].u.pd.value = k.mode;
    p[PARAM_FALLOFF].u.pd.value = k.falloff;
    p[PARAM_INVERT].u.bd.value = k.invert;
    p[PARAM_ANGLE].u.ad.value = k.angle;
    p[PARAM_OPACITY].u.fd.value = k.opacity;
    p[PARAM_WIDTH].u.fs_d.value = k.width;
    p[PARAM_HEIGHT].u.fs_d.value = k.height;
    p[PARAM_FEATHER].u.fs_d.value = k.feather;
    p[PARAM_ORIGIN].u.td.x_value = k.ox;
    p[PARAM_ORIGIN].u.td.y_value = k.oy;
}

struct Target {
    HostApp app;
    PixelLayout layout;
};

TEST(RenderReference, EveryPixelOfEveryFormatMatchesThePlainFormulas) {
    const Target targets[] = {{HostApp::AfterEffects, PixelLayout::ARGB8},
                              {HostApp::AfterEffects, PixelLayout::ARGB16},
                              {HostApp::Premiere, PixelLayout::BGRA8},
                              {HostApp::Premiere, PixelLayout::BGRA32F}};
    std::mt19937 rng(20261206);
    constexpr int kFullW = 124, kFullH = 92;
    for (int n = 0; n < 40; ++n) {
        const Case k = RandomCase(rng);
        for (const Target& target : targets) {
            SCOPED_TRACE(::testing::Message() << "case " << n << " " << vhost::PixelLayoutName(target.layout)
                                              << " mask " << k.mask << " mode " << k.mode << " falloff "
                                              << k.falloff << " feather " << k.feather << " ds " << k.downsample);
            const int w = kFullW / k.downsample, h = kFullH / k.downsample;
            auto host = vtest::SetUpHost(target.app);
            Apply(*host, k);
            World input(target.layout, w, h, 8);
            const double full = input.FullScale();
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    // Alpha sweeps the whole range, past 1 for float frames.
                    const double a = full == 1.0 ? (x * 7 + y * 3) % 23 / 20.0 : std::fmod(x * 37.0 + y * 11.0, full + 1);
                    input.Set(x, y, vhost::Rgba{full * 0.5, full * 0.25, full * 0.75, a});
                }
            }
            World output(target.layout, w, h, 4);
            std::fill(output.Bytes().begin(), output.Bytes().end(), 0xA5);  // padding must keep it
            vhost::FrameSettings settings;
            settings.downsample = k.downsample;
            settings.pixel_aspect = k.par;
            ASSERT_EQ(vhost::RenderFrame(*host, input, output, settings), PF_Err_NONE);
            const Record r = Build(k, k.ox / k.downsample, k.oy / k.downsample);
            int mismatches = 0;
            for (int y = 0; y < h && mismatches < 5; ++y) {
                for (int x = 0; x < w && mismatches < 5; ++x) {
                    const float a = ToFloat(target.layout, input.Get(x, y).a);
                    const double want = Stored(target.layout, Blend(r, x, y, a));
                    const vhost::Rgba in = input.Get(x, y), out = output.Get(x, y);
                    if (!(want == out.a) || out.r != in.r || out.g != in.g || out.b != in.b) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " want alpha " << want << " got " << out.a
                                      << (out.r != in.r || out.g != in.g || out.b != in.b ? ", colour changed" : "");
                        ++mismatches;
                    }
                }
                const unsigned char* pad = output.Row(y) + static_cast<size_t>(w) * vhost::BytesPerPixel(target.layout);
                for (size_t i = 0; i < 4; ++i) ASSERT_EQ(pad[i], 0xA5) << "row " << y << " padding";
            }
        }
    }
}

}  // namespace
