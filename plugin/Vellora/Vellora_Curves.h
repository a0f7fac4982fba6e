// The falloff curves, each defined once: its formula in double precision, its
// constants, its short path through a fast log and exp with that path's error
// bound, and the one table from the popup value to the curve. The exact path,
// the per-frame shortcuts, the vectorised rows and the band cells' bounds all
// take their curve from here, so a new curve is a Curve<> specialisation and a
// row in Curves.
#pragma once

#include <cmath>

#include "plugin/Vellora/Vellora.h"
#include "plugin/Vellora/Vellora_FastMath.h"

namespace vellora_curves {

// The short paths' error bound, relative to the sizes in each curve's Short:
// ten or more times the worst error of the fast log and exp or of pow (a few
// units in the last place of a double).
constexpr double kShortBound = 4e-14;

// Ramp positions are clamped to 0..1 before any curve; NaN (a band of zero
// width) counts as the band's inner edge.
inline double ClampRamp(double t) { return t > 0.0 ? (t < 1.0 ? t : 1.0) : 0.0; }

// The short paths' log and exp: one value at a time (libm's log, a table's exp) ...
struct ScalarMath {
    static double Log(double t) { return std::log(t); }
    static double Exp(double x) { return vellora_detail::ExpNonPositive(x); }
};
// ... and without tables or calls, for loops meant to vectorise.
struct VectorMath {
    static double Log(double t) { return vellora_detail::LogPositivePoly(t); }
    static double Exp(double x) { return vellora_detail::ExpNonPositivePoly(x); }
};

// Each curve: Exact(t) for t in 0..1, and with kHasShort, Short<Math>(t, &bound)
// for t from kShortFrom to 1: an estimate whose distance from Exact(t) is below
// `bound`, and MaxBend(ta, tb), a bound of the curve's second derivative's
// size over ta..tb (0 <= ta <= tb <= 1; infinite where it has none). Every
// curve rises from Exact(0) = 0.
template <A_long Falloff>
struct Curve;

template <>
struct Curve<FALLOFF_LINEAR> {
    static constexpr A_long kFalloff = FALLOFF_LINEAR;
    static constexpr bool kHasShort = false;
    static double Exact(double t) { return t; }
};

template <>
struct Curve<FALLOFF_QUADRATIC> {
    static constexpr A_long kFalloff = FALLOFF_QUADRATIC;
    static constexpr bool kHasShort = false;
    static double Exact(double t) { return t * t; }
};

template <>
struct Curve<FALLOFF_CUBIC> {
    static constexpr A_long kFalloff = FALLOFF_CUBIC;
    static constexpr bool kHasShort = false;
    static double Exact(double t) { return t * (t * t); }
};

// Gamma 2.2, whose exponent is 0.454 rather than 1 / 2.2.
template <>
struct Curve<FALLOFF_GAMMA> {
    static constexpr A_long kFalloff = FALLOFF_GAMMA;
    static constexpr double kExponent = 0.454;
    static constexpr bool kHasShort = true;
    // Below 2^-20 the log's absolute error grows past what the bound allows for.
    static constexpr double kShortFrom = 0x1p-20;
    static double Exact(double t) { return std::pow(t, kExponent); }
    template <class Math>
    static double Short(double t, double* bound) {
        const double y = Math::Exp(kExponent * Math::Log(t));
        *bound = y * kShortBound;
        return y;
    }
    // |c (c - 1) t^(c - 2)| falls with t.
    static double MaxBend(double ta, double) { return kExponent * (1.0 - kExponent) * std::pow(ta, kExponent - 2.0); }
};

// 1 - 360^-(t^2.5): 1 - 1/360 at t = 1, not 1.
template <>
struct Curve<FALLOFF_GAUSSIAN> {
    static constexpr A_long kFalloff = FALLOFF_GAUSSIAN;
    static constexpr double kBase = 360.0;
    static constexpr double kLnBase = 0x1.78b5edaefba8cp+2;  // log(360)
    static constexpr double kPower = 2.5;                    // Short takes t^2.5 as t^2 sqrt(t)
    static constexpr bool kHasShort = true;
    static constexpr double kShortFrom = 0.0;
    static double Exact(double t) { return 1.0 - std::pow(kBase, -std::pow(t, kPower)); }
    template <class Math>
    static double Short(double t, double* bound) {
        const double q = Math::Exp(-((t * t) * std::sqrt(t)) * kLnBase);
        *bound = q * kShortBound;
        return 1.0 - q;
    }
    // The second derivative is exp(-L t^p) (L p (p - 1) t^(p - 2) - (L p)^2 t^(2p - 2)),
    // L = log(360): the exponential falls with t, both powers rise.
    static double MaxBend(double ta, double tb) {
        const double lp = kLnBase * kPower;
        return std::exp(-kLnBase * std::pow(ta, kPower)) *
               (lp * (kPower - 1.0) * std::sqrt(tb) + lp * lp * tb * tb * tb);
    }
};

// (1 - 2.5^-t) scaled by 2.5 / 1.5 (multiplied, then divided) to reach 1 at t = 1.
template <>
struct Curve<FALLOFF_EXPONENTIAL> {
    static constexpr A_long kFalloff = FALLOFF_EXPONENTIAL;
    static constexpr double kBase = 2.5;
    static constexpr double kLnBase = 0x1.d5240f0e0e078p-1;  // log(2.5)
    static constexpr double kSpan = kBase - 1.0;             // 1.5
    static constexpr bool kHasShort = true;
    static constexpr double kShortFrom = 0.0;
    static double Exact(double t) { return (1.0 - std::pow(kBase, -t)) * kBase / kSpan; }
    template <class Math>
    static double Short(double t, double* bound) {
        const double q = Math::Exp(-t * kLnBase);
        const double y = (1.0 - q) * kBase / kSpan;
        *bound = (q + y) * kShortBound;
        return y;
    }
    // The second derivative is -log(b)^2 b^-t b / (b - 1), falling in size with t.
    static double MaxBend(double ta, double) {
        return kLnBase * kLnBase * std::exp(-kLnBase * ta) * kBase / kSpan;
    }
};

template <class... C>
struct CurveList {};

// The table: every curve the popup offers. A value it does not hold is Linear.
using Curves = CurveList<Curve<FALLOFF_LINEAR>, Curve<FALLOFF_QUADRATIC>, Curve<FALLOFF_CUBIC>,
                         Curve<FALLOFF_GAMMA>, Curve<FALLOFF_GAUSSIAN>, Curve<FALLOFF_EXPONENTIAL>>;
using DefaultCurve = Curve<FALLOFF_LINEAR>;

template <class Fn, class... C>
__attribute__((always_inline)) inline auto WithCurveIn(A_long falloff, Fn&& fn, CurveList<C...>) {
    decltype(fn(DefaultCurve{})) result{};
    if (!((falloff == C::kFalloff && ((result = fn(C{})), true)) || ...)) {
        result = fn(DefaultCurve{});
    }
    return result;
}

// fn(Curve<F>{}) for the curve of popup value `falloff`. Inside a function
// built once per vector width, give `fn` always_inline: a lambda called out of
// line is built for the baseline only.
template <class Fn>
__attribute__((always_inline)) inline auto WithCurve(A_long falloff, Fn&& fn) {
    return WithCurveIn(falloff, static_cast<Fn&&>(fn), Curves{});
}

template <A_long Falloff, class... C>
constexpr bool HasShortIn(CurveList<C...>) {
    return ((C::kFalloff == Falloff && C::kHasShort) || ...);
}

// Whether popup value `Falloff` names a curve with a short path (0, any curve, does not).
template <A_long Falloff>
constexpr bool HasShort() {
    return HasShortIn<Falloff>(Curves{});
}

// Rounds an approximation `y` of a curve value to single precision when every
// value within `bound` of it rounds the same way; then the exact value, which
// lies within the bound, rounds to it too. Otherwise reports failure.
inline bool RoundsSurely(double y, double bound, float* out) {
    const float lo = static_cast<float>(y - bound);
    const float hi = static_cast<float>(y + bound);
    *out = lo;
    return lo == hi;
}

// Curve C at a clamped t rounded to single precision: exactly
// static_cast<float>(C::Exact(t)), through the short path where its bound
// settles the rounding (nearly always), else through pow.
template <class C>
__attribute__((always_inline)) inline float RoundedCurve(double t) {
    if constexpr (C::kHasShort) {
        if (t >= C::kShortFrom) {
            double bound;
            float e;
            const double y = C::template Short<ScalarMath>(t, &bound);
            if (RoundsSurely(y, bound, &e)) return e;
        }
    }
    return static_cast<float>(C::Exact(t));
}

}  // namespace vellora_curves
