// Per-frame shortcuts for the pixel passes, built once before the pass and
// read-only during it (the pixel functions may run on several threads at
// once), but for the 16-bit band's row results, each claimed by one callback.
//
// Every shortcut gives exactly what Blend_Float gives, or defers to it:
// - row spans: for every output row a span of columns outside of which every
//   pixel is certainly outside the mask, and a span inside of which every pixel
//   is certainly in the core (or, with a hard edge, inside), widened by a
//   margin far beyond the rounding of the per-pixel arithmetic;
// - the strengths and 8-bit results of those two zones;
// - the rectangle's ramps: its band works on whole-pixel distances, so the
//   curve takes one value per distance, computed once by the exact curve;
// - the ellipse's band cells for 8-bit results: bounds on the edge value over
//   small ranges of the outer form, which settle most bytes with no root or curve;
// - the rectangle's 8-bit results by whole distance and alpha, where one axis
//   alone is in the band (built with the pass's other 8-bit tables);
// - for 16 bits, the ellipse's band results a row at a time, computed by the
//   pass's first callback in the row (Vellora_Band16Rows.h).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "plugin/Vellora/Vellora_Band16.h"
#include "plugin/Vellora/Vellora_Band16Rows.h"
#include "plugin/Vellora/Vellora_Mask.h"

struct VignetteRowSpan {
    A_long lo;  // the span is lo <= x <= lo + width
    A_u_long width;

    __attribute__((always_inline)) inline bool Holds(A_long x) const {
        // One unsigned compare folds the two-sided test.
        return static_cast<A_u_long>(x) - static_cast<A_u_long>(lo) <= width;
    }

    // Its columns within 0 .. cols - 1, as a half-open range; empty when lo >= hi.
    void ClipTo(A_long cols, A_long* first, A_long* end) const {
        const int64_t l = lo;
        *first = static_cast<A_long>(std::clamp<int64_t>(l, 0, cols));
        *end = static_cast<A_long>(std::clamp<int64_t>(l + static_cast<int64_t>(width) + 1, 0, cols));
    }
};

// A row's two spans, side by side so one load brings both.
struct VignetteRowSpans {
    VignetteRowSpan outer;  // pixels outside it are certainly outside
    VignetteRowSpan core;   // pixels within it are certainly in the core
};

// A row of the ellipse's band, for 8-bit results: pixels within `inside` and
// outside `core` are certainly in the band, and their band cell is
// (cellA x + cellB) x + cellC, in double (cellA is the frame's).
struct VignetteBandRow {
    VignetteRowSpan inside;
    VignetteRowSpan core;
    double cellB;
    double cellC;

    // Without branches, so that loops over blocks of pixels vectorise.
    __attribute__((always_inline)) inline bool Certain(A_long x) const {
        const bool within = inside.Holds(x), inCore = core.Holds(x);
        return within & !inCore;
    }
};

// Storage of a frame's tables; must outlive the pass.
struct VignetteTables {
    std::vector<VignetteRowSpans> rows;
    std::vector<VignetteBandRow> bandRows;
    std::vector<double> rampU, rampV;    // the rectangle's curve by whole distance
    std::vector<float> bandCells;        // the ellipse's edge-value bounds, lo and hi per cell
    std::vector<int16_t> bandBytes;      // Create's 8-bit result per cell, -1 where unsettled
    std::vector<VignetteChord> band16Chords;  // the curve's chords for 16-bit results
    std::vector<float> bandStrengths;    // the cells' bounds as strengths, for 8-bit results
    std::vector<uint8_t> rampBytesU, rampBytesV;  // the rectangle's 8-bit results by distance and alpha
    VignetteBand16RowStorage band16Rows;
};

// A rectangle ramp: the curve's double value at whole distances first .. first + count - 1.
struct VignetteRamp {
    const double* values;
    A_long first;
    A_u_long count;
};

// The record handed to the pixel functions as refcon. Its first member is the
// frame's VignetteInfo, so refcon is also the address of that record.
struct VignetteFrame {
    VignetteInfo info;
    const VignetteRowSpans* rows;  // null when rowCount is 0: no spans
    A_u_long rowCount;
    A_u_long columnCount;  // the spans' margins hold for the output's columns only
    // MaskStrength outside (edge value 1) and in the core (0).
    float outsideStrength;
    float coreStrength;
    // 8-bit results outside and in the core, by source alpha, already shifted
    // to the alpha byte of a packed 32-bit pixel (PrepareRenderFrame fills them).
    uint32_t outside32[256];
    uint32_t core32[256];
    // 16-bit results by zone (ZONE_EDGE unused) as min(alpha * scale + offset,
    // 32768), when both zones' results are a constant or the alpha itself.
    bool zones16;
    uint64_t zoneScale16[3];  // 64 bits: the pass multiplies straight from memory
    uint64_t zoneOffset16[3];
    // Rectangle ramps along u and v; count 0 when the curve is computed per pixel.
    VignetteRamp rampU;
    VignetteRamp rampV;
    // Ellipse band cells: for an outer form q in the band, cell
    // i = (q - bandQ0) * bandCellsPerQ holds, at bandCells[2i] and [2i + 1],
    // bounds of the exact edge value of every pixel with that q.
    const float* bandCells;  // null: no cells
    // In Create mode the 8-bit result ignores the layer's alpha, so each cell
    // holds it outright (-1 where its bounds give two bytes); else null.
    const int16_t* bandBytes;
    A_long bandCellCount;
    float bandQ0;
    float bandCellsPerQ;
    // Per output row (rowCount of them), where the band is certain and which
    // cell a pixel there falls in; null when the frame has no spans.
    const VignetteBandRow* bandRows;
    double cellA;
    // The ellipse's band for 16-bit results (no cells for other passes), and
    // its results a row at a time where the source layer is known.
    VignetteBand16 band16;
    VignetteBand16Rows band16Rows;
    // The band cells' bounds turned into strengths (MaskStrength of each), in
    // the same pairs, for 8-bit results; null with no cells.
    const float* bandStrengths;
    // The rectangle's 8-bit results where one axis alone is in the band: for
    // whole distance rampU.first + d along u (the other axis in the core), at
    // rampBytesU[256 d + alpha]; likewise along v. Both null or both set, and
    // set only where whole distances compare with the sizes as integers do.
    const uint8_t* rampBytesU;
    const uint8_t* rampBytesV;
    // Whether the passes ask for memory ahead on this processor (see
    // PrefetchAheadPays); it changes the speed, never a result.
    bool prefetchAhead;

    // Row y (below rowCount) over columns 0 .. cols - 1 (at most columnCount)
    // as runs: outside before b[0], edge to b[1], core to b[2], edge to b[3],
    // outside after.
    void RowRuns(A_long y, A_long cols, A_long b[4]) const {
        rows[y].outer.ClipTo(cols, &b[0], &b[3]);
        if (b[0] >= b[3]) {
            b[0] = b[1] = b[2] = b[3] = cols;
            return;
        }
        rows[y].core.ClipTo(cols, &b[1], &b[2]);
        b[1] = std::max(b[1], b[0]);
        b[2] = std::min(b[2], b[3]);
        if (b[1] >= b[2]) {
            b[1] = b[2] = b[3];
        }
    }

    // Whether the row spans cover pixel (x, y): then rows[y] holds its zone.
    // The passes walk the spans themselves: through a helper returning the
    // zone, g++ laid their common path out behind a taken branch.
    __attribute__((always_inline)) inline bool Spans(A_long x, A_long y) const {
        return static_cast<A_u_long>(y) < rowCount && static_cast<A_u_long>(x) < columnCount;
    }

    // Whether pixel (x, y) is certainly in the ellipse's band.
    __attribute__((always_inline)) inline bool BandCertain(A_long x, A_long y) const {
        return bandRows && Spans(x, y) && bandRows[y].Certain(x);
    }
};

// Fills `frame` from a filled record for an output of width x height pixels:
// spans, strengths and ramps, and with `bandCells` the ellipse's band cells.
// Frames whose numbers are too large or not finite for a safe margin get no
// spans. `cellBoundScale` scales the band cells' error bound; anything but 1
// is for proving that the tests catch a bound that is too small.
// Whether asking for memory ahead speeds the passes up on this processor.
bool PrefetchAheadPays();

void PrepareVignetteFrame(const VignetteInfo& info, A_long width, A_long height, VignetteTables& tables,
                          VignetteFrame* frame, bool bandCells = false, double cellBoundScale = 1.0);

// The rectangle's curve value at whole distance `d` past the inner edge's
// start, from the ramp when it holds it, else computed as the exact path does.
__attribute__((always_inline)) inline double RampValue(const VignetteInfo* vi, const VignetteRamp& ramp, float d,
                                                       float inner, float scale) {
    const A_u_long i = static_cast<A_u_long>(static_cast<A_long>(d) - ramp.first);
    if (__builtin_expect(i < ramp.count, 1)) {
        return ramp.values[i];
    }
    return alphaFunct(vi, scale * (d - inner));
}

// Edge value of output pixel (x, y) through the frame's shortcuts: the exact
// zone tests, the rectangle's ramps and, for the ellipse's band, the exact path.
template <bool Ellipse, A_long Falloff>
__attribute__((always_inline)) inline float FrameEdge(const VignetteFrame* f, float u, float v) {
    const VignetteInfo* vi = &f->info;
    if (Ellipse) {
        return VignetteEdge<Falloff>(vi, u, v);
    }
    // The rectangle's curve along each axis from the ramps.
    // (Inlined by force: a call here costs as much as the lookups.)
    return RectangleEdge(vi, u, v, [f, vi](float au, float av) __attribute__((always_inline)) {
        return RectangleBand(
            vi, au, av,
            [&](float d) __attribute__((always_inline)) {
                return RampValue(vi, f->rampU, d, vi->innerHalfWidth, vi->scaleU);
            },
            [&](float d) __attribute__((always_inline)) {
                return RampValue(vi, f->rampV, d, vi->innerHalfHeight, vi->scaleV);
            });
    });
}

// Sets up the 16-bit band's row results over the 16-bit source layer
// `source`, for a frame whose band16 is usable and that has row spans;
// leaves them off otherwise, where they would take more than 64 MB, and where
// the source shares memory with the `destination` layer (a row read while
// another thread writes it).
void PrepareBand16Rows(const PF_LayerDef& source, const PF_LayerDef& destination, VignetteBand16RowStorage& storage,
                       VignetteFrame* frame);
