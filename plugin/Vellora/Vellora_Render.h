// The pixel callbacks the render command hands to the host's iterate suites,
// and the plug-in's own loop for Premiere's float frames. Declared here only so
// the tests can call them directly.
#pragma once

#include "plugin/Vellora/Vellora_Frame.h"

// The pixel pass a frame is prepared for: each needs its own shortcuts.
enum RenderPass { kPassArgb8, kPassBgra8, kPassArgb16, kPassFloat };

// Builds the record the callbacks and the float loop take as refcon: the
// frame's VignetteInfo and the shortcuts its pass uses (tables kept in
// `tables`): row spans and the rectangle's ramps for every pass; for the 8-bit
// passes the results outside and in the core by source alpha, placed in the
// pass's alpha byte, the ellipse's band cells as strengths and the rectangle's
// bytes by whole distance and alpha; for 16 bits the zones' results, the band
// cells' rows and the ellipse's ramp bound and curve chords, and given the
// pass's 16-bit `source` and `destination` layers the band's row results.
// `cellBoundScale` scales the cells' and the 16-bit band's bounds (anything
// but 1 is for tests).
void PrepareRenderFrame(const VignetteInfo& info, A_long width, A_long height, VignetteTables& tables,
                        VignetteFrame* frame, RenderPass pass, double cellBoundScale = 1.0,
                        const PF_LayerDef* source = nullptr, const PF_LayerDef* destination = nullptr);

// The callbacks take a VignetteFrame as refcon.
// After Effects 8-bit ARGB.
PF_Err Blend_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
// After Effects 16-bit ARGB, full scale 32768.
PF_Err Blend_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);
// Premiere 8-bit BGRA: alpha is byte 3, blue, green, red bytes 0 to 2.
PF_Err Blend_BGRA_4444_8u(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);

// The same results from an instance made for the frame's shape, composite mode
// and falloff, chosen once per frame rather than switched per pixel.
PF_IteratePixel8Func ChooseBlend8(const VignetteFrame& frame);
PF_IteratePixel8Func ChooseBlendBGRA8(const VignetteFrame& frame);
PF_IteratePixel16Func ChooseBlend16(const VignetteFrame& frame);

// Premiere 32-bit float BGRA: walks `rows` rows from the first row of each
// buffer, covering only the rows and columns both buffers hold. A buffer
// without pixel data is refused with PF_Err_BAD_CALLBACK_PARAM.
PF_Err RenderFloatRows(const VignetteFrame* frame, const PF_LayerDef* input, PF_LayerDef* output, A_long rows);
