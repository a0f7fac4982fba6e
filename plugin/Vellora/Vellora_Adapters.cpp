#include <algorithm>
#include <cstdint>
#include <cstring>

#include "plugin/Vellora/Vellora_Instances.h"
#include "plugin/Vellora/Vellora_Render.h"

using namespace vellora_render;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed pixels are read as little-endian words");

namespace {

// The 16-bit result of a zone of strength `s` as min(A * scale + offset, 32768)
// for every 16-bit alpha A, where the arithmetic allows: A * 2^-15 is exact and
// not negative, so a strength of 0 or 1 leaves it as it is, and Create ignores it.
bool Zone16(const VignetteInfo& vi, float s, uint32_t* scale, uint32_t* offset) {
    const auto constant = [&](float o) {
        *scale = 0;
        *offset = ToAlpha16(32768.0f * o);
        return true;
    };
    const auto identity = [&]() {
        *scale = 1;
        *offset = 0;
        return true;
    };
    switch (vi.compositeMode) {
        case COMPOSITE_CREATE:
            return constant(s);
        case COMPOSITE_INTERSECT:
            if (s == 0.0f) return constant(0.0f);
            if (s == 1.0f) return identity();
            return false;
        case COMPOSITE_ADD:
            if (s == 0.0f) return identity();
            if (s >= 1.0f) return constant(1.0f);  // a + s >= 1 for every a >= 0
            return false;
        case COMPOSITE_SUBTRACT:
            return s == 0.0f ? identity() : false;
        default:
            return identity();  // the alpha passes through
    }
}


}  // namespace

void PrepareRenderFrame(const VignetteInfo& info, A_long width, A_long height, VignetteTables& tables,
                        VignetteFrame* frame, RenderPass pass, double cellBoundScale) {
    const bool eight = pass == kPassArgb8 || pass == kPassBgra8;
    // The band cells' rows tell the 16-bit pass, too, where the band is certain.
    PrepareVignetteFrame(info, width, height, tables, frame, eight || pass == kPassArgb16, cellBoundScale);
    if (eight) {
        const int shift = pass == kPassBgra8 ? 24 : 0;
        for (int k = 0; k < 256; ++k) {
            const float a = kAlpha8[static_cast<size_t>(k)];
            frame->outside32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 1.0f, a))} << shift;
            frame->core32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 0.0f, a))} << shift;
        }
        if (frame->bandCells && frame->info.compositeMode == COMPOSITE_CREATE) {
            tables.bandBytes.resize(static_cast<size_t>(frame->bandCellCount));
            for (A_long i = 0; i < frame->bandCellCount; ++i) {
                const auto byte = [&](float e) { return ToAlpha8(255.0f * CompositeAlpha(&frame->info, e, 0.0f)); };
                const int lo = byte(frame->bandCells[2 * i]), hi = byte(frame->bandCells[2 * i + 1]);
                tables.bandBytes[static_cast<size_t>(i)] = static_cast<int16_t>(lo == hi ? lo : -1);
            }
            frame->bandBytes = tables.bandBytes.data();
        }
    } else if (pass == kPassArgb16) {
        const bool outside = Zone16(frame->info, frame->outsideStrength, &frame->zoneScale16[ZONE_OUTSIDE],
                                    &frame->zoneOffset16[ZONE_OUTSIDE]);
        const bool core = Zone16(frame->info, frame->coreStrength, &frame->zoneScale16[ZONE_CORE],
                                 &frame->zoneOffset16[ZONE_CORE]);
        frame->zones16 = outside && core;
        PrepareBand16(frame->info, tables.band16Chords, &frame->band16, cellBoundScale);
    }
}

namespace {

// A packed 8-bit pixel as one little-endian word; its alpha is byte AlphaByte.
__attribute__((always_inline)) inline uint32_t LoadPixel8(const PF_Pixel* in) {
    uint32_t pixel;
    std::memcpy(&pixel, in, sizeof(pixel));
    return pixel;
}

template <int AlphaByte>
__attribute__((always_inline)) inline uint32_t Alpha8Of(uint32_t pixel) {
    return (pixel >> (8 * AlphaByte)) & 0xFF;
}

// Writes `pixel` with its alpha byte replaced by `shifted`, an alpha already
// in that byte's place: the colour bytes are the source's, whatever the alpha.
template <int AlphaByte>
__attribute__((always_inline)) inline PF_Err StoreAlpha8(uint32_t pixel, uint32_t shifted, PF_Pixel* out) {
    pixel = (pixel & ~(uint32_t{0xFF} << (8 * AlphaByte))) | shifted;
    std::memcpy(out, &pixel, sizeof(pixel));
    return PF_Err_NONE;
}

// 8-bit pixels off the row spans by the exact path.
template <A_long Mode, int S, int AlphaByte>
__attribute__((noinline)) PF_Err Blend8Exact(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const uint32_t pixel = LoadPixel8(in);
    const float a = kAlpha8[Alpha8Of<AlphaByte>(pixel)];
    const uint32_t result = ToAlpha8(255.0f * CompositeAlpha<Mode>(&f->info, EdgeAt<S, kAnyFalloff>(f, x, y), a));
    return StoreAlpha8<AlphaByte>(pixel, result << (8 * AlphaByte), out);
}

// 8-bit pixels of the ellipse off the row spans: the exact path's zone tests,
// then in the band the pixel's cell, which bounds the exact edge value. Every
// step from there to the byte (coverage, opacity, the composite, scaling,
// truncation) keeps or reverses order, so when both bounds give the same byte,
// so does the exact value; otherwise, a few percent of band pixels, the exact
// path decides. Everything rare is a tail call, so this needs no stack frame.
template <A_long Mode, int S, int AlphaByte>
__attribute__((noinline)) PF_Err Blend8Edge(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    if (S != kEllipse || !f->bandCells) {
        return Blend8Exact<Mode, S, AlphaByte>(refcon, x, y, in, out);
    }
    const VignetteInfo* vi = &f->info;
    constexpr int kShift = 8 * AlphaByte;
    const uint32_t pixel = LoadPixel8(in);
    const uint32_t alpha = Alpha8Of<AlphaByte>(pixel);
    // The byte cell i settles, or -1.
    const auto byte = [&](A_long i) -> int {
        if (Mode == COMPOSITE_CREATE) {
            return f->bandBytes[i];
        }
        const float* cell = f->bandCells + 2 * i;
        const float a = kAlpha8[alpha];
        const int lo = ToAlpha8(255.0f * CompositeAlpha<Mode>(vi, cell[0], a));
        const int hi = ToAlpha8(255.0f * CompositeAlpha<Mode>(vi, cell[1], a));
        return lo == hi ? lo : -1;
    };
    // Certainly in the band: the cell from the row's quadratic, no zone tests.
    if (f->bandRows && static_cast<A_u_long>(y) < f->rowCount && static_cast<A_u_long>(x) < f->columnCount) {
        const VignetteBandRow& row = f->bandRows[y];
        if (row.inside.Holds(x) && !row.core.Holds(x)) {
            const double fx = static_cast<double>(x);
            const double fi = (f->cellA * fx + row.cellB) * fx + row.cellC;
            const int settled = fi >= 0.0 && fi < f->bandCellCount ? byte(static_cast<A_long>(fi)) : -1;
            if (__builtin_expect(settled < 0, 0)) {
                return Blend8Exact<Mode, S, AlphaByte>(refcon, x, y, in, out);
            }
            return StoreAlpha8<AlphaByte>(pixel, static_cast<uint32_t>(settled) << kShift, out);
        }
    }
    float u, v;
    VignetteMaskPoint(vi, x, y, &u, &v);
    const float q = EllipseOuterForm(vi, u * u, v * v);
    uint32_t result;
    if (EllipseOutside(q)) {
        result = f->outside32[alpha];
    } else if (EllipseCore(vi, u * u, v * v)) {
        result = f->core32[alpha];
    } else {
        const float fi = (q - f->bandQ0) * f->bandCellsPerQ;
        if (!(fi >= 0.0f && fi < static_cast<float>(f->bandCellCount))) {
            return Blend8Exact<Mode, S, AlphaByte>(refcon, x, y, in, out);
        }
        const int settled = byte(static_cast<A_long>(fi));
        if (__builtin_expect(settled < 0, 0)) {
            return Blend8Exact<Mode, S, AlphaByte>(refcon, x, y, in, out);
        }
        result = static_cast<uint32_t>(settled) << kShift;
    }
    return StoreAlpha8<AlphaByte>(pixel, result, out);
}

// The frame's result table for a pixel certainly outside or in the core, else null.
__attribute__((always_inline)) inline const uint32_t* ShortcutTable(const VignetteFrame* frame, A_long x, A_long y) {
    const int zone = frame->ZoneOf(x, y);
    if (__builtin_expect(zone == ZONE_OUTSIDE, 1)) {
        return frame->outside32;
    }
    return zone == ZONE_CORE ? frame->core32 : nullptr;
}

template <A_long Mode, int S, int AlphaByte>
PF_Err Blend8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    // Certainly outside or in the core: the frame's table holds Blend_Float's result.
    if (const uint32_t* table = ShortcutTable(static_cast<const VignetteFrame*>(refcon), x, y)) {
        const uint32_t pixel = LoadPixel8(in);
        return StoreAlpha8<AlphaByte>(pixel, table[Alpha8Of<AlphaByte>(pixel)], out);
    }
    return Blend8Edge<Mode, S, AlphaByte>(refcon, x, y, in, out);
}

// 16-bit pixels near an edge or in the band, out of line as Blend8Edge is.
// In the ellipse's band the frame's ramp and curve bounds hold the exact edge
// value; every step from there to the 16-bit result keeps or reverses order,
// so when both bounds give one result, so does the exact value. Elsewhere the
// exact path decides.
template <A_long Mode, int S, A_long Falloff>
__attribute__((noinline)) PF_Err Blend16Edge(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const VignetteInfo* vi = &f->info;
    const float a = static_cast<float>(in->alpha) * 3.0517578125e-05f;
    const auto write = [in, out](A_u_short result) {
        *out = *in;
        out->alpha = result;
        return PF_Err_NONE;
    };
    float e;
    if (S == kEllipse && Falloff != kAnyFalloff && f->band16.usable) {
        float u, v;
        VignetteMaskPoint(vi, x, y, &u, &v);
        // VignetteEdge's tests, unless the band is certain, then the band's bounds.
        const bool certain = f->bandRows && static_cast<A_u_long>(y) < f->rowCount &&
                             static_cast<A_u_long>(x) < f->columnCount && f->bandRows[y].inside.Holds(x) &&
                             !f->bandRows[y].core.Holds(x);
        if (!certain && EllipseOutside(EllipseOuterForm(vi, u * u, v * v))) {
            e = 1.0f;
        } else if (!certain && EllipseCore(vi, u * u, v * v)) {
            e = 0.0f;
        } else {
            float elo, ehi;
            f->band16.EdgeRange<vellora_curves::Curve<Falloff == kAnyFalloff ? FALLOFF_LINEAR : Falloff>>(u, v, &elo,
                                                                                                          &ehi);
            const A_u_short lo = ToAlpha16(32768.0f * CompositeAlpha<Mode>(vi, elo, a));
            const A_u_short hi = ToAlpha16(32768.0f * CompositeAlpha<Mode>(vi, ehi, a));
            if (__builtin_expect(lo == hi, 1)) {
                return write(lo);
            }
            e = VignetteEllipseBand<Falloff>(vi, u, v);
        }
    } else {
        e = EdgeAt<S, Falloff>(f, x, y);
    }
    return write(ToAlpha16(32768.0f * CompositeAlpha<Mode>(vi, e, a)));
}

// Zones whose results are a constant or the alpha itself, in integers.
template <A_long Mode, int S, A_long Falloff>
PF_Err Blend16Simple(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const int zone = f->ZoneOf(x, y);
    if (__builtin_expect(zone != ZONE_EDGE, 1)) {
        // The whole pixel in one register, written once: alpha is its low word.
        uint64_t pixel;
        std::memcpy(&pixel, in, sizeof(pixel));
        const uint64_t a = pixel & 0xFFFF;
        const uint64_t result = std::min<uint64_t>(a * f->zoneScale16[zone] + f->zoneOffset16[zone], 32768);
        pixel = (pixel & ~uint64_t{0xFFFF}) | result;
        std::memcpy(out, &pixel, sizeof(pixel));
        return PF_Err_NONE;
    }
    return Blend16Edge<Mode, S, Falloff>(refcon, x, y, in, out);
}

template <A_long Mode, int S, A_long Falloff>
PF_Err Blend16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const VignetteInfo* vi = &f->info;
    const int zone = f->ZoneOf(x, y);
    if (__builtin_expect(zone != ZONE_EDGE, 1)) {
        const float a = static_cast<float>(in->alpha) * 3.0517578125e-05f;
        const float s = zone == ZONE_OUTSIDE ? f->outsideStrength : f->coreStrength;
        const A_u_short result = ToAlpha16(32768.0f * CombineAlpha<Mode>(vi, s, a));
        *out = *in;
        out->alpha = result;
        return PF_Err_NONE;
    }
    return Blend16Edge<Mode, S, Falloff>(refcon, x, y, in, out);
}

// The 8-bit band falls back to the exact curve rarely, so the falloff is not
// worth an instance of its own there.
template <A_long Mode, int S, A_long>
struct PickArgb8 {
    static constexpr PF_IteratePixel8Func kFn = &Blend8<Mode, S, 0>;
};
template <A_long Mode, int S, A_long>
struct PickBgra8 {
    static constexpr PF_IteratePixel8Func kFn = &Blend8<Mode, S, 3>;
};
template <A_long Mode, int S, A_long Falloff>
struct Pick16 {
    static constexpr PF_IteratePixel16Func kFn = &Blend16<Mode, S, Falloff>;
};
template <A_long Mode, int S, A_long Falloff>
struct Pick16Simple {
    static constexpr PF_IteratePixel16Func kFn = &Blend16Simple<Mode, S, Falloff>;
};

}  // namespace

PF_Err Blend_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    return Blend8<kAnyMode, kAnyShape, 0>(refcon, x, y, in, out);
}

PF_Err Blend_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    return Blend16<kAnyMode, kAnyShape, kAnyFalloff>(refcon, x, y, in, out);
}

PF_Err Blend_BGRA_4444_8u(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    return Blend8<kAnyMode, kAnyShape, 3>(refcon, x, y, in, out);
}

PF_IteratePixel8Func ChooseBlend8(const VignetteFrame& frame) { return ByFrame<PickArgb8>(frame); }

PF_IteratePixel8Func ChooseBlendBGRA8(const VignetteFrame& frame) { return ByFrame<PickBgra8>(frame); }

PF_IteratePixel16Func ChooseBlend16(const VignetteFrame& frame) {
    return frame.zones16 ? ByFrame<Pick16Simple>(frame) : ByFrame<Pick16>(frame);
}
