// The pixel callbacks the host's iterate calls, an instance per composite
// mode, shape and (where it pays) falloff, and the choice among them per frame.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "plugin/Vellora/Vellora_Band16Block.h"
#include "plugin/Vellora/Vellora_Instances.h"
#include "plugin/Vellora/Vellora_Render.h"

using namespace vellora_render;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed pixels are read as little-endian words");

namespace {

#if defined(__SSE2__)
// CombineWith's arithmetic on four floats at once. Min and max pick as
// std::min and std::max do, also for NaN: std::min(p, q) is q < p ? q : p,
// which is minps(q, p).
struct PackedOps {
    static __m128 Constant(float c) { return _mm_set1_ps(c); }
    static __m128 Add(__m128 x, __m128 y) { return _mm_add_ps(x, y); }
    static __m128 Sub(__m128 x, __m128 y) { return _mm_sub_ps(x, y); }
    static __m128 Mul(__m128 x, __m128 y) { return _mm_mul_ps(x, y); }
    static __m128 Min(__m128 p, __m128 q) { return _mm_min_ps(q, p); }
    static __m128 Max(__m128 p, __m128 q) { return _mm_max_ps(q, p); }
};
#endif

// The integer results (full scale Full: 255 or 32768) of strengths s[0] and
// s[1] combined with alpha `a`, both at once: lane by lane the same
// single-precision steps as CombineAlpha and ToAlpha. The result where both
// agree, else -1.
template <A_long Mode, int Full>
__attribute__((always_inline)) inline int SettledAlpha(const VignetteInfo* vi, const float* s, float a) {
#if defined(__SSE2__)
    double pair;
    std::memcpy(&pair, s, sizeof(pair));
    const __m128 strength = _mm_castpd_ps(_mm_set_sd(pair));
    const __m128 o = CombineWith<Mode, PackedOps>(vi, strength, _mm_set1_ps(a));
    constexpr float kFull = static_cast<float>(Full);
    const __m128 scaled = _mm_mul_ps(_mm_set1_ps(kFull), o);
    const __m128i results = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(scaled, _mm_setzero_ps()), _mm_set1_ps(kFull)));
    const int lo = _mm_cvtsi128_si32(results), hi = _mm_cvtsi128_si32(_mm_srli_si128(results, 4));
    return lo == hi ? lo : -1;
#else
    const int lo = ToAlpha<Full>(static_cast<float>(Full) * CombineAlpha<Mode>(vi, s[0], a));
    const int hi = ToAlpha<Full>(static_cast<float>(Full) * CombineAlpha<Mode>(vi, s[1], a));
    return lo == hi ? lo : -1;
#endif
}

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

// The whole distance WholeDistance makes of `w`, as an integer, where it is
// below 2^24 (whole floats up to there are exact); at or past 2^24 (also for
// NaN, and past the int32 range, where the truncation gives INT32_MIN) some
// value at or past 2^24 as well. Branch-free, unlike WholeDistance's clamps.
__attribute__((always_inline)) inline A_u_long WholeIndex(float w) {
#if defined(__SSE2__)
    const uint32_t i = static_cast<uint32_t>(_mm_cvttss_si32(_mm_set_ss(w)));
#else
    const uint32_t i = static_cast<uint32_t>(static_cast<int32_t>(vellora_detail::WholeDistance(w)));
#endif
    return static_cast<int32_t>(i) < 0 ? 0u - i : i;
}

// 8-bit pixels of the rectangle off the row spans. Whole distances are whole
// floats, so the exact path's tests against the sizes are integer tests
// against the ramps' ends (PrepareRampBytes keeps those ends below 2^24);
// where one axis alone is in the band the frame's table holds the byte, and
// the corners combine the ramps as the exact path does.
template <A_long Mode, int AlphaByte>
__attribute__((always_inline)) inline PF_Err Blend8Ramps(const VignetteFrame* f, A_long x, A_long y, PF_Pixel* in,
                                                         PF_Pixel* out) {
    const VignetteInfo* vi = &f->info;
    constexpr int kShift = 8 * AlphaByte;
    const uint32_t pixel = LoadPixel8(in);
    const uint32_t alpha = Alpha8Of<AlphaByte>(pixel);
    float u, v;
    VignetteMaskPoint(vi, x, y, &u, &v);
    const A_u_long iu = WholeIndex(u), iv = WholeIndex(v);
    const A_u_long firstU = static_cast<A_u_long>(f->rampU.first), firstV = static_cast<A_u_long>(f->rampV.first);
    const A_u_long du = iu - firstU, dv = iv - firstV;
    uint32_t result;
    if (du < f->rampU.count) {
        if (__builtin_expect(iv < firstV, 1)) {
            result = uint32_t{f->rampBytesU[256 * du + alpha]} << kShift;
        } else if (dv < f->rampV.count) {
            // A corner of the band: both ramps combine like distances.
            const float e = CornerEdge(f->rampU.values[du], f->rampV.values[dv]);
            result = uint32_t{ToAlpha8(255.0f * CompositeAlpha<Mode>(vi, e, kAlpha8[alpha]))} << kShift;
        } else {
            result = f->outside32[alpha];
        }
    } else if (dv < f->rampV.count) {
        result = iu < firstU ? uint32_t{f->rampBytesV[256 * dv + alpha]} << kShift : f->outside32[alpha];
    } else {
        // Below the band on both axes (the core) or past it on one (outside).
        result = iu < firstU && iv < firstV ? f->core32[alpha] : f->outside32[alpha];
    }
    return StoreAlpha8<AlphaByte>(pixel, result, out);
}

// 8-bit pixels off the row spans; the rectangle's by Blend8Ramps. For the
// ellipse: the exact path's zone tests, then in the band the pixel's cell,
// which bounds the exact edge value (as a pair of strengths). Every
// step from there to the byte (coverage, opacity, the composite, scaling,
// truncation) keeps or reverses order, so when both bounds give the same byte,
// so does the exact value; otherwise, a few percent of band pixels, the exact
// path decides. Everything rare is a tail call, so this needs no stack frame.
// Spanned: the pixel is one the row spans cover, so its row's tables exist.
template <A_long Mode, int S, int AlphaByte, bool Spanned>
__attribute__((noinline, aligned(64))) PF_Err Blend8Edge(void* refcon, A_long x, A_long y, PF_Pixel* in,
                                                         PF_Pixel* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    if constexpr (S == kRectangle) {
        if (f->rampBytesU) {
            return Blend8Ramps<Mode, AlphaByte>(f, x, y, in, out);
        }
    }
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
        return SettledAlpha<Mode, 255>(vi, f->bandStrengths + 2 * i, kAlpha8[alpha]);
    };
    // Certainly in the band: the cell from the row's quadratic, no zone tests.
    if (f->bandRows &&
        (Spanned || f->Spans(x, y))) {
        const VignetteBandRow& row = f->bandRows[y];
        if (row.Certain(x)) {
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

// Writes the pixel with the alpha table[alpha] gives.
template <int AlphaByte>
__attribute__((always_inline)) inline PF_Err StoreFromTable8(const uint32_t* table, PF_Pixel* in, PF_Pixel* out) {
    const uint32_t pixel = LoadPixel8(in);
    return StoreAlpha8<AlphaByte>(pixel, table[Alpha8Of<AlphaByte>(pixel)], out);
}

// At the start of a cache line: its common path is about 40 bytes, and where
// it straddled two lines frames mostly outside the mask ran 5-10% slower.
// Certainly outside or in the core, the frame's table holds Blend_Float's
// result; each zone reads its own table at a fixed offset (one instruction
// a pixel fewer than a chosen table).
template <A_long Mode, int S, int AlphaByte, bool Ahead = true>
__attribute__((aligned(64))) PF_Err Blend8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    PrefetchAhead<Ahead>(in, out);
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    if (__builtin_expect(!f->Spans(x, y), 0)) {
        return Blend8Edge<Mode, S, AlphaByte, false>(refcon, x, y, in, out);
    }
    const VignetteRowSpans& row = f->rows[y];
    if (__builtin_expect(!row.outer.Holds(x), 1)) {
        return StoreFromTable8<AlphaByte>(f->outside32, in, out);
    }
    if (row.core.Holds(x)) {
        return StoreFromTable8<AlphaByte>(f->core32, in, out);
    }
    return Blend8Edge<Mode, S, AlphaByte, true>(refcon, x, y, in, out);
}

// Writes the source pixel with the new alpha `result` (computed before, so
// source and destination may be the same pixel).
__attribute__((always_inline)) inline PF_Err Write16(const PF_Pixel16* in, PF_Pixel16* out, A_u_short result) {
    *out = *in;
    out->alpha = result;
    return PF_Err_NONE;
}

// The exact band's 16-bit result for a pixel Band16Settled leaves open (there
// the pixel is in the band).
template <A_long Mode, A_long Falloff>
A_u_short Band16Exact(const VignetteFrame* f, A_long x, A_long y, float a) {
    const VignetteInfo* vi = &f->info;
    float u, v;
    VignetteMaskPoint(vi, x, y, &u, &v);
    return ToAlpha16(32768.0f * CompositeAlpha<Mode>(vi, VignetteEllipseBand<Falloff>(vi, u, v), a));
}

static_assert(kBand16Block == 64, "a block's open pixels are one 64-bit mask");

// The alphas of pixels src[0 .. n - 1] (n at most a block), as they are and
// as Alpha16 turns them into floats; the block's other lanes get 0.0f.
__attribute__((always_inline)) inline void GatherAlphas16(const PF_Pixel16* src, int n, uint32_t* raw,
                                                          float* alphas) {
    int i = 0;
#if defined(__SSE2__)
    static_assert(offsetof(PF_Pixel16, alpha) == 0, "alpha is the low word of each pixel");
    // Four pixels from two loads: each pixel's low 32-bit word, masked to its alpha.
    for (; i + 4 <= n; i += 4) {
        const __m128 p01 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        const __m128 p23 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 2)));
        const __m128i words = _mm_castps_si128(_mm_shuffle_ps(p01, p23, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i alpha = _mm_and_si128(words, _mm_set1_epi32(0xFFFF));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(raw + i), alpha);
        // Alpha16's conversion and product, four lanes at once: the same single-precision steps.
        _mm_storeu_ps(alphas + i, _mm_mul_ps(_mm_cvtepi32_ps(alpha), _mm_set1_ps(Alpha16(1))));
    }
#endif
    for (; i < n; ++i) {
        raw[i] = src[i].alpha;
        alphas[i] = Alpha16(src[i].alpha);
    }
    std::fill(alphas + n, alphas + kBand16Block, 0.0f);
}

// Writes the results of a block's n pixels (the source alpha in the high
// half, the settled result in the low half) and returns the mask of those
// the bounds left open (settled below 0).
__attribute__((always_inline)) inline uint64_t StoreBlock16(const uint32_t* raw, const int32_t* settled, int n,
                                                            uint32_t* results) {
    uint64_t open = 0;
    int i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= n; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(settled + i));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i));
        const __m128i packed = _mm_or_si128(_mm_slli_epi32(a, 16), _mm_and_si128(s, _mm_set1_epi32(0xFFFF)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(results + i), packed);
        open |= static_cast<uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(s))) << i;
    }
#endif
    for (; i < n; ++i) {
        results[i] = raw[i] << 16 | (static_cast<uint32_t>(settled[i]) & 0xFFFF);
        open |= static_cast<uint64_t>(settled[i] < 0) << i;
    }
    return open;
}

// Fills row y's results over its two edge runs (see Vellora_Band16Rows.h).
template <A_long Mode, A_long Falloff>
__attribute__((noinline)) void FillBand16Row(const VignetteFrame* f, A_long y) {
    const VignetteBand16Rows& r = f->band16Rows;
    uint32_t* results = r.results + r.origins[y];
    const auto* source = reinterpret_cast<const PF_Pixel16*>(r.source + r.sourceRowBytes * y);
    A_long b[4];
    f->RowRuns(y, r.columnCount, b);
    // Blocks settled at once; their open pixels marked in a mask without a
    // branch, then given their exact values in a loop of their own.
    alignas(64) float alphas[kBand16Block];
    alignas(64) uint32_t raw[kBand16Block];
    alignas(64) int32_t settled[kBand16Block];
    for (int run = 0; run < 4; run += 2) {
        for (A_long x0 = b[run]; x0 < b[run + 1]; x0 += kBand16Block) {
            const int n = static_cast<int>(std::min<A_long>(kBand16Block, b[run + 1] - x0));
            GatherAlphas16(source + x0, n, raw, alphas);
            Band16Block(f, x0, y, alphas, settled);
            for (uint64_t open = StoreBlock16(raw, settled, n, results + x0); open != 0; open &= open - 1) {
                const int i = __builtin_ctzll(open);
                const A_long x = x0 + i;
                results[x] = (results[x] & 0xFFFF0000u) | Band16Exact<Mode, Falloff>(f, x, y, alphas[i]);
            }
        }
    }
}

// Row y's result for pixel x of source alpha `alpha` once the row is
// computed; -1 where the row results do not serve.
__attribute__((always_inline)) inline int Band16FromRow(const VignetteFrame* f, A_long x, A_long y, A_u_short alpha) {
    const VignetteBand16Rows& r = f->band16Rows;
    if (!r.Covers(x, y) || r.states[y].load(std::memory_order_acquire) != kBand16RowReady) {
        return -1;
    }
    const uint32_t packed = r.results[r.origins[y] + x];
    return packed >> 16 == alpha ? static_cast<int>(packed & 0xFFFF) : -1;
}

// Computes row y's results unless a callback has claimed the row.
template <A_long Mode, A_long Falloff>
void ClaimBand16Row(const VignetteFrame* f, A_long x, A_long y) {
    const VignetteBand16Rows& r = f->band16Rows;
    if (!r.Covers(x, y)) {
        return;
    }
    std::atomic<uint8_t>& state = r.states[y];
    uint8_t empty = kBand16RowEmpty;
    if (state.load(std::memory_order_relaxed) == kBand16RowEmpty &&
        state.compare_exchange_strong(empty, kBand16RowBusy, std::memory_order_acquire)) {
        FillBand16Row<Mode, Falloff>(f, y);
        state.store(kBand16RowReady, std::memory_order_release);
    }
}

// 16-bit pixels near an edge or in the band, out of line as Blend8Edge is:
// the ellipse's band from its bounds, else the exact path.
template <A_long Mode, int S, A_long Falloff>
__attribute__((noinline)) PF_Err Blend16Edge(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const VignetteInfo* vi = &f->info;
    const float a = Alpha16(in->alpha);
    if constexpr (S == kEllipse && Falloff != kAnyFalloff) {
        if (f->band16.usable) {
            float u, v;
            VignetteMaskPoint(vi, x, y, &u, &v);
            const int result = Band16Settled<Mode, Falloff>(f, u, v, f->BandCertain(x, y), a);
            return Write16(in, out,
                           result >= 0 ? static_cast<A_u_short>(result) : Band16Exact<Mode, Falloff>(f, x, y, a));
        }
    }
    return Write16(in, out, ToAlpha16(32768.0f * CompositeAlpha<Mode>(vi, EdgeAt<S, Falloff>(f, x, y), a)));
}

// 16-bit pixels past the row spans whose row results do not serve yet: the
// row is computed if no callback has, else Blend16Edge decides.
template <A_long Mode, int S, A_long Falloff>
__attribute__((noinline)) PF_Err Blend16Claim(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    ClaimBand16Row<Mode, Falloff>(f, x, y);
    const int result = Band16FromRow(f, x, y, in->alpha);
    if (result >= 0) {
        return Write16(in, out, static_cast<A_u_short>(result));
    }
    return Blend16Edge<Mode, S, Falloff>(refcon, x, y, in, out);
}

// 16-bit pixels past the row spans: the ellipse's band from the row results
// where they serve. Out of line, so the zones' path stays short, and with the
// rest further out, so this one stays a leaf.
template <A_long Mode, int S, A_long Falloff>
__attribute__((noinline)) PF_Err Blend16Band(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    if constexpr (S == kEllipse && Falloff != kAnyFalloff) {
        const int result = Band16FromRow(static_cast<const VignetteFrame*>(refcon), x, y, in->alpha);
        if (__builtin_expect(result >= 0, 1)) {
            return Write16(in, out, static_cast<A_u_short>(result));
        }
        return Blend16Claim<Mode, S, Falloff>(refcon, x, y, in, out);
    }
    return Blend16Edge<Mode, S, Falloff>(refcon, x, y, in, out);
}

// Zone Z's result min(alpha * scale + offset, 32768) over the pixel's alpha,
// the whole pixel in one register, written once: alpha is its low word.
template <int Z>
__attribute__((always_inline)) inline PF_Err StoreZone16(const VignetteFrame* f, const PF_Pixel16* in,
                                                         PF_Pixel16* out) {
    uint64_t pixel;
    std::memcpy(&pixel, in, sizeof(pixel));
    const uint64_t a = pixel & 0xFFFF;
    const uint64_t result = std::min<uint64_t>(a * f->zoneScale16[Z] + f->zoneOffset16[Z], 32768);
    pixel = (pixel & ~uint64_t{0xFFFF}) | result;
    std::memcpy(out, &pixel, sizeof(pixel));
    return PF_Err_NONE;
}

// Zones whose results are a constant or the alpha itself, in integers; each
// zone reads its constants at fixed offsets.
template <A_long Mode, int S, A_long Falloff, bool Ahead>
PF_Err Blend16Simple(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    PrefetchAhead<Ahead>(in, out);
    if (__builtin_expect(!f->Spans(x, y), 0)) {
        return Blend16Band<Mode, S, Falloff>(refcon, x, y, in, out);
    }
    const VignetteRowSpans& row = f->rows[y];
    if (__builtin_expect(!row.outer.Holds(x), 1)) {
        return StoreZone16<ZONE_OUTSIDE>(f, in, out);
    }
    if (row.core.Holds(x)) {
        return StoreZone16<ZONE_CORE>(f, in, out);
    }
    return Blend16Band<Mode, S, Falloff>(refcon, x, y, in, out);
}

template <A_long Mode, int S, A_long Falloff, bool Ahead = true>
PF_Err Blend16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const VignetteFrame* f = static_cast<const VignetteFrame*>(refcon);
    const VignetteInfo* vi = &f->info;
    PrefetchAhead<Ahead>(in, out);
    if (__builtin_expect(!f->Spans(x, y), 0)) {
        return Blend16Band<Mode, S, Falloff>(refcon, x, y, in, out);
    }
    const bool outside = !f->rows[y].outer.Holds(x);
    if (__builtin_expect(outside || f->rows[y].core.Holds(x), 1)) {
        const float s = outside ? f->outsideStrength : f->coreStrength;
        return Write16(in, out, ToAlpha16(32768.0f * CombineAlpha<Mode>(vi, s, Alpha16(in->alpha))));
    }
    return Blend16Band<Mode, S, Falloff>(refcon, x, y, in, out);
}

// The 8-bit band falls back to the exact curve rarely, so the falloff is not
// worth an instance of its own there.
template <bool Ahead>
struct PickArgb8 {
    template <A_long Mode, int S, A_long>
    struct Fn {
        static constexpr PF_IteratePixel8Func kFn = &Blend8<Mode, S, 0, Ahead>;
    };
};
template <bool Ahead>
struct PickBgra8 {
    template <A_long Mode, int S, A_long>
    struct Fn {
        static constexpr PF_IteratePixel8Func kFn = &Blend8<Mode, S, 3, Ahead>;
    };
};
template <bool Ahead>
struct Pick16 {
    template <A_long Mode, int S, A_long Falloff>
    struct Fn {
        static constexpr PF_IteratePixel16Func kFn = &Blend16<Mode, S, Falloff, Ahead>;
    };
};
template <bool Ahead>
struct Pick16Simple {
    template <A_long Mode, int S, A_long Falloff>
    struct Fn {
        static constexpr PF_IteratePixel16Func kFn = &Blend16Simple<Mode, S, Falloff, Ahead>;
    };
};

// The frame's instance, with or without asking for memory ahead.
template <template <bool> class Pick>
auto ByFrameAhead(const VignetteFrame& frame) {
    return frame.prefetchAhead ? ByFrame<Pick<true>::template Fn>(frame) : ByFrame<Pick<false>::template Fn>(frame);
}

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

PF_IteratePixel8Func ChooseBlend8(const VignetteFrame& frame) { return ByFrameAhead<PickArgb8>(frame); }

PF_IteratePixel8Func ChooseBlendBGRA8(const VignetteFrame& frame) { return ByFrameAhead<PickBgra8>(frame); }

PF_IteratePixel16Func ChooseBlend16(const VignetteFrame& frame) {
    return frame.zones16 ? ByFrameAhead<Pick16Simple>(frame) : ByFrameAhead<Pick16>(frame);
}
