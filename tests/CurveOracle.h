// The six falloff curves as documented, written out independently of the
// plug-in's code (no shared constants or helpers), so a fault in the product's
// curves cannot pass unseen. Kept free of plug-in headers for the tests that
// check the rendered pixels against their own transcription of the mask.
#pragma once

#include <cmath>

namespace vtest {

// Curve number `falloff` (the popup's 1 to 6; anything else is linear) at t,
// which is clamped to 0..1 first (NaN gives 0).
inline double CurveOracle(int falloff, double t) {
    t = std::fmin(std::fmax(t, 0.0), 1.0);
    switch (falloff) {
        case 2: return t * t;
        case 3: return t * (t * t);
        case 4: return std::pow(t, 0.454);
        case 5: return 1.0 - std::pow(360.0, -std::pow(t, 2.5));
        case 6: return (1.0 - std::pow(2.5, -t)) * 2.5 / 1.5;
        default: return t;
    }
}

}  // namespace vtest
