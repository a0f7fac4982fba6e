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

bool NeedsRecords(PF_Cmd cmd) {
    return cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_PARAMS_SETUP ||
           cmd == PF_Cmd_RENDER || cmd == PF_Cmd_EVENT;
}

// Declares one parameter at a time, appended after the ones before it: each
// call clears the record, lets the kind fill its fields, names it and adds it.
class ParamDeclarer {
public:
    explicit ParamDeclarer(PF_InData* in_data) : in_data_(in_data) {}

    PF_Err Popup(const A_char* name, A_long id, A_short num_choices, A_short dephault, const A_char* choices) {
        Clear(PF_Param_POPUP, PF_ParamFlag_CANNOT_TIME_VARY);
        def_.u.pd.num_choices = num_choices;
        def_.u.pd.dephault = dephault;
        def_.u.pd.value = dephault;
        def_.u.pd.u.namesptr = choices;
        return Add(name, id);
    }

    // The default is in percent of the layer.
    PF_Err Point(const A_char* name, A_long id, A_long percent) {
        Clear(PF_Param_POINT, 0);
        def_.u.td.x_value = def_.u.td.x_dephault = vfixed::FromInt(percent);
        def_.u.td.y_value = def_.u.td.y_dephault = vfixed::FromInt(percent);
        def_.u.td.restrict_bounds = 0;
        return Add(name, id);
    }

    // A size in full-resolution pixels, 0 to kMaxSize, shown with one decimal.
    PF_Err Size(const A_char* name, A_long id, float dephault) {
        Clear(PF_Param_FLOAT_SLIDER, 0);
        def_.u.fs_d.valid_min = 0.0f;
        def_.u.fs_d.valid_max = kMaxSize;
        def_.u.fs_d.slider_min = 0.0f;
        def_.u.fs_d.slider_max = kMaxSize;
        def_.u.fs_d.value = dephault;
        def_.u.fs_d.dephault = dephault;
        def_.u.fs_d.precision = 1;
        def_.u.fs_d.display_flags = 0;
        def_.u.fs_d.fs_flags = 0;
        def_.u.fs_d.curve_tolerance = 0.05f;
        return Add(name, id);
    }

    PF_Err Angle(const A_char* name, A_long id) {
        Clear(PF_Param_ANGLE, 0);
        def_.u.ad.value = 0;
        def_.u.ad.dephault = 0;
        return Add(name, id);
    }

    // A percentage, 0 to 100, shown with one decimal and the percent sign.
    PF_Err Percent(const A_char* name, A_long id, A_long dephault) {
        Clear(PF_Param_FIX_SLIDER, 0);
        def_.u.fd.valid_min = 0;
        def_.u.fd.valid_max = vfixed::FromInt(100);
        def_.u.fd.slider_min = 0;
        def_.u.fd.slider_max = vfixed::FromInt(100);
        def_.u.fd.value = vfixed::FromInt(dephault);
        def_.u.fd.dephault = vfixed::FromInt(dephault);
        def_.u.fd.precision = 1;
        def_.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
        return Add(name, id);
    }

    PF_Err Checkbox(const A_char* name, A_long id, const A_char* text) {
        Clear(PF_Param_CHECKBOX, PF_ParamFlag_CANNOT_TIME_VARY);
        def_.u.bd.value = 0;
        def_.u.bd.dephault = 0;
        def_.u.bd.u.nameptr = text;
        return Add(name, id);
    }

private:
    void Clear(PF_ParamType type, PF_ParamFlags flags) {
        std::memset(&def_, 0, sizeof(def_));
        def_.param_type = type;
        def_.flags = flags;
    }

    PF_Err Add(const A_char* name, A_long id) {
        in_data_->utils->ansi.strcpy(def_.name, name);
        def_.uu.id = id;
        return in_data_->inter.add_param(in_data_->effect_ref, -1, &def_);
    }

    PF_InData* in_data_;
    PF_ParamDef def_;
};

// The parameters after the input layer, in index order; the first refusal ends it.
PF_Err DeclareParams(PF_InData* in_data) {
    ParamDeclarer d(in_data);
    PF_Err err = d.Popup(GetStringPtr(StrID_MaskType_Param_Name), MASK_TYPE_ID, 2, MASK_ELLIPSE,
                         GetStringPtr(StrID_MaskType_Choices));
    if (!err) {
        err = d.Popup(GetStringPtr(StrID_CompositeMode_Param_Name), COMPOSITE_MODE_ID, 4, COMPOSITE_CREATE,
                      GetStringPtr(StrID_CompositeMode_Choices));
    }
    if (!err) err = d.Point(GetStringPtr(StrID_Origin_Param_Name), ORIGIN_ID, 50);
    if (!err) err = d.Size(GetStringPtr(StrID_Width_Param_Name), WIDTH_ID, kDefaultWidth);
    if (!err) err = d.Size(GetStringPtr(StrID_Height_Param_Name), HEIGHT_ID, kDefaultHeight);
    if (!err) err = d.Angle(GetStringPtr(StrID_Angle_Param_Name), ANGLE_ID);
    if (!err) err = d.Size(GetStringPtr(StrID_Feather_Param_Name), FEATHER_ID, 0.0f);
    if (!err) err = d.Percent(GetStringPtr(StrID_Opacity_Param_Name), OPACITY_ID, 100);
    if (!err) err = d.Checkbox(GetStringPtr(StrID_Invert_Param_Name), INVERT_ID, kInvertText);
    if (!err) err = d.Popup(kFalloffName, FALLOFF_ID, 6, FALLOFF_LINEAR, kFalloffChoices);
    return err;
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
    PF_Err err = DeclareParams(in_data);
    if (err != PF_Err_NONE) return err;

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
