// The ellipse's feather band for 16-bit results, settled without the exact
// path's single-precision square roots and quotients for nearly every pixel.
//
// For a pixel at mask point (u, v), s = sqrt(formU u^2 + formV v^2) (in double)
// is its distance from the centre over the outer ellipse's radius in its
// direction, and the exact path's ramp position lies within a proven distance
// `bound` of (s - k) * scale, k the inner ellipse's size over the outer one's
// and scale = 1 / (1 - k) (see BandRampOf). The curve at both ends of that
// range bounds the exact edge value: computed outright for the polynomial
// curves, from a per-frame table of chords with their error for the others.
// Where both bounds give one 16-bit result the exact value gives it too;
// elsewhere the exact path decides.
#pragma once

#include <vector>

#include "plugin/Vellora/Vellora_Mask.h"

// One cell of a curve's table over ramp positions: on it, the curve lies
// within `error` of the chord c0 + rise * x, x running from 0 to 1 across the cell.
struct VignetteChord {
    double c0;
    double rise;
    double error;
};

struct VignetteBand16 {
    bool usable;  // false: no shortcut; every band pixel takes the exact path
    double formU, formV;
    double k, scale;
    // How far the exact ramp position may lie from the estimate t: bound + boundSlope * t.
    double bound, boundSlope;
    const VignetteChord* chords;  // null for the curves computed outright
    A_long chordCount;

    // Ramp positions below and above the exact path's for the band pixel at (u, v).
    __attribute__((always_inline)) inline void RampRange(float u, float v, double* lo, double* hi) const {
        const double du = u, dv = v;
        const double t = (std::sqrt(formU * (du * du) + formV * (dv * dv)) - k) * scale;
        const double reach = bound + boundSlope * t;
        *lo = vellora_curves::ClampRamp(t - reach);
        *hi = vellora_curves::ClampRamp(t + reach);
    }

    // The curve between clamped ramp positions tlo <= thi from the chords:
    // from the cell of tlo when thi lies in it too (nearly always: the range is
    // far narrower than a cell), else the curve's whole range, 0 to 1.
    __attribute__((always_inline)) inline void ChordRange(double tlo, double thi, double* lo, double* hi) const {
        const double n = static_cast<double>(chordCount);
        const double xlo = tlo * n, xhi = thi * n;
        A_long i = static_cast<A_long>(xlo);
        i = i < chordCount ? i : chordCount - 1;  // t = 1 is the last cell's end
        const VignetteChord& c = chords[i];
        const double at = static_cast<double>(i);
        // Selected by arithmetic (exact: the values are finite), so the cell's
        // loads stay unconditional and the loops over blocks vectorise.
        const double within = xhi <= at + 1.0 ? 1.0 : 0.0;
        *lo = (c.c0 + c.rise * (xlo - at) - c.error) * within;
        *hi = (c.c0 + c.rise * (xhi - at) + c.error) * within + (1.0 - within);
    }

    // Single-precision bounds of the exact path's edge value for the band pixel
    // at (u, v) on curve C: rounding to nearest keeps order, so rounded bounds
    // of its double bound its rounded value.
    template <class C>
    __attribute__((always_inline)) inline void EdgeRange(float u, float v, float* lo, float* hi) const {
        double tlo, thi;
        RampRange(u, v, &tlo, &thi);
        if constexpr (C::kHasShort) {
            double clo, chi;
            ChordRange(tlo, thi, &clo, &chi);
            *lo = static_cast<float>(clo);
            *hi = static_cast<float>(chi);
        } else {
            // The polynomials' double steps are monotone on 0..1.
            *lo = static_cast<float>(C::Exact(tlo));
            *hi = static_cast<float>(C::Exact(thi));
        }
    }
};

// The frame's ramp as a function of s, and its bound. `boundScale` scales the
// bound (and in PrepareBand16 the chords' error); anything but 1 is for proving
// that the tests catch a bound too small.
VignetteBand16 BandRampOf(const VignetteInfo& info, double boundScale = 1.0);

// Fills `band` for a frame, its chords kept in `storage`; leaves it unusable
// for a rectangle, a hard edge or numbers too large for a useful bound.
void PrepareBand16(const VignetteInfo& info, std::vector<VignetteChord>& storage, VignetteBand16* band,
                   double boundScale = 1.0);
