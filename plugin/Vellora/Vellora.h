// Vellora: a parametric soft mask that rewrites a layer's alpha.
#pragma once

#include "api/AE_Effect.h"
#include "api/AE_EffectSuites.h"
#include "api/AE_EffectUI.h"
#include "api/FixedPoint.h"

#define VELLORA_MAJOR_VERSION 1
#define VELLORA_MINOR_VERSION 0
#define VELLORA_BUG_VERSION 0
#define VELLORA_STAGE_VERSION PF_Stage_DEVELOP
#define VELLORA_BUILD_VERSION 1

// Positions in the host's parameter array.
enum {
    PARAM_INPUT = 0,
    PARAM_MASK_TYPE,
    PARAM_COMPOSITE_MODE,
    PARAM_ORIGIN,
    PARAM_WIDTH,
    PARAM_HEIGHT,
    PARAM_ANGLE,
    PARAM_FEATHER,
    PARAM_OPACITY,
    PARAM_INVERT,
    PARAM_FALLOFF,
    PARAM_COUNT
};

// Ids saved with projects; they differ from the indices and must never change.
enum {
    ORIGIN_ID = 1,
    MASK_TYPE_ID = 2,
    WIDTH_ID = 3,
    HEIGHT_ID = 4,
    ANGLE_ID = 5,
    FEATHER_ID = 6,
    OPACITY_ID = 7,
    COMPOSITE_MODE_ID = 8,
    INVERT_ID = 9,
    FALLOFF_ID = 10
};

// Popup values are 1-based, as the host delivers them.
enum MaskType { MASK_ELLIPSE = 1, MASK_RECTANGLE = 2 };
enum CompositeMode { COMPOSITE_ADD = 1, COMPOSITE_SUBTRACT = 2, COMPOSITE_INTERSECT = 3, COMPOSITE_CREATE = 4 };
enum FalloffCurve {
    FALLOFF_LINEAR = 1,
    FALLOFF_QUADRATIC = 2,
    FALLOFF_CUBIC = 3,
    FALLOFF_GAMMA = 4,
    FALLOFF_GAUSSIAN = 5,
    FALLOFF_EXPONENTIAL = 6
};

// The size sliders' defaults, in full-resolution pixels; the parameter set-up
// declares them and the mask record starts from them.
constexpr float kDefaultWidth = 300.0f;
constexpr float kDefaultHeight = 200.0f;
// Width, Height and Feather range over 0 to this, in full-resolution pixels:
// the sliders declare it and the overlay's drags keep to it.
constexpr float kMaxSize = 15000.0f;

// Whether the host passed the array and every declared parameter after the
// input layer; render and the overlay read them without a check-out.
bool ParamsPresent(PF_ParamDef** params);

extern "C" {
// The single door through which the host reaches the effect.
__attribute__((visibility("default"))) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                                             PF_ParamDef* params[], PF_LayerDef* output, void* extra);
}

// Command handlers (Vellora.cpp, Vellora_Render.cpp, Vellora_UI.cpp).
PF_Err About(PF_InData* in_data, PF_OutData* out_data);
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err HandleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   PF_EventExtra* extra);
