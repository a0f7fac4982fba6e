// The frame's shortcuts, called directly: the row spans may claim only pixels
// whose result they give exactly, and the band cells' error bound holds.
// That every shortcut's result equals the exact path's is the pixel
// functions' sweep (adapters_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/MaskSupport.h"
#include "plugin/Vellora/Vellora_Frame.h"

namespace {

using vtest::Blend;
using vtest::Centred;
using vtest::Fix;
using vtest::Info;


// The row spans may only claim pixels whose result Blend_Float agrees with.
TEST(FrameSpans, ShortcutZonesAgreeWithThePixelFunction) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> size(0.0, 260.0), unit(0.0, 1.0), angle(-720.0, 720.0);
    long claimed = 0, total = 0;
    for (int trial = 0; trial < 120; ++trial) {
        VignetteParams p;
        p.mask_type = trial % 2 ? MASK_RECTANGLE : MASK_ELLIPSE;
        p.width = trial % 17 == 0 ? 0.0 : size(rng);
        p.height = size(rng);
        p.feather = trial % 3 == 0 ? 0.0 : unit(rng) * p.width;
        p.angle = Fix(trial % 4 == 0 ? 90.0 * (trial / 4 % 4) : angle(rng));
        p.origin_x = Fix(-20 + unit(rng) * 160);
        p.origin_y = Fix(-20 + unit(rng) * 120);
        const A_u_long ds = 1 + trial % 3;
        p.downsample_x = {1, ds};
        p.downsample_y = {1, static_cast<A_u_long>(1 + (trial / 3) % 2)};
        p.pixel_aspect_ratio = {static_cast<A_long>(1 + trial % 2), static_cast<A_u_long>(1 + (trial / 2) % 3)};
        p.invert = trial % 5 == 0;
        p.composite_mode = 1 + trial % 4;
        const VignetteInfo vi = Info(p);
        VignetteTables spans;
        VignetteFrame frame;
        PrepareVignetteFrame(vi, 120, 90, spans, &frame);
        for (A_long y = 0; y < 90; ++y) {
            for (A_long x = 0; x < 120; ++x) {
                const int zone = frame.ZoneOf(x, y);
                ++total;
                if (zone == ZONE_EDGE) continue;
                ++claimed;
                const float e = zone == ZONE_OUTSIDE ? 1.0f : 0.0f;
                for (float a : {0.0f, 0.3f, 1.0f}) {
                    ASSERT_EQ(CompositeAlpha(&vi, e, a), Blend(vi, x, y, a))
                        << "trial " << trial << " pixel " << x << "," << y << " zone " << zone;
                }
            }
        }
        // Pixels beyond the output take the exact path.
        EXPECT_EQ(frame.ZoneOf(0, 90), ZONE_EDGE);
        EXPECT_EQ(frame.ZoneOf(0, -1), ZONE_EDGE);
        EXPECT_EQ(frame.ZoneOf(-1, 10), ZONE_EDGE);
        EXPECT_EQ(frame.ZoneOf(120, 10), ZONE_EDGE);
    }
    EXPECT_GT(claimed, total * 8 / 10);  // the shortcuts do cover most pixels
}

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
