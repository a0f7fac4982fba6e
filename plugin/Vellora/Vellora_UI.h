// Vellora's on-screen overlay: the mask frame and handle layout, the drawing,
// and the click-and-drag editing of the parameters.
#pragma once

#include "plugin/Vellora/Vellora.h"
#include "plugin/utils/UI_methods.h"

// The handles, numbered as a click records them for the drag that follows.
enum OverlayHandle {
    HANDLE_NONE = 0,
    HANDLE_TOP_LEFT = 1,
    HANDLE_TOP_RIGHT = 2,
    HANDLE_BOTTOM_LEFT = 3,
    HANDLE_BOTTOM_RIGHT = 4,
    HANDLE_ROTATION = 5,
    HANDLE_FEATHER_LEFT = 6,
    HANDLE_FEATHER_RIGHT = 7,
    HANDLE_FEATHER_TOP = 8,
    HANDLE_FEATHER_BOTTOM = 9,
    HANDLE_OPACITY = 10,
    HANDLE_COUNT = 10
};

// Manhattan reach of a click, in whole window pixels.
#define VELLORA_HIT_TOLERANCE 15

// The mask's full extent (outer) and its feather-inset frame (inner), 16.16 layer space.
void FixedFrameFromParams(PF_InData* in_data, PF_ParamDef** params, PF_FixedRect* outer_frame,
                          PF_FixedRect* inner_frame);

// The angle parameter in radians, single precision.
float AngleRadians(PF_ParamDef** params);

// The rotation handle in 16.16 layer space: a fifth of the layer height from
// the centre, along the turned vertical axis.
PF_FixedPoint RotationHandleLayerPoint(PF_InData* in_data, PF_ParamDef** params, float angle);

// Where the ten handles sit in the window, 16.16 (index = OverlayHandle; 0 unused).
struct OverlayLayout {
    PF_FixedPoint centre;
    PF_FixedRectPoints outer;
    PF_FixedRectPoints inner;
    PF_FixedPoint handles[HANDLE_COUNT + 1];
};
void ComputeOverlayLayout(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra, OverlayLayout* layout);

// Draw events: only the composition and layer windows get an overlay.
PF_Err DrawEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                 PF_EventExtra* extra);
void DrawHandles(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* extra);

// Clicks: grabbing a handle starts a drag gesture carried in the click record.
PF_Err DoClick(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
               PF_EventExtra* extra);
bool DoClickHandles(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra);

// Drags: the grabbed handle's parameter follows the mouse.
PF_Err DoDrag(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
              PF_EventExtra* extra);
bool DoDragHandles(PF_InData* in_data, PF_ParamDef** params, Frame2LayerFunc conversion, PF_EventExtra* extra);
