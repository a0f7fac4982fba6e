// Overlay events of the effect's custom user interface.
#pragma once

#include "api/AE_Effect.h"

extern "C" {

enum {
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE = 1,
    PF_Event_DO_CLICK = 2,
    PF_Event_DRAG = 3,
    PF_Event_DRAW = 4,
    PF_Event_DEACTIVATE = 5,
    PF_Event_CLOSE_CONTEXT = 6,
    PF_Event_IDLE = 7,
    PF_Event_ADJUST_CURSOR = 8,
    PF_Event_KEYDOWN = 9,
    PF_Event_MOUSE_EXITED = 10
};
typedef A_long PF_EventType;

enum { PF_Window_NONE = -1, PF_Window_COMP = 0, PF_Window_LAYER = 1, PF_Window_EFFECT = 2 };
typedef A_long PF_WindowType;

enum { PF_EO_NONE = 0, PF_EO_HANDLED_EVENT = 1L << 0, PF_EO_ALWAYS_UPDATE = 1L << 1, PF_EO_NEVER_UPDATE = 1L << 2 };
typedef A_long PF_EventOutFlags;

typedef struct {
    A_long magic;
    PF_WindowType w_type;
    A_long reserved_flt;
    A_long plugin_state[4];
    void* reserved_drawref;
    void* reserved_paneP;
} PF_Context, *PF_ContextP, **PF_ContextH;

typedef struct {
    A_u_long when;
    PF_Point screen_point;
    A_long num_clicks;
    A_long modifiers;
    A_intptr_t continue_refcon[4];
    PF_Boolean send_drag;
    PF_Boolean last_time;
} PF_DoClickEventInfo;

typedef struct {
    PF_Rect update_rect;
    A_long depth;
} PF_DrawEventInfo;

typedef union {
    PF_DoClickEventInfo do_click;
    PF_DrawEventInfo draw;
} PF_EventUnion;

typedef struct {
    void* refcon;
    PF_Err (*layer_to_comp)(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*comp_to_layer)(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*source_to_frame)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
    PF_Err (*frame_to_source)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
} PF_EventCallbacks;

typedef struct PF_EventExtra {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EventCallbacks cbs;
    PF_EventOutFlags evt_out_flags;
} PF_EventExtra;

}  // extern "C"
