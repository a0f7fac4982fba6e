#include "plugin/Util/AEFX_DrawbotSuites.h"

#include <cstdio>

#include "plugin/Util/AEFX_SuiteHelper.h"

namespace {

struct SuiteName {
    const char* name;
    A_long version;
};

const SuiteName kSuites[4] = {{kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1},
                              {kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1},
                              {kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1},
                              {kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1}};

void** Slots(DRAWBOT_Suites* s, int i) {
    switch (i) {
        case 0: return reinterpret_cast<void**>(&s->drawbot_suiteP);
        case 1: return reinterpret_cast<void**>(&s->supplier_suiteP);
        case 2: return reinterpret_cast<void**>(&s->surface_suiteP);
        default: return reinterpret_cast<void**>(&s->path_suiteP);
    }
}

const void* Slot(const DRAWBOT_Suites* s, int i) {
    switch (i) {
        case 0: return s->drawbot_suiteP;
        case 1: return s->supplier_suiteP;
        case 2: return s->surface_suiteP;
        default: return s->path_suiteP;
    }
}

}  // namespace

extern "C" PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suitesP) {
    if (!in_data || !out_data) return PF_Err_BAD_CALLBACK_PARAM;
    if (!suitesP) {
        out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
        const char* message = "NULL suite pointer passed to AEFX_AcquireDrawbotSuites";
        if (in_data->utils && in_data->utils->ansi.sprintf) {
            in_data->utils->ansi.sprintf(out_data->return_msg, "%s", message);
        } else {
            std::snprintf(out_data->return_msg, sizeof(out_data->return_msg), "%s", message);
        }
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    // Cleared first, so the record always tells which suites were acquired.
    *suitesP = DRAWBOT_Suites{};
    for (int i = 0; i < 4; ++i) {
        const PF_Err err = AEFX_AcquireSuite(in_data, out_data, kSuites[i].name, kSuites[i].version, nullptr,
                                             Slots(suitesP, i));
        if (err != PF_Err_NONE) return err;
    }
    return PF_Err_NONE;
}

extern "C" PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
    for (const SuiteName& s : kSuites) (void)AEFX_ReleaseSuite(in_data, out_data, s.name, s.version, nullptr);
    return PF_Err_NONE;
}

PF_Err AEFX_ReleaseAcquiredDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, const DRAWBOT_Suites* suitesP) {
    if (!suitesP) return PF_Err_NONE;
    for (int i = 0; i < 4; ++i) {
        if (Slot(suitesP, i)) (void)AEFX_ReleaseSuite(in_data, out_data, kSuites[i].name, kSuites[i].version, nullptr);
    }
    return PF_Err_NONE;
}

DRAWBOT_PenP::DRAWBOT_PenP(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier,
                           const DRAWBOT_ColorRGBA* colourP, float size)
    : SharedRefImpl(suiteP, nullptr) {
    New(suiteP, supplier, colourP, size);
}

void DRAWBOT_PenP::New(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colourP,
                       float size) {
    if (!suiteP) throw DRAWBOT_Exception(PF_Err_BAD_CALLBACK_PARAM);
    DRAWBOT_PenRef pen = nullptr;
    const SPErr err = suiteP->NewPen(supplier, colourP, size, &pen);
    if (err != kSPNoError) throw DRAWBOT_Exception(err);
    Replace(suiteP, pen);
}

DRAWBOT_PathP::DRAWBOT_PathP(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier)
    : SharedRefImpl(suiteP, nullptr) {
    New(suiteP, supplier);
}

void DRAWBOT_PathP::New(DRAWBOT_SupplierSuite1* suiteP, DRAWBOT_SupplierRef supplier) {
    if (!suiteP) throw DRAWBOT_Exception(PF_Err_BAD_CALLBACK_PARAM);
    DRAWBOT_PathRef path = nullptr;
    const SPErr err = suiteP->NewPath(supplier, &path);
    if (err != kSPNoError) throw DRAWBOT_Exception(err);
    Replace(suiteP, path);
}
