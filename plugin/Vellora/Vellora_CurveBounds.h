// Bounds of the falloff curves over many ramp positions at once, for the
// per-frame tables whose cells must hold the exact curve between two values.
#pragma once

#include "plugin/Vellora/Vellora.h"

// The curve of popup value `falloff` at ramp positions t (clamped to 0..1), in
// place, to within 1e-13 of its exact value: a bound, never a result. With
// `upper` the values lie at or above the curve where they cannot be that close
// (gamma near 0), else at or below.
void CurveEstimates(A_long falloff, bool upper, double* __restrict t, A_long n);
