// Coordinate helpers of the overlay: layer space <-> window space through the
// host's event callbacks, rotation of four-corner records, and 16.16 rounding.
#pragma once

#include "api/AE_Effect.h"
#include "api/AE_EffectUI.h"
#include "api/FixedPoint.h"

// Four corners of a rectangle in 16.16. Field order is not an outline order:
// an outline runs topLeft, topRight, bottomRight, bottomLeft.
typedef struct {
    PF_FixedPoint topLeft;
    PF_FixedPoint topRight;
    PF_FixedPoint bottomLeft;
    PF_FixedPoint bottomRight;
} PF_FixedRectPoints;

// The same four corners in whole pixels.
typedef struct {
    PF_Point topLeft;
    PF_Point topRight;
    PF_Point bottomLeft;
    PF_Point bottomRight;
} PF_RectPoints;

// Rounds half away from zero to 16.16. Values beyond the 32-bit range
// saturate and NaN gives 0, so huge sizes at high zoom stay defined. A float
// argument gives what x * 65536 in single precision would: that product is exact.
inline PF_Fixed FixedFromFloat(double x) { return vfixed::FromDouble(x); }

// Truncation toward zero to a 32-bit integer, saturating, NaN -> 0.
inline A_long TruncToLong(double x) { return vfixed::SaturateWhole(std::trunc(x)); }
// 32-bit sums and differences of 16.16 values, saturating instead of wrapping.
inline A_long AddLong(A_long a, A_long b) { return vfixed::Saturate(static_cast<int64_t>(a) + b); }
inline A_long SubLong(A_long a, A_long b) { return vfixed::Saturate(static_cast<int64_t>(a) - b); }

// The window type of an event, PF_Window_NONE when the event carries no context.
PF_WindowType EventWindowType(const PF_EventExtra* extra);

// Layer point to window point, in place (through the composition in the composition window).
void Source2FramePoint(PF_InData* in_data, PF_EventExtra* extra, PF_FixedPoint* point);

// The corners of a layer-space rectangle, converted to window space.
void Source2FrameRect(PF_InData* in_data, PF_EventExtra* extra, PF_FixedRect* rect, PF_FixedRectPoints* corners);

// Turns the four corners about `centre` by `angle` radians (clockwise on screen).
// Outside Premiere the cosine and sine come from the host's ANSI suite; a missing
// suite is thrown as PF_Err_BAD_CALLBACK_PARAM.
void RotateFixedRect(PF_InData* in_data, PF_FixedRectPoints* corners, PF_FixedPoint* centre, float angle);

// Whole-pixel window point to 16.16 layer point. `window_point` and
// `layer_point` may be the same record; `layer_point` gets whole layer pixels.
void CompFrame2Layer(PF_InData* in_data, PF_EventExtra* extra, PF_Point* window_point, PF_Point* layer_point,
                     PF_FixedPoint* layer_fixed);
void LayerFrame2Layer(PF_InData* in_data, PF_EventExtra* extra, PF_Point* window_point, PF_Point* layer_point,
                      PF_FixedPoint* layer_fixed);

typedef void (*Frame2LayerFunc)(PF_InData* in_data, PF_EventExtra* extra, PF_Point* window_point,
                                PF_Point* layer_point, PF_FixedPoint* layer_fixed);
