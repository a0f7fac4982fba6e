#include "plugin/Vellora/Vellora.h"

#include <cstring>
#include <new>

#include "plugin/Util/AEFX_SuiteHelper.h"
#include "plugin/Util/AEGP_SuiteHandler.h"
#include "plugin/Vellora/Vellora_Strings.h"

namespace {

const A_char kFalloffName[] = "Alpha falloff";
const A_char kFalloffChoices[] = "Linear|Quadratic|Cubic|Gamma 2.2|Gaussian|Exponential";
const A_char kInvertText[] = "Invert mask";

const PF_Fixed kFixedOne = 65536;

bool NeedsRecords(PF_Cmd cmd) {
    return cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_PARAMS_SETUP ||
           cmd == PF_Cmd_RENDER || cmd == PF_Cmd_EVENT;
}

void SetFloatSlider(PF_ParamDef& def, float dephault) {
    def.param_type = PF_Param_FLOAT_SLIDER;
    def.u.fs_d.valid_min = 0.0f;
    def.u.fs_d.valid_max = 15000.0f;
    def.u.fs_d.slider_min = 0.0f;
    def.u.fs_d.slider_max = 15000.0f;
    def.u.fs_d.value = dephault;
    def.u.fs_d.dephault = dephault;
    def.u.fs_d.precision = 1;
    def.u.fs_d.display_flags = 0;
    def.u.fs_d.fs_flags = 0;
    def.u.fs_d.curve_tolerance = 0.05f;
}

}  // namespace

bool ParamsPresent(PF_ParamDef** params) {
    if (!params) return false;
    for (int i = PARAM_MASK_TYPE; i < PARAM_COUNT; ++i) {
        if (!params[i]) return false;
    }
    return true;
}

PF_Err About(PF_InData* in_data, PF_OutData* out_data) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    suites.ANSICallbacksSuite1()->sprintf(out_data->return_msg, "%s v%d.%d\r%s", GetStringPtr(StrID_Name),
                                          VELLORA_MAJOR_VERSION, VELLORA_MINOR_VERSION,
                                          GetStringPtr(StrID_Description));
    return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
    out_data->my_version = PF_VERSION(VELLORA_MAJOR_VERSION, VELLORA_MINOR_VERSION, VELLORA_BUG_VERSION,
                                      VELLORA_STAGE_VERSION, VELLORA_BUILD_VERSION);
    out_data->out_flags = PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_CUSTOM_UI | PF_OutFlag_DEEP_COLOR_AWARE |
                          PF_OutFlag_SEND_UPDATE_PARAMS_UI;
    if (in_data->appl_id != PF_APPL_ID_PREMIERE) {
        return PF_Err_NONE;
    }
    AEFX_SuiteScope<PF_PixelFormatSuite1> pixel_formats(in_data, out_data, kPFPixelFormatSuite,
                                                       kPFPixelFormatSuiteVersion1);
    if (!pixel_formats.Get()) {
        return PF_Err_NONE;
    }
    // Float first: Premiere picks the first format it can supply.
    (void)pixel_formats->ClearSupportedPixelFormats(in_data->effect_ref);
    (void)pixel_formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_32f);
    (void)pixel_formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
    return PF_Err_NONE;
}

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
    // A host without these callbacks cannot take parameters; fail before declaring any.
    if (!in_data->inter.add_param || !in_data->inter.register_ui || !in_data->utils ||
        !in_data->utils->ansi.strcpy) {
        return PF_Err_INVALID_CALLBACK;
    }
    PF_Err err = PF_Err_NONE;
    PF_ParamDef def;
    const auto add = [&]() { return in_data->inter.add_param(in_data->effect_ref, -1, &def); };
    const auto name = [&](const A_char* text) { in_data->utils->ansi.strcpy(def.name, text); };

    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_POPUP;
    def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
    def.u.pd.num_choices = 2;
    def.u.pd.dephault = MASK_ELLIPSE;
    def.u.pd.value = MASK_ELLIPSE;
    name(GetStringPtr(StrID_MaskType_Param_Name));
    def.u.pd.u.namesptr = GetStringPtr(StrID_MaskType_Choices);
    def.uu.id = MASK_TYPE_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_POPUP;
    def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
    def.u.pd.num_choices = 4;
    def.u.pd.dephault = COMPOSITE_CREATE;
    def.u.pd.value = COMPOSITE_CREATE;
    name(GetStringPtr(StrID_CompositeMode_Param_Name));
    def.u.pd.u.namesptr = GetStringPtr(StrID_CompositeMode_Choices);
    def.uu.id = COMPOSITE_MODE_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    // The point's default is in percent of the layer: its centre.
    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_POINT;
    def.u.td.x_value = def.u.td.x_dephault = 50 * kFixedOne;
    def.u.td.y_value = def.u.td.y_dephault = 50 * kFixedOne;
    def.u.td.restrict_bounds = 0;
    name(GetStringPtr(StrID_Origin_Param_Name));
    def.uu.id = ORIGIN_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    SetFloatSlider(def, kDefaultWidth);
    name(GetStringPtr(StrID_Width_Param_Name));
    def.uu.id = WIDTH_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    SetFloatSlider(def, kDefaultHeight);
    name(GetStringPtr(StrID_Height_Param_Name));
    def.uu.id = HEIGHT_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_ANGLE;
    def.u.ad.value = 0;
    def.u.ad.dephault = 0;
    name(GetStringPtr(StrID_Angle_Param_Name));
    def.uu.id = ANGLE_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    SetFloatSlider(def, 0.0f);
    name(GetStringPtr(StrID_Feather_Param_Name));
    def.uu.id = FEATHER_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_FIX_SLIDER;
    def.u.fd.valid_min = 0;
    def.u.fd.valid_max = 100 * kFixedOne;
    def.u.fd.slider_min = 0;
    def.u.fd.slider_max = 100 * kFixedOne;
    def.u.fd.value = 100 * kFixedOne;
    def.u.fd.dephault = 100 * kFixedOne;
    def.u.fd.precision = 1;
    def.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    name(GetStringPtr(StrID_Opacity_Param_Name));
    def.uu.id = OPACITY_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_CHECKBOX;
    def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
    def.u.bd.value = 0;
    def.u.bd.dephault = 0;
    def.u.bd.u.nameptr = kInvertText;
    name(GetStringPtr(StrID_Invert_Param_Name));
    def.uu.id = INVERT_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_POPUP;
    def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
    def.u.pd.num_choices = 6;
    def.u.pd.dephault = FALLOFF_LINEAR;
    def.u.pd.value = FALLOFF_LINEAR;
    name(kFalloffName);
    def.u.pd.u.namesptr = kFalloffChoices;
    def.uu.id = FALLOFF_ID;
    if ((err = add()) != PF_Err_NONE) return err;

    PF_CustomUIInfo ui;
    std::memset(&ui, 0, sizeof(ui));
    ui.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER;
    err = in_data->inter.register_ui(in_data->effect_ref, &ui);
    out_data->num_params = PARAM_COUNT;
    return err;
}

extern "C" PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output, void* extra) {
    PF_Err err = PF_Err_NONE;
    if (NeedsRecords(cmd) && (!in_data || !out_data)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // Nothing may unwind into the host: it would take the host and the user's work down.
    try {
        switch (cmd) {
            case PF_Cmd_ABOUT:
                err = About(in_data, out_data);
                break;
            case PF_Cmd_GLOBAL_SETUP:
                err = GlobalSetup(in_data, out_data);
                break;
            case PF_Cmd_PARAMS_SETUP:
                err = ParamsSetup(in_data, out_data);
                break;
            case PF_Cmd_RENDER:
                err = Render(in_data, out_data, params, output);
                break;
            case PF_Cmd_EVENT:
                err = HandleEvent(in_data, out_data, params, output, static_cast<PF_EventExtra*>(extra));
                break;
            default:
                break;
        }
    } catch (PF_Err thrown_err) {
        err = thrown_err;
    } catch (const std::bad_alloc&) {
        err = PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return err;
}
