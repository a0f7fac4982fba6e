// A stand-in plug-in for the validator's tests: it passes every command on to
// the real Vellora module and then commits the fault named by the environment
// variable VELLORA_FAKE_FAULT, so each test can show the validator catching it.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "api/AE_Effect.h"
#include "api/AE_EffectSuites.h"
#include "api/AE_EffectUI.h"

namespace {

typedef PF_Err (*EntryFn)(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

EntryFn RealEntry() {
    static EntryFn entry = [] {
        void* handle = ::dlopen(VELLORA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        return handle ? reinterpret_cast<EntryFn>(::dlsym(handle, "EntryPointFunc")) : nullptr;
    }();
    return entry;
}

bool Fault(const char* name) {
    const char* fault = std::getenv("VELLORA_FAKE_FAULT");
    return fault && std::strcmp(fault, name) == 0;
}

std::atomic<unsigned> g_renders{0};

// Whether Premiere hands the frame as 32-bit float BGRA, asked as a host expects.
bool IsFloatWorld(PF_InData* in_data, PF_LayerDef* world) {
    const void* suite = nullptr;
    if (in_data->pica_basicP->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, &suite) != 0 || !suite) {
        return false;
    }
    PrPixelFormat format = 0;
    const bool is_float = static_cast<const PF_PixelFormatSuite1*>(suite)->GetPixelFormat(world, &format) == 0 &&
                          format == PrPixelFormat_BGRA_4444_32f;
    in_data->pica_basicP->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
    return is_float;
}

// Parameter set-up declared otherwise than Vellora does: "other-defaults"
// gives Width the default 250 and the range 0 to 9000, "three-shapes" gives
// Mask Type a third choice the host's table cannot map.
PF_Err (*g_add_param)(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) = nullptr;
PF_Err AddParamOtherwise(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    PF_ParamDef changed = *def;
    if (Fault("other-defaults") && changed.uu.id == 3) {
        changed.u.fs_d.value = changed.u.fs_d.dephault = 250.0f;
        changed.u.fs_d.valid_max = changed.u.fs_d.slider_max = 9000.0f;
    } else if (Fault("three-shapes") && changed.uu.id == 2) {
        changed.u.pd.num_choices = 3;
        changed.u.pd.u.namesptr = "Ellipse|Rectangle|Star";
    }
    return g_add_param(effect_ref, index, &changed);
}

// A module that ends its host's process as soon as it is loaded.
__attribute__((constructor)) void ExitOnLoad() {
    if (Fault("exit-on-load")) std::exit(0);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                                        PF_OutData* out_data, PF_ParamDef* params[],
                                                                        PF_LayerDef* output, void* extra) {
    if (cmd == PF_Cmd_ABOUT && Fault("throw")) throw std::runtime_error("planted");
    if (cmd == PF_Cmd_GLOBAL_SETUP && Fault("exit-in-setup")) std::exit(0);
    if (cmd == PF_Cmd_SEQUENCE_SETUP && Fault("bad-code")) return 7;
    if (cmd == PF_Cmd_RENDER && Fault("unwritten")) return PF_Err_NONE;  // claims a frame it never drew
    if (cmd == PF_Cmd_RENDER && Fault("exit-in-render")) std::exit(0);
    if (cmd == PF_Cmd_RENDER && Fault("hang-in-render")) {
        for (;;) ::pause();  // ended only by the host's timeout
    }
    const EntryFn entry = RealEntry();
    if (!entry) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    if (cmd == PF_Cmd_PARAMS_SETUP && in_data && (Fault("other-defaults") || Fault("three-shapes"))) {
        g_add_param = in_data->inter.add_param;
        in_data->inter.add_param = &AddParamOtherwise;
        const PF_Err err = entry(cmd, in_data, out_data, params, output, extra);
        in_data->inter.add_param = g_add_param;
        return err;
    }
    const PF_Err err = entry(cmd, in_data, out_data, params, output, extra);
    if (cmd == PF_Cmd_ABOUT && Fault("swallow")) return PF_Err_NONE;  // hides a missing suite
    if (cmd == PF_Cmd_EVENT && extra && params && params[4]) {
        PF_EventExtra* event = static_cast<PF_EventExtra*>(extra);
        if (Fault("event-range") && event->e_type == PF_Event_DRAG) {
            params[4]->u.fs_d.value = -5.0;  // a width below the declared range
            params[4]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
        } else if (Fault("click-record") && event->e_type == PF_Event_DO_CLICK &&
                   !(event->evt_out_flags & PF_EO_HANDLED_EVENT)) {
            event->u.do_click.continue_refcon[2] = 99;
        }
    }
    if (cmd != PF_Cmd_RENDER || err != PF_Err_NONE || !output || !output->data) return err;

    unsigned char* first = static_cast<unsigned char*>(output->data);
    if (Fault("leak-suite") && in_data && in_data->pica_basicP) {
        const void* suite = nullptr;
        in_data->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &suite);
    } else if (Fault("recolour")) {
        first[1] ^= 1;  // a colour byte of the first pixel in 8-bit worlds
    } else if (Fault("touch-input") && params && params[0] && params[0]->u.ld.data) {
        static_cast<unsigned char*>(params[0]->u.ld.data)[1] ^= 1;
    } else if (Fault("nondeterministic")) {
        first[0] = static_cast<unsigned char>(g_renders.fetch_add(1));  // 8-bit alpha that depends on history
    } else if (Fault("in-data") && in_data) {
        in_data->width += 1;
    } else if (Fault("alpha16") && (output->world_flags & PF_WorldFlag_DEEP)) {
        static_cast<PF_Pixel16*>(output->data)->alpha = 40000;  // past 16-bit full scale
    } else if (Fault("alpha-float") && in_data && in_data->pica_basicP && IsFloatWorld(in_data, output)) {
        static_cast<float*>(output->data)[3] = 1.5f;  // past float's nominal full scale
    } else if (Fault("crash")) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
    return err;
}
