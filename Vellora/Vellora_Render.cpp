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

void PrepareRenderFrame(const VignetteInfo& info, A_long width, A_long height, VignetteSpans& spans,
                        VignetteFrame* frame, int alpha_byte) {
    PrepareVignetteFrame(info, width, height, spans, frame);
    const int shift = 8 * alpha_byte;
    for (int k = 0; k < 256; ++k) {
        const float a = kAlpha8[static_cast<size_t>(k)];
        frame->outside32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 1.0f, a))} << shift;
        frame->core32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 0.0f, a))} << shift;
    }
}

namespace {

// An 8-bit result only needs the edge value to within a byte: in the interior
// of the ellipse's band a short single-precision estimate of the ramp and the
// curve, with the distance to the exact path's value bounded (the frame's
// slack on t times the curve's steepness), often settles the byte by itself.
// Returns the byte, or -1 when values within the bound straddle a step and the
// exact path must decide.
__attribute__((always_inline)) inline int BandByte(const VignetteFrame* frame, float q, float a) {
    const VignetteInfo* vi = &frame->info;
    float t = (std::sqrt(q) - frame->bandK) * frame->bandScale;
    t = t > 0.0f ? (t < 1.0f ? t : 1.0f) : 0.0f;
    const float dt = frame->bandSlack;
    float e;
    float slope;  // bounds |de/dt| within dt of t
    switch (vi->falloff) {
        case FALLOFF_QUADRATIC:
            e = t * t;
            slope = 2.0f;
            break;
        case FALLOFF_CUBIC:
            e = t * t * t;
            slope = 3.0f;
            break;
        case FALLOFF_GAUSSIAN: {
            // de/dt = 2.5 ln360 t^1.5 360^(-t^2.5) <= 14.72 t^1.5
            const float t15 = t * std::sqrt(t);
            e = 1.0f - std::exp(-5.886104f * (t * t15));
            slope = 14.72f * (t15 + 1.6f * dt);
            break;
        }
        case FALLOFF_EXPONENTIAL:
            e = (1.0f - std::exp(-0.9162907f * t)) * (2.5f / 1.5f);
            slope = 1.53f;  // (5/3) ln2.5
            break;
        default:
            e = t;
            slope = 1.0f;
            break;
    }
    // The curve estimate itself is good to about 1e-6; 1e-5 covers it.
    const float margin = 255.0f * std::fabs(vi->opacity) * (slope * dt + 1e-5f) + 1e-3f;
    const float s = 255.0f * CompositeAlpha(vi, e, a);
    const A_u_char lo = ToAlpha8(s - margin);
    return lo == ToAlpha8(s + margin) ? lo : -1;
}

// The settled byte of a pixel of the ellipse's band, or -1 (also off the band).
__attribute__((always_inline)) inline int BandByteAt(const VignetteFrame* frame, A_long x, A_long y, A_u_char alpha) {
    if (!frame->bandShortcut) {
        return -1;
    }
    const VignetteInfo* vi = &frame->info;
    float u, v;
    VignetteMaskPoint(vi, x, y, &u, &v);
    // The same zone tests as Blend_Float: inside the outer ellipse, outside the inner one.
    const float q = vi->scaleU * (u * u) + vi->scaleV * (v * v);
    if (!(q < 1.0f) || !(vi->innerInvHalfWidthSq * (u * u) + vi->innerInvHalfHeightSq * (v * v) > 1.0f)) {
        return -1;
    }
    return BandByte(frame, q, kAlpha8[alpha]);
}

// The exact paths of pixels near an edge or in the band, out of line so the
// shortcuts need no stack frame (the callbacks tail-call them).
__attribute__((noinline)) PF_Err Blend_8_Edge(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    const int band = BandByteAt(static_cast<const VignetteFrame*>(refcon), x, y, in->alpha);
    if (band >= 0) {
        out->alpha = static_cast<A_u_char>(band);
    } else {
        const float a = kAlpha8[in->alpha];
        float o;
        Blend_Float(refcon, x, y, &a, &o);
        out->alpha = ToAlpha8(255.0f * o);
    }
    out->red = in->red;
    out->green = in->green;
    out->blue = in->blue;
    return PF_Err_NONE;
}

__attribute__((noinline)) PF_Err Blend_BGRA_Edge(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    A_u_char* const src = reinterpret_cast<A_u_char*>(in);
    A_u_char* const dst = reinterpret_cast<A_u_char*>(out);
    const int band = BandByteAt(static_cast<const VignetteFrame*>(refcon), x, y, src[3]);
    if (band >= 0) {
        dst[3] = static_cast<A_u_char>(band);
    } else {
        const float a = kAlpha8[src[3]];
        float o;
        Blend_Float(refcon, x, y, &a, &o);
        dst[3] = ToAlpha8(255.0f * o);
    }
    dst[2] = src[2];
    dst[1] = src[1];
    dst[0] = src[0];
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

}  // namespace

PF_Err Blend_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    // Certainly outside or in the core: the frame's table holds Blend_Float's result.
    if (const uint32_t* table = ShortcutTable(static_cast<const VignetteFrame*>(refcon), x, y)) {
        uint32_t pixel;
        std::memcpy(&pixel, in, sizeof(pixel));
        pixel = (pixel & ~uint32_t{0xFF}) | table[pixel & 0xFF];
        std::memcpy(out, &pixel, sizeof(pixel));
        return PF_Err_NONE;
    }
    return Blend_8_Edge(refcon, x, y, in, out);
}

PF_Err Blend_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* frame = static_cast<const VignetteFrame*>(refcon);
    const float a = static_cast<float>(in->alpha) * 3.0517578125e-05f;
    float o;
    switch (frame->ZoneOf(x, y)) {
        case ZONE_OUTSIDE:
            o = CompositeAlpha(&frame->info, 1.0f, a);
            break;
        case ZONE_CORE:
            o = CompositeAlpha(&frame->info, 0.0f, a);
            break;
        default:
            Blend_Float(refcon, x, y, &a, &o);
            break;
    }
    const A_u_short result = ToAlpha16(32768.0f * o);
    *out = *in;
    out->alpha = result;
    return PF_Err_NONE;
}

PF_Err Blend_BGRA_4444_8u(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    if (const uint32_t* table = ShortcutTable(static_cast<const VignetteFrame*>(refcon), x, y)) {
        uint32_t pixel;
        std::memcpy(&pixel, in, sizeof(pixel));
        pixel = (pixel & 0x00FFFFFFu) | table[pixel >> 24];
        std::memcpy(out, &pixel, sizeof(pixel));
        return PF_Err_NONE;
    }
    return Blend_BGRA_Edge(refcon, x, y, in, out);
}

PF_Err RenderFloatRows(const VignetteFrame* frame, const PF_LayerDef* input, PF_LayerDef* output, A_long rows) {
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
    const VignetteInfo* info = &frame->info;
    void* const refcon = const_cast<VignetteInfo*>(info);
    const char* srcRow = static_cast<const char*>(input->data);
    char* dstRow = static_cast<char*>(output->data);
    for (A_long y = 0; y < rows; ++y) {
        const PF_FpShort* s = reinterpret_cast<const PF_FpShort*>(srcRow);
        PF_FpShort* d = reinterpret_cast<PF_FpShort*>(dstRow);
        for (A_long x = 0; x < cols; ++x) {
            const PF_FpShort a = s[3];
            PF_FpShort o;
            switch (frame->ZoneOf(x, y)) {
                case ZONE_OUTSIDE:
                    o = CompositeAlpha(info, 1.0f, a);
                    break;
                case ZONE_CORE:
                    o = CompositeAlpha(info, 0.0f, a);
                    break;
                default:
                    Blend_Float(refcon, x, y, &a, &o);
                    break;
            }
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = o;
            s += 4;
            d += 4;
        }
        srcRow += input->rowbytes;
        dstRow += output->rowbytes;
    }
    return PF_Err_NONE;
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
    VignetteSpans spans;
    VignetteFrame vi;
    const bool bgra = in_data->appl_id == PF_APPL_ID_PREMIERE;
    PrepareRenderFrame(info, output->width, output->height, spans, &vi, bgra ? 3 : 0);

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
            err = suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, Blend_BGRA_4444_8u,
                                                   output);
        } else {
            err = PF_Err_UNRECOGNIZED_PARAM_TYPE;
        }
        const PF_Err released = hold.Release();
        return err != PF_Err_NONE ? err : released;
    }

    if (output->world_flags & PF_WorldFlag_DEEP) {
        return suites.Iterate16Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, Blend_16, output);
    }
    return suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, Blend_8, output);
}
