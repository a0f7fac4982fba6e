#include "plugin/Vellora/Vellora_Strings.h"

const TableString g_strs[StrID_NUMTYPES] = {
    {StrID_NONE, ""},
    {StrID_Name, "Vellora"},
    {StrID_Description, "Vellora plugin for Adobe Premiere."},
    {StrID_Origin_Param_Name, "Point of origin"},
    {StrID_Width_Param_Name, "Width"},
    {StrID_Height_Param_Name, "Height"},
    {StrID_Angle_Param_Name, "Angle"},
    {StrID_Feather_Param_Name, "Feather"},
    {StrID_Opacity_Param_Name, "Opacity"},
    {StrID_Invert_Param_Name, "Invert"},
    {StrID_DependString1, "All Dependencies requested."},
    {StrID_DependString2, "Missing Dependencies requested."},
    {StrID_Err_LoadSuite, "Error loading suite."},
    {StrID_Err_FreeSuite, "Error releasing suite."},
    {StrID_MaskType_Param_Name, "Mask Type"},
    {StrID_MaskType_Choices, "Ellipse|Rectangle|"},
    {StrID_CompositeMode_Param_Name, "Composite mode"},
    {StrID_CompositeMode_Choices, "Add|Subtract|Intersect|Create"},
};

const A_char* GetStringPtr(int strNum) {
    // Anyone can call this export; never index outside the table.
    if (strNum < 0 || strNum >= StrID_NUMTYPES) {
        strNum = StrID_NONE;
    }
    return g_strs[strNum].str;
}
