// Vellora's on-screen overlay: the handle layout (Vellora_UI_Layout.cpp), its
// drawing (Vellora_UI_Draw.cpp), the click (Vellora_UI.cpp, beside the event
// routing) and the drag (Vellora_UI_Drag.cpp). What they share stands here.
#pragma once

#include <cstdint>

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

// The opacity track: a vertical line kLeft window pixels left of the centre,
// from kHalf above it to kHalf below. One unit of opacity is one window pixel,
// so the level keeps its distance from the centre at every zoom; 100 is the top.
struct OpacityTrack {
    static constexpr int kLeft = 40;
    static constexpr int kHalf = 50;
    static constexpr int kFull = 2 * kHalf;  // the opacity at the top end
};
// The opacity (16.16) whose level on the track is `level_y`, for a window-space
// centre; not kept to 0..100.
int64_t OpacityAtLevel(PF_Fixed centre_y, PF_Fixed level_y);

// The mask's full extent (outer) and its feather-inset frame (inner), 16.16 layer space.
void FixedFrameFromParams(PF_InData* in_data, PF_ParamDef** params, PF_FixedRect* outer_frame,
                          PF_FixedRect* inner_frame);

constexpr double kDegreesToRadians = 0.017453292519943295;
// The angle parameter in radians, single precision.
float AngleRadians(PF_ParamDef** params);
// Pixel aspect ratio num / den, single precision: layer pixels to square-pixel units.
float PixelAspect(const PF_InData* in_data);

// Where everything sits, computed once per event from the parameters and the
// window: drawing rounds the corners to pixels, hit-testing floors the handles.
struct OverlayLayout {
    PF_FixedPoint origin;       // the mask centre, 16.16 layer space
    PF_FixedPoint centre;       // the same in the window
    float angle;                // radians
    PF_FixedRectPoints outer;   // turned frame corners, 16.16 window space
    PF_FixedRectPoints inner;
    PF_FixedPoint handles[HANDLE_COUNT + 1];  // index = OverlayHandle; 0 holds the centre
};
// Outside Premiere the turning of the frames acquires the host's ANSI suite.
OverlayLayout ComputeOverlayLayout(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra);

// Window type 0 (composition) and 1 (layer) are the overlay's; -1 and up from 2 are not.
inline bool IsOverlayWindow(PF_WindowType w_type) { return static_cast<A_u_long>(w_type) <= PF_Window_LAYER; }

// The event entries HandleEvent routes to; each touches the event only in the
// composition and layer windows. Each returns PF_Err_NONE, as the host's
// event handlers do: what the drawing or drag met is not an error of the event.
PF_Err DrawEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                 PF_EventExtra* extra);
PF_Err DoClick(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
               PF_EventExtra* extra);
PF_Err DoDrag(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
              PF_EventExtra* extra);
