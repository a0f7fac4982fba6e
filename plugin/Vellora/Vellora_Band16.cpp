#include "plugin/Vellora/Vellora_Band16.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/Vellora/Vellora_CurveBounds.h"

namespace {

constexpr double kUnit = 0x1p-24;  // single precision's unit roundoff

// Beyond this bound in ramp position too few pixels would settle to be worth it.
constexpr double kMaxBound = 1e-3;

// Chords over the ramp's 0..1: 48 KB, which stays in cache while a row's band
// sweeps through it, and fine enough that their error (the curve's bend times
// h^2 / 8, under 2e-7) adds little to the ramp's bound.
constexpr A_long kChords = 2048;

bool Positive(float f) { return f > 0.0f && std::isfinite(f); }

template <class C>
void FillChords(std::vector<VignetteChord>& chords, double boundScale) {
    if constexpr (C::kHasShort) {
        std::vector<double> lower(kChords + 1), upper(kChords + 1);
        for (size_t i = 0; i <= kChords; ++i) {
            lower[i] = upper[i] = static_cast<double>(i) / kChords;
        }
        CurveEstimates(C::kFalloff, false, lower.data(), kChords + 1);
        CurveEstimates(C::kFalloff, true, upper.data(), kChords + 1);
        // Each node's value as a midpoint and how far the curve may lie from it.
        const auto mid = [&](A_long i) { return 0.5 * (lower[static_cast<size_t>(i)] + upper[static_cast<size_t>(i)]); };
        const auto spread = [&](A_long i) {
            return 0.5 * (upper[static_cast<size_t>(i)] - lower[static_cast<size_t>(i)]) + 1e-13;
        };
        constexpr double kEighthSquare = 0.125 / (static_cast<double>(kChords) * kChords);
        chords.resize(kChords);
        for (A_long i = 0; i < kChords; ++i) {
            const double rise = mid(i + 1) - mid(i);
            // The curve rises, so it never leaves the cell's two values, nor
            // strays from their chord by more than its bend allows.
            const double bend = 1.01 * C::MaxBend(static_cast<double>(i) / kChords,
                                                  static_cast<double>(i + 1) / kChords) * kEighthSquare;
            const double error = boundScale * (std::min(bend, rise) + std::max(spread(i), spread(i + 1)) + 1e-12);
            chords[static_cast<size_t>(i)] = VignetteChord{mid(i), rise, error};
        }
    }
}

}  // namespace

// The exact path, for a band pixel at (u, v) (both exact floats), computes in
// single precision r = sqrt(u^2 + v^2), the direction (u / r, v / r), from its
// squares the two ellipses' radii in that direction (each through a double
// square root and quotient, then rounded), and t = (r - rIn) / (rOut - rIn).
// In real arithmetic on its constants, t = (s - k) / (1 - k), with k the radii's
// ratio. Each rounding moves its step by at most one unit of 2^-24:
// - r's error carries through the direction into both radii alike, and cancels;
// - the direction's quotients and squares (shared by both radii) move both
//   radii alike against r, by rho, up to 1.5 units;
// - each radius's own sum and rounding move it by a_o or a_i, up to 2 units;
// - the two differences and the last quotient move t by up to 3 units of t.
// To first order dt = -(k scale + t) rho - k scale (1 - t) a_i - t scale a_o,
// so |dt| <= 3.5 (scale - 1) + 6.5 t units; a tenth more covers the second
// order and pixels just past either edge (t a few units below 0). The
// ratio k itself varies with the direction by the rounding of the constants:
// it is taken midway, and its spread times |dt/dk| <= (1 - k) scale^2 is added.
VignetteBand16 BandRampOf(const VignetteInfo& vi, double boundScale) {
    VignetteBand16 band{};
    if (!vi.isEllipse || !(vi.feather > 0.0f) || !Positive(vi.halfWidthSq) || !Positive(vi.halfHeightSq) ||
        !Positive(vi.innerHalfWidthSq) || !Positive(vi.innerHalfHeightSq) || !Positive(vi.outerAxisProduct) ||
        !Positive(vi.innerAxisProduct) || !(vi.opacity >= 0.0f && vi.opacity <= 1.0f)) {
        return band;
    }
    const double hw2 = vi.halfWidthSq, hh2 = vi.halfHeightSq;
    const double iw2 = vi.innerHalfWidthSq, ih2 = vi.innerHalfHeightSq;
    const double outer = vi.outerAxisProduct, inner = vi.innerAxisProduct;
    band.formU = hh2 / (outer * outer);
    band.formV = hw2 / (outer * outer);
    // The radii's ratio along either axis; every other direction's lies between.
    const double kU = inner / outer * std::sqrt(hh2 / ih2);
    const double kV = inner / outer * std::sqrt(hw2 / iw2);
    const double kLo = std::min(kU, kV), kHi = std::max(kU, kV);
    if (!(kLo >= 0.0) || !(kHi < 1.0)) {
        return band;
    }
    band.k = 0.5 * (kLo + kHi);
    band.scale = 1.0 / (1.0 - band.k);
    const double scaleHi = 1.0 / (1.0 - kHi);
    const double spread = 1.01 * (1.01 - kLo) * scaleHi * scaleHi * 0.5 * (kHi - kLo);
    band.bound = boundScale * (1.1 * kUnit * 3.5 * (scaleHi - 1.0) + spread + 1e-12);
    band.boundSlope = boundScale * 1.1 * kUnit * 6.5;
    band.usable = std::isfinite(band.formU) && std::isfinite(band.formV) && band.bound + band.boundSlope < kMaxBound;
    return band;
}

void PrepareBand16(const VignetteInfo& vi, std::vector<VignetteChord>& storage, VignetteBand16* band,
                   double boundScale) {
    *band = BandRampOf(vi, boundScale);
    storage.clear();
    if (!band->usable) {
        return;
    }
    vellora_curves::WithCurve(vi.falloff, [&](auto curve) {
        FillChords<decltype(curve)>(storage, boundScale);
        return 0;
    });
    if (!storage.empty()) {
        band->chords = storage.data();
        band->chordCount = static_cast<A_long>(storage.size());
    }
}
