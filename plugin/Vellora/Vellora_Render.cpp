#include "plugin/Vellora/Vellora_Render.h"

#include "plugin/Util/AEFX_SuiteHelper.h"
#include "plugin/Util/AEGP_SuiteHandler.h"
#include "plugin/Vellora/Vellora.h"

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    if (!ParamsPresent(params) || !output || !params[PARAM_INPUT]) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }

    VignetteInfo info;
    FillVignetteInfo(VignetteParamsFromHost(in_data, params), &info);
    // The pass's shortcuts, once the pass is known.
    PF_LayerDef* const input = &params[PARAM_INPUT]->u.ld;
    VignetteTables tables;
    VignetteFrame vi;
    const auto prepare = [&](RenderPass pass) {
        PrepareRenderFrame(info, output->width, output->height, tables, &vi, pass, 1.0, input, output);
    };

    const A_long rows = output->extent_hint.bottom - output->extent_hint.top;

    if (in_data->appl_id == PF_APPL_ID_PREMIERE) {
        // Given back on every way out, also when the pass throws (a missing iterate suite).
        AEFX_SuiteScope<PF_PixelFormatSuite1> pixel_formats(in_data, out_data, kPFPixelFormatSuite,
                                                           kPFPixelFormatSuiteVersion1);
        if (pixel_formats.Error() != PF_Err_NONE) {
            return pixel_formats.Error();
        }
        PrPixelFormat format = PrPixelFormat_BGRA_4444_8u;
        // Without a format the world's layout is unknown; writing it as 8-bit would wreck a float frame.
        const PF_Err format_err = pixel_formats->GetPixelFormat(output, &format);
        if (format_err != PF_Err_NONE) {
            return format_err;
        }

        PF_Err err = PF_Err_NONE;
        if (format == PrPixelFormat_BGRA_4444_32f) {
            prepare(kPassFloat);
            err = RenderFloatRows(&vi, input, output, rows);
        } else if (format == PrPixelFormat_BGRA_4444_8u) {
            prepare(kPassBgra8);
            err = suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, ChooseBlendBGRA8(vi),
                                                   output);
        } else {
            err = PF_Err_UNRECOGNIZED_PARAM_TYPE;
        }
        const PF_Err released = pixel_formats.Release();
        return err != PF_Err_NONE ? err : released;
    }

    if (output->world_flags & PF_WorldFlag_DEEP) {
        prepare(kPassArgb16);
        return suites.Iterate16Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, ChooseBlend16(vi), output);
    }
    prepare(kPassArgb8);
    return suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &vi, ChooseBlend8(vi), output);
}
