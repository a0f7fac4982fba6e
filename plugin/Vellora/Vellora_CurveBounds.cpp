#include "plugin/Vellora/Vellora_CurveBounds.h"

#include "plugin/Vellora/Vellora_Mask.h"

namespace {

// Curve C at ramp positions t (clamped to 0..1) to within 1e-13, in place:
// a bound, never a result. The short path, where a curve has one; below
// kShortFrom, where it does not serve, the curve (rising from 0) is bounded by
// 0 from below and by its value at kShortFrom from above.
template <class C>
__attribute__((always_inline)) inline void CurveEstimatesOf(bool upper, double* __restrict t, A_long n) {
    using vellora_curves::ClampRamp;
    if constexpr (C::kHasShort) {
        const double below = upper ? 1.0 : 0.0;  // times the value at kShortFrom
        for (A_long i = 0; i < n; ++i) {
            const double x = ClampRamp(t[i]);
            double bound;
            const double v = C::template Short<vellora_curves::VectorMath>(x >= C::kShortFrom ? x : C::kShortFrom,
                                                                            &bound);
            t[i] = v * (x >= C::kShortFrom ? 1.0 : below);
        }
    } else {
        for (A_long i = 0; i < n; ++i) t[i] = C::Exact(ClampRamp(t[i]));
    }
}

// A plain loop per curve, so each vectorises. (Its vector-width copies are
// called from this file only: g++ and clang resolve them differently elsewhere.)
VELLORA_VECTOR_CLONES
void CurveEstimatesVector(A_long falloff, bool upper, double* __restrict t, A_long n) {
    vellora_curves::WithCurve(falloff, [&](auto c) __attribute__((always_inline)) {
        CurveEstimatesOf<decltype(c)>(upper, t, n);
        return 0;
    });
}

}  // namespace

void CurveEstimates(A_long falloff, bool upper, double* __restrict t, A_long n) {
    CurveEstimatesVector(falloff, upper, t, n);
}

