#include "Vellora_Render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "AEFX_SuiteHelper.h"
#include "AEGP_SuiteHandler.h"
#include "Vellora.h"

namespace {

// k / 255.0f for every 8-bit alpha, so the per-pixel path needs no division.
constexpr std::array<float, 256> MakeAlpha8Table() {
    std::array<float, 256> table{};
    for (int k = 0; k < 256; ++k) {
        table[static_cast<size_t>(k)] = static_cast<float>(k) / 255.0f;
    }
    return table;
}
constexpr std::array<float, 256> kAlpha8 = MakeAlpha8Table();

// Truncating conversion back to an integer alpha; NaN and negatives give 0.
inline A_u_char ToAlpha8(float s) {
    if (!(s > 0.0f)) {
        return 0;
    }
    return s >= 255.0f ? A_u_char{255} : static_cast<A_u_char>(s);
}

inline A_u_short ToAlpha16(float s) {
    if (!(s > 0.0f)) {
        return 0;
    }
    return s >= 32768.0f ? A_u_short{32768} : static_cast<A_u_short>(s);
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed pixels are read as little-endian words");

// Releases Premiere's pixel-format suite if the pass throws (a missing iterate suite).
struct PixelFormatSuiteHold {
    PF_InData* in_data;
    PF_OutData* out_data;
    bool held = true;
    PF_Err Release() {
        held = false;
        return AEFX_ReleaseSuite(in_data, out_data, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, nullptr);
    }
    ~PixelFormatSuiteHold() {
        if (held) {
            (void)Release();
        }
    }
};

}  // namespace

void PrepareRenderFrame(const VignetteInfo& info, A_long width, A_long height, VignetteTables& tables,
                        VignetteFrame* frame, int alpha_byte, double cellBoundScale) {
    PrepareVignetteFrame(info, width, height, tables, frame, cellBoundScale);
    const int shift = 8 * alpha_byte;
    for (int k = 0; k < 256; ++k) {
        const float a = kAlpha8[static_cast<size_t>(k)];
        frame->outside32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 1.0f, a))} << shift;
        frame->core32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 0.0f, a))} << shift;
    }
}

namespace {

// Shapes as a template argument: any reads the record and computes the
// rectangle's curve per pixel; the others are chosen per frame.
enum Shape { kAnyShape, kEllipse, kRectangle };

// Edge value of output pixel (x, y), past the row spans.
template <int S, A_long Falloff>
__attribute__((always_inline)) inline float EdgeAt(const VignetteFrame* f, A_long x, A_long y) {
    float u, v;
    VignetteMaskPoint(&f->info, x, y, &u, &v);
    if (S == kAnyShape) {
        return VignetteEdge<Falloff>(&f->info, u, v);
    }
    return FrameEdge<S == kEllipse, Falloff>(f, u, v);
}

// The 8-bit result of a pixel in the ellipse's band. Its cell bounds the exact
// edge value; every step from there to the byte (coverage, opacity, the
// composite, scaling, truncation) keeps or reverses order, so when both bounds
// give the same byte, so does the exact value. Otherwise the exact path decides.
template <A_long Mode>
__attribute__((always_inline)) inline A_u_char BandByte(const VignetteFrame* f, float u, float v, float q, float a) {
    const VignetteInfo* vi = &f->info;
    const float fi = (q - f->bandQ0) * f->bandCellsPerQ;
    if (fi >= 0.0f && fi < static_cast<float>(f->bandCellCount)) {
        const float* cell = f->bandCells + 2 * static_cast<A_long>(fi);
        const A_u_char lo = ToAlpha8(255.0f * CompositeAlpha<Mode>(vi, cell[0], a));
        const A_u_char hi = ToAlpha8(255.0f * CompositeAlpha<Mode>(vi, cell[1], a));
        if (lo == hi) {
            return lo;
        }
    }
    return ToAlpha8(255.0f * CompositeAlpha<Mode>(vi, VignetteEllipseBand(vi, u, v), a));
}

// Pixels near an edge or in the band, out of line so the shortcuts need no
// stack frame (the callbacks tail-call it).
template <A_long Mode, int S, int AlphaByte>
__attribute__((noinline)) PF_Err Blend8Edge(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const VignetteInfo* vi = &f->info;
    constexpr int kShift = 8 * AlphaByte;
    uint32_t pixel;
    std::memcpy(&pixel, in, sizeof(pixel));
    const uint32_t alpha = (pixel >> kShift) & 0xFF;
    uint32_t result;
    if (S == kEllipse && f->bandCells) {
        float u, v;
        VignetteMaskPoint(vi, x, y, &u, &v);
        // The zone tests of the exact path, in its order.
        const float q = vi->scaleU * (u * u) + vi->scaleV * (v * v);
        if (q >= 1.0f) {
            result = f->outside32[alpha];
        } else if (vi->innerInvHalfWidthSq * (u * u) + vi->innerInvHalfHeightSq * (v * v) <= 1.0f) {
            result = f->core32[alpha];
        } else {
            result = uint32_t{BandByte<Mode>(f, u, v, q, kAlpha8[alpha])} << kShift;
        }
    } else {
        const float o = CompositeAlpha<Mode>(vi, EdgeAt<S, kAnyFalloff>(f, x, y), kAlpha8[alpha]);
        result = uint32_t{ToAlpha8(255.0f * o)} << kShift;
    }
    pixel = (pixel & ~(uint32_t{0xFF} << kShift)) | result;
    std::memcpy(out, &pixel, sizeof(pixel));
    return PF_Err_NONE;
}

// The frame's result table for a pixel certainly outside or in the core, else null.
__attribute__((always_inline)) inline const uint32_t* ShortcutTable(const VignetteFrame* frame, A_long x, A_long y) {
    if (__builtin_expect(static_cast<A_u_long>(y) < frame->rowCount && static_cast<A_u_long>(x) < frame->columnCount,
                         1)) {
        if (__builtin_expect(!frame->outerRows[y].Holds(x), 1)) {
            return frame->outside32;
        }
        if (frame->coreRows[y].Holds(x)) {
            return frame->core32;
        }
    }
    return nullptr;
}

template <A_long Mode, int S, int AlphaByte>
PF_Err Blend8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    // Certainly outside or in the core: the frame's table holds Blend_Float's result.
    if (const uint32_t* table = ShortcutTable(static_cast<const VignetteFrame*>(refcon), x, y)) {
        constexpr int kShift = 8 * AlphaByte;
        uint32_t pixel;
        std::memcpy(&pixel, in, sizeof(pixel));
        pixel = (pixel & ~(uint32_t{0xFF} << kShift)) | table[(pixel >> kShift) & 0xFF];
        std::memcpy(out, &pixel, sizeof(pixel));
        return PF_Err_NONE;
    }
    return Blend8Edge<Mode, S, AlphaByte>(refcon, x, y, in, out);
}

template <A_long Mode, int S, A_long Falloff>
PF_Err Blend16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const VignetteInfo* vi = &f->info;
    const float a = static_cast<float>(in->alpha) * 3.0517578125e-05f;
    float o;
    switch (f->ZoneOf(x, y)) {
        case ZONE_OUTSIDE:
            o = CombineAlpha<Mode>(vi, f->outsideStrength, a);
            break;
        case ZONE_CORE:
            o = CombineAlpha<Mode>(vi, f->coreStrength, a);
            break;
        default:
            o = CompositeAlpha<Mode>(vi, EdgeAt<S, Falloff>(f, x, y), a);
            break;
    }
    const A_u_short result = ToAlpha16(32768.0f * o);
    *out = *in;
    out->alpha = result;
    return PF_Err_NONE;
}

// Float rows: a run of pixels that take one strength, colour copied.
template <A_long Mode>
void UniformRun(const VignetteInfo* vi, float strength, const PF_FpShort* s, PF_FpShort* d, A_long n) {
    for (A_long i = 0; i < n; ++i, s += 4, d += 4) {
        const PF_FpShort o = CombineAlpha<Mode>(vi, strength, s[3]);
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = o;
    }
}

// Float rows: pixels x0 .. x1 - 1 of row y through the exact path.
template <A_long Mode, int S, A_long Falloff>
void EdgeRun(const VignetteFrame* f, A_long y, A_long x0, A_long x1, const PF_FpShort* s, PF_FpShort* d) {
    const VignetteInfo* vi = &f->info;
    for (A_long x = x0; x < x1; ++x) {
        const PF_FpShort o = CompositeAlpha<Mode>(vi, EdgeAt<S, Falloff>(f, x, y), s[4 * x + 3]);
        d[4 * x] = s[4 * x];
        d[4 * x + 1] = s[4 * x + 1];
        d[4 * x + 2] = s[4 * x + 2];
        d[4 * x + 3] = o;
    }
}

// Columns of `span` within 0 .. cols - 1, as a half-open range; empty when lo >= hi.
void Clip(const VignetteRowSpan& span, A_long cols, A_long* lo, A_long* hi) {
    const int64_t first = span.lo;
    const int64_t last = first + static_cast<int64_t>(span.width);
    *lo = static_cast<A_long>(std::clamp<int64_t>(first, 0, cols));
    *hi = static_cast<A_long>(std::clamp<int64_t>(last + 1, 0, cols));
}

template <A_long Mode, int S, A_long Falloff>
PF_Err FloatRows(const VignetteFrame* f, const PF_LayerDef* input, PF_LayerDef* output, A_long rows) {
    // A world without pixels is the host's fault, not an empty frame: say so, as iterate does.
    if (!input->data || !output->data) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // Never step past either buffer: a smaller input limits the pass.
    rows = std::min({rows, output->height, input->height});
    const A_long cols = std::min(output->width, input->width);
    if (rows <= 0 || cols <= 0) {
        return PF_Err_NONE;
    }
    const VignetteInfo* vi = &f->info;
    const char* srcRow = static_cast<const char*>(input->data);
    char* dstRow = static_cast<char*>(output->data);
    const bool spans = static_cast<A_u_long>(cols) <= f->columnCount;
    for (A_long y = 0; y < rows; ++y) {
        const PF_FpShort* s = reinterpret_cast<const PF_FpShort*>(srcRow);
        PF_FpShort* d = reinterpret_cast<PF_FpShort*>(dstRow);
        if (spans && static_cast<A_u_long>(y) < f->rowCount) {
            // outside | edge | core | edge | outside, each run settled in one loop.
            A_long oLo, oHi, cLo, cHi;
            Clip(f->outerRows[y], cols, &oLo, &oHi);
            if (oLo >= oHi) {
                UniformRun<Mode>(vi, f->outsideStrength, s, d, cols);
            } else {
                Clip(f->coreRows[y], cols, &cLo, &cHi);
                cLo = std::max(cLo, oLo);
                cHi = std::min(cHi, oHi);
                if (cLo >= cHi) {
                    cLo = cHi = oHi;
                }
                UniformRun<Mode>(vi, f->outsideStrength, s, d, oLo);
                EdgeRun<Mode, S, Falloff>(f, y, oLo, cLo, s, d);
                UniformRun<Mode>(vi, f->coreStrength, s + 4 * cLo, d + 4 * cLo, cHi - cLo);
                EdgeRun<Mode, S, Falloff>(f, y, cHi, oHi, s, d);
                UniformRun<Mode>(vi, f->outsideStrength, s + 4 * oHi, d + 4 * oHi, cols - oHi);
            }
        } else {
            EdgeRun<Mode, S, Falloff>(f, y, 0, cols, s, d);
        }
        srcRow += input->rowbytes;
        dstRow += output->rowbytes;
    }
    return PF_Err_NONE;
}

using FloatRowsFunc = PF_Err (*)(const VignetteFrame*, const PF_LayerDef*, PF_LayerDef*, A_long);

// One instance per composite mode, shape and (for the ellipse's exact band) falloff.
template <template <A_long, int, A_long> class Pick, int S, A_long Falloff>
auto ByMode(A_long mode) {
    switch (mode) {
        case COMPOSITE_ADD:
            return Pick<COMPOSITE_ADD, S, Falloff>::kFn;
        case COMPOSITE_SUBTRACT:
            return Pick<COMPOSITE_SUBTRACT, S, Falloff>::kFn;
        case COMPOSITE_INTERSECT:
            return Pick<COMPOSITE_INTERSECT, S, Falloff>::kFn;
        case COMPOSITE_CREATE:
            return Pick<COMPOSITE_CREATE, S, Falloff>::kFn;
        default:
            return Pick<kAnyMode, S, Falloff>::kFn;
    }
}

template <template <A_long, int, A_long> class Pick>
auto ByFrame(const VignetteFrame& f) {
    const VignetteInfo& vi = f.info;
    if (!vi.isEllipse) {
        return ByMode<Pick, kRectangle, kAnyFalloff>(vi.compositeMode);
    }
    switch (vi.falloff) {
        case FALLOFF_LINEAR:
            return ByMode<Pick, kEllipse, FALLOFF_LINEAR>(vi.compositeMode);
        case FALLOFF_QUADRATIC:
            return ByMode<Pick, kEllipse, FALLOFF_QUADRATIC>(vi.compositeMode);
        case FALLOFF_CUBIC:
            return ByMode<Pick, kEllipse, FALLOFF_CUBIC>(vi.compositeMode);
        case FALLOFF_GAMMA:
            return ByMode<Pick, kEllipse, FALLOFF_GAMMA>(vi.compositeMode);
        case FALLOFF_GAUSSIAN:
            return ByMode<Pick, kEllipse, FALLOFF_GAUSSIAN>(vi.compositeMode);
        case FALLOFF_EXPONENTIAL:
            return ByMode<Pick, kEllipse, FALLOFF_EXPONENTIAL>(vi.compositeMode);
        default:
            return ByMode<Pick, kEllipse, kAnyFalloff>(vi.compositeMode);
    }
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
struct PickFloat {
    static constexpr FloatRowsFunc kFn = &FloatRows<Mode, S, Falloff>;
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

PF_IteratePixel16Func ChooseBlend16(const VignetteFrame& frame) { return ByFrame<Pick16>(frame); }

PF_Err RenderFloatRows(const VignetteFrame* frame, const PF_LayerDef* input, PF_LayerDef* output, A_long rows) {
    return ByFrame<PickFloat>(*frame)(frame, input, output, rows);
}

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    if (!params || !output || !params[PARAM_INPUT]) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    for (int i = PARAM_MASK_TYPE; i < PARAM_COUNT; ++i) {
        if (!params[i]) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
    }

    VignetteInfo info;
    FillVignetteInfo(VignetteParamsFromHost(in_data, params), &info);
    VignetteTables tables;
    VignetteFrame vi;
    const bool bgra = in_data->appl_id == PF_APPL_ID_PREMIERE;
    PrepareRenderFrame(info, output->width, output->height, tables, &vi, bgra ? 3 : 0);

    PF_LayerDef* const input = &params[PARAM_INPUT]->u.ld;
    const A_long rows = output->extent_hint.bottom - output->extent_hint.top;

    if (in_data->appl_id == PF_APPL_ID_PREMIERE) {
        PF_PixelFormatSuite1* pixel_formats = nullptr;
        const PF_Err acquired = AEFX_AcquireSuite(in_data, out_data, kPFPixelFormatSuite,
                                                  kPFPixelFormatSuiteVersion1, nullptr,
                                                  reinterpret_cast<void**>(&pixel_formats));
        if (acquired != PF_Err_NONE) {
            return acquired;
        }
        PixelFormatSuiteHold hold{in_data, out_data};
        PrPixelFormat format = PrPixelFormat_BGRA_4444_8u;
        // Without a format the world's layout is unknown; writing it as 8-bit would wreck a float frame.
        const PF_Err format_err = pixel_formats->GetPixelFormat(output, &format);
        if (format_err != PF_Err_NONE) {
            (void)hold.Release();
            return format_err;
        }

        PF_Err err = PF_Err_NONE;
        if (format == PrPixelFormat_BGRA_4444_32f) {
            err = RenderFloatRows(&vi, input, output, rows);
        } else if (format == PrPixelFormat_BGRA_4444_8u) {
            err = suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, ChooseBlendBGRA8(vi),
                                                   output);
        } else {
            err = PF_Err_UNRECOGNIZED_PARAM_TYPE;
        }
        const PF_Err released = hold.Release();
        return err != PF_Err_NONE ? err : released;
    }

    if (output->world_flags & PF_WorldFlag_DEEP) {
        return suites.Iterate16Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, ChooseBlend16(vi), output);
    }
    return suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, ChooseBlend8(vi), output);
}
