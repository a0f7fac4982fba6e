// The effect's user-visible texts, looked up by id.
#pragma once

#include <cstdint>

#include "api/AE_Effect.h"

typedef enum {
    StrID_NONE = 0,
    StrID_Name,
    StrID_Description,
    StrID_Origin_Param_Name,
    StrID_Width_Param_Name,
    StrID_Height_Param_Name,
    StrID_Angle_Param_Name,
    StrID_Feather_Param_Name,
    StrID_Opacity_Param_Name,
    StrID_Invert_Param_Name,
    // These four texts are used nowhere in the effect, but stay: the exported
    // GetStringPtr serves the table by number, and removing them would
    // renumber every id after them.
    StrID_DependString1,
    StrID_DependString2,
    StrID_Err_LoadSuite,
    StrID_Err_FreeSuite,
    StrID_MaskType_Param_Name,
    StrID_MaskType_Choices,
    StrID_CompositeMode_Param_Name,
    StrID_CompositeMode_Choices,
    StrID_NUMTYPES
} StrIDType;

typedef struct {
    int64_t index;
    A_char str[256];
} TableString;

extern const TableString g_strs[StrID_NUMTYPES];

extern "C" {
// Exported: an id outside the table yields the empty entry 0.
__attribute__((visibility("default"))) const A_char* GetStringPtr(int strNum);
}
