// The band cells' error bound, called directly. That every shortcut's result
// (row spans, zones, cells) equals the exact path's is the pixel functions'
// sweep (adapters_test) and the float rows' (float_rows_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/MaskSupport.h"
#include "plugin/Vellora/Vellora_Frame.h"

namespace {

using vtest::Centred;
using vtest::Fix;
using vtest::Info;

// Cell violations over random frames: pixels of the ellipse's band whose exact
// edge value lies outside the cell their 8-bit path picks, by the float index
// or by the row's quadratic; and pixels the rows call certainly band that the
// exact zone tests do not.
struct CellCheck {
    long checked = 0, outside = 0, misplaced = 0;
};

CellCheck CheckCells(double cellBoundScale) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> size(40.0, 2400.0), unit(0.0, 1.0), angle(-360.0, 360.0);
    CellCheck result;
    constexpr A_long kW = 1000, kH = 800;
    for (int trial = 0; trial < 36; ++trial) {
        VignetteParams p = Centred(size(rng), size(rng), 0.0, 1 + trial % 6);
        const double share = trial % 9 == 0 ? 0.999 : trial % 9 == 1 ? 0.01 : 0.05 + 0.9 * unit(rng);
        p.feather = share * 0.5 * std::min(p.width, p.height);
        p.angle = Fix(angle(rng));
        p.origin_x = Fix(unit(rng) * kW);
        p.origin_y = Fix(unit(rng) * kH);
        p.downsample_x = {1, static_cast<A_u_long>(1 + trial % 3)};
        p.downsample_y = {1, static_cast<A_u_long>(1 + trial / 3 % 2)};
        p.pixel_aspect_ratio = {static_cast<A_long>(1 + trial % 2), 1};
        const VignetteInfo vi = Info(p);
        VignetteTables tables;
        VignetteFrame f;
        PrepareVignetteFrame(vi, kW, kH, tables, &f, true, cellBoundScale);
        if (!f.bandCells) continue;
        const auto inCell = [&](double index, float e) {
            if (!(index >= 0.0 && index < f.bandCellCount)) return true;  // the exact path decides
            const float* cell = f.bandCells + 2 * static_cast<A_long>(index);
            return cell[0] <= e && e <= cell[1];
        };
        for (A_long y = 0; y < kH; y += 1 + trial % 2) {
            const VignetteBandRow* row = f.bandRows ? &f.bandRows[y] : nullptr;
            for (A_long x = 0; x < kW; ++x) {
                float u, v;
                VignetteMaskPoint(&vi, x, y, &u, &v);
                const float q = vi.scaleU * (u * u) + vi.scaleV * (v * v);
                const bool band =
                    q < 1.0f && vi.innerInvHalfWidthSq * (u * u) + vi.innerInvHalfHeightSq * (v * v) > 1.0f;
                const bool certain = row && row->inside.Holds(x) && !row->core.Holds(x);
                if (certain && !band) ++result.misplaced;
                if (!band) continue;
                const float e = VignetteEllipseBand(&vi, u, v);
                ++result.checked;
                const float index = (q - f.bandQ0) * f.bandCellsPerQ;
                if (!inCell(index, e)) ++result.outside;
                if (certain && !inCell((f.cellA * x + row->cellB) * x + row->cellC, e)) ++result.outside;
            }
        }
    }
    return result;
}

// Every byte the 8-bit band settles rests on this: the exact edge value lies in
// its pixel's cell, found either way, and the rows' certain band is band.
TEST(FrameCells, EveryBandPixelsExactEdgeValueLiesInItsCell) {
    const CellCheck honest = CheckCells(1.0);
    EXPECT_GT(honest.checked, 2000000);
    EXPECT_EQ(honest.outside, 0) << "of " << honest.checked << " band pixels";
    EXPECT_EQ(honest.misplaced, 0);
}

// The check above proves the cells' bound only if it would catch one too
// small: planted at nine tenths of its width, it must.
TEST(FrameCells, CheckCatchesCellsWhoseBoundIsTooSmall) {
    EXPECT_GT(CheckCells(0.9).outside, 0);
}

}  // namespace
