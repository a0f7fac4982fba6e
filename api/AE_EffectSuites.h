// Effect suites handed out by the host's basic suite.
#pragma once

#include "api/AE_Effect.h"
#include "api/AE_EffectUI.h"
#include "api/DrawbotSuites.h"

extern "C" {

// Premiere pixel formats: four-character codes, first character in the lowest byte.
typedef A_long PrPixelFormat;
#define MAKE_PIXEL_FORMAT_FOURCC(ch0, ch1, ch2, ch3)                                              \
    ((A_long)(((A_u_long)(A_u_char)(ch0)) | ((A_u_long)(A_u_char)(ch1) << 8) |                   \
              ((A_u_long)(A_u_char)(ch2) << 16) | ((A_u_long)(A_u_char)(ch3) << 24)))
enum {
    PrPixelFormat_BGRA_4444_8u = 0x61726762,   // 'bgra'
    PrPixelFormat_BGRA_4444_32f = 0x61724742,  // 'BGra'
    PrPixelFormat_VUYA_4444_8u = 0x61797576,   // 'vuya'
    PrPixelFormat_ARGB_4444_8u = 0x61726761    // 'agra'
};

// Application id of Premiere, first character in the highest byte.
#define PF_APPL_ID_PREMIERE 0x50724d72  // 'PrMr'

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1
#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion1 1
#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate8SuiteVersion1 1
#define kPFIterate16Suite "PF iterate16 Suite"
#define kPFIterate16SuiteVersion1 1
#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1
#define kPFEffectCustomUIOverlayThemeSuite "PF Effect Custom UI Overlay Theme Suite"
#define kPFEffectCustomUIOverlayThemeSuiteVersion1 1

typedef PF_ANSICallbacks PF_ANSICallbacksSuite1;

typedef struct PF_PixelFormatSuite1 {
    PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
    PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
    PF_Err (*GetPixelFormat)(PF_EffectWorld* inWorld, PrPixelFormat* pixelFormat);
} PF_PixelFormatSuite1;

typedef PF_Err (*PF_IteratePixel8Func)(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
typedef PF_Err (*PF_IteratePixel16Func)(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);

typedef struct PF_Iterate8Suite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
} PF_Iterate8Suite1;

typedef struct PF_iterate16Suite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
} PF_iterate16Suite1;

typedef struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_contextH, DRAWBOT_DrawRef* referenceP0);
} PF_EffectCustomUISuite1;

typedef struct PF_EffectCustomUIOverlayThemeSuite1 {
    PF_Err (*PF_StrokePath)(const DRAWBOT_DrawRef drawbot_ref, const DRAWBOT_PathRef path_ref,
                            PF_Boolean draw_shadowB);
} PF_EffectCustomUIOverlayThemeSuite1;

}  // extern "C"
