// Records, codes and callbacks of the After Effects effect interface, as far as
// Vellora and its reference host use them. Names follow the host API; layouts
// are this project's own.
#pragma once

#include <cstdint>

#include "api/SPBasic.h"

extern "C" {

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef uint8_t PF_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef intptr_t A_intptr_t;

typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_Fixed;  // 16.16 fixed point, 65536 = 1.0
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_OutFlags;
typedef A_long PF_ChangeFlags;
typedef void* PF_ProgPtr;  // the host's reference to one effect instance
typedef void* PF_PixelPtr;

enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517,
    PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518
};

enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
    PF_Cmd_AUDIO_RENDER = 19,
    PF_Cmd_AUDIO_SETUP = 20,
    PF_Cmd_AUDIO_SETDOWN = 21,
    PF_Cmd_ARBITRARY_CALLBACK = 22,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24
};

enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,
    PF_OutFlag_PIX_INDEPENDENT = 1L << 10,
    PF_OutFlag_CUSTOM_UI = 1L << 15,
    PF_OutFlag_DEEP_COLOR_AWARE = 1L << 25,
    PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1L << 26
};

enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };

// Packed version: version bits 19-21, subversion 15-18, bugfix 11-14, stage 9-10, build 0-8.
#define PF_VERSION(VERS, SUBVERS, BUGVERS, STAGE, BUILD)                                         \
    ((((A_u_long)(VERS) & 0x7u) << 19) | (((A_u_long)(SUBVERS) & 0xFu) << 15) |                \
     (((A_u_long)(BUGVERS) & 0xFu) << 11) | (((A_u_long)(STAGE) & 0x3u) << 9) |                \
     ((A_u_long)(BUILD) & 0x1FFu))

enum {
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_CUSTOM = 8,
    PF_Param_NO_DATA = 9,
    PF_Param_FLOAT_SLIDER = 10
};
typedef A_long PF_ParamType;

enum {
    PF_ParamFlag_RESERVED1 = 1L << 0,
    PF_ParamFlag_CANNOT_TIME_VARY = 1L << 1,
    PF_ParamFlag_CANNOT_INTERP = 1L << 2
};
typedef A_long PF_ParamFlags;

enum { PF_ValueDisplayFlag_NONE = 0, PF_ValueDisplayFlag_PERCENT = 1, PF_ValueDisplayFlag_PIXEL = 2 };
enum { PF_ChangeFlag_NONE = 0, PF_ChangeFlag_CHANGED_VALUE = 1 };
enum { PF_WorldFlag_DEEP = 1L << 0, PF_WorldFlag_WRITEABLE = 1L << 1 };
typedef A_long PF_WorldFlags;

#define PF_MAX_EFFECT_NAME_LEN 31
#define PF_MAX_EFFECT_MSG_LEN 255
#define PF_MAX_PARAM_NAME_LEN 31
#define PF_MAX_PARAM_DESCRIPTION_LEN 31
#define PF_MAX_PARAM_VALUE_LEN 31

typedef struct {
    A_long num;
    A_u_long den;
} PF_RationalScale;

typedef struct {
    A_long h, v;
} PF_Point;

typedef struct {
    PF_Fixed x, y;
} PF_FixedPoint;

typedef struct {
    A_long left, top, right, bottom;
} PF_Rect;
typedef PF_Rect PF_LRect;

typedef struct {
    PF_Fixed left, top, right, bottom;
} PF_FixedRect;

// 8-bit ARGB pixel; also carries Premiere's 8-bit BGRA bytes, addressed by position.
typedef struct {
    A_u_char alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

// 16-bit ARGB pixel, full scale 32768.
typedef struct {
    A_u_short alpha, red, green, blue;
} PF_Pixel16;

typedef struct {
    PF_FpShort alpha, red, green, blue;
} PF_PixelFloat;

typedef struct PF_LayerDef {
    PF_WorldFlags world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    PF_RationalScale pix_aspect_ratio;
    A_long origin_x;
    A_long origin_y;
    A_long platform_ref;
    PF_Pixel dephault;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

typedef struct {
    PF_ParamValue value;
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr;
    } u;
} PF_PopupDef;

typedef struct {
    PF_ParamValue value;
    PF_Boolean dephault;
    union {
        const A_char* nameptr;
    } u;
} PF_CheckBoxDef;

typedef struct {
    PF_Fixed x_value;
    PF_Fixed y_value;
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault;
    PF_Fixed y_dephault;
} PF_PointDef;

typedef struct {
    PF_FpLong value;
    PF_FpShort valid_min, valid_max;
    PF_FpShort slider_min, slider_max;
    PF_FpShort dephault;
    A_short precision;
    A_short display_flags;
    A_u_long fs_flags;
    PF_FpShort curve_tolerance;
} PF_FloatSliderDef;

typedef struct {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
} PF_AngleDef;

typedef struct {
    PF_Fixed value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    A_short precision;
    A_short display_flags;
} PF_FixedSliderDef;

typedef union {
    PF_LayerDef ld;
    PF_PopupDef pd;
    PF_PointDef td;
    PF_FloatSliderDef fs_d;
    PF_AngleDef ad;
    PF_FixedSliderDef fd;
    PF_CheckBoxDef bd;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    // The id while parameters are declared; the change flags while they are edited.
    union {
        A_long id;
        PF_ChangeFlags change_flags;
    } uu;
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
    A_long ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamFlags flags;
    PF_ParamDefUnion u;
} PF_ParamDef, *PF_ParamDefPtr, **PF_ParamDefH;
typedef PF_ParamDef* PF_ParamList[];

enum { PF_CustomEFlag_NONE = 0, PF_CustomEFlag_COMP = 1L << 0, PF_CustomEFlag_LAYER = 1L << 1, PF_CustomEFlag_EFFECT = 1L << 2 };
enum { PF_UIAlignment_NONE = 0, PF_UIAlignment_TOP = 1, PF_UIAlignment_LEFT = 2, PF_UIAlignment_BOTTOM = 4, PF_UIAlignment_RIGHT = 8 };

typedef struct {
    A_long events;
    A_short comp_ui_width, comp_ui_height;
    A_long comp_ui_alignment;
    A_short layer_ui_width, layer_ui_height;
    A_long layer_ui_alignment;
    A_short preview_ui_width, preview_ui_height;
    A_long preview_ui_alignment;
    A_long reserved[10];
} PF_CustomUIInfo;

typedef struct {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* cust_info);
} PF_InteractCallbacks;

// The maths and string callbacks a host hands out both in PF_InData and as "PF ANSI Suite".
typedef struct {
    A_FpLong (*atan)(A_FpLong);
    A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
    A_FpLong (*ceil)(A_FpLong);
    A_FpLong (*cos)(A_FpLong);
    A_FpLong (*exp)(A_FpLong);
    A_FpLong (*fabs)(A_FpLong);
    A_FpLong (*floor)(A_FpLong);
    A_FpLong (*fmod)(A_FpLong x, A_FpLong y);
    A_FpLong (*hypot)(A_FpLong x, A_FpLong y);
    A_FpLong (*log)(A_FpLong);
    A_FpLong (*log10)(A_FpLong);
    A_FpLong (*pow)(A_FpLong x, A_FpLong y);
    A_FpLong (*sin)(A_FpLong);
    A_FpLong (*sqrt)(A_FpLong);
    A_FpLong (*tan)(A_FpLong);
    int (*sprintf)(A_char*, const A_char*, ...);
    A_char* (*strcpy)(A_char*, const A_char*);
    A_FpLong (*asin)(A_FpLong);
    A_FpLong (*acos)(A_FpLong);
} PF_ANSICallbacks;

typedef struct {
    PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    A_long quality;
    A_u_long version;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    A_long in_flags;
    void* global_data;
    void* sequence_data;
    void* frame_data;
    SPBasicSuite* pica_basicP;
} PF_InData;

typedef struct PF_OutData {
    A_u_long my_version;
    A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
    void* global_data;
    A_long num_params;
    void* sequence_data;
    A_long flat_sdata_size;
    void* frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    PF_OutFlags out_flags2;
} PF_OutData;

}  // extern "C"
