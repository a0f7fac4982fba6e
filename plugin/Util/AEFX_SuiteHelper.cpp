#include "plugin/Util/AEFX_SuiteHelper.h"

#include <cstdio>
#include <cstring>

namespace {

const char kAcquireFailed[] = "Not able to acquire AEFX Suite.";
const char kReleaseFailed[] = "Not able to release AEFX Suite.";

// Flags the failure and writes the message through the host's formatter.
// The message is an argument, never the format, so a '%' in it is printed as is,
// and it is cut to what return_msg holds.
void ReportSuiteError(PF_InData* in_data, PF_OutData* out_data, const char* message) {
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    char text[PF_MAX_EFFECT_MSG_LEN + 1];
    std::strncpy(text, message, sizeof(text) - 1);
    text[sizeof(text) - 1] = '\0';
    if (in_data->utils && in_data->utils->ansi.sprintf) {
        in_data->utils->ansi.sprintf(out_data->return_msg, "%s", text);
    } else {
        std::snprintf(out_data->return_msg, sizeof(out_data->return_msg), "%s", text);
    }
}

}  // namespace

extern "C" PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                                    const char* error_stringPC0, void** suite) {
    if (!in_data || !out_data || !name || !suite) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const SPBasicSuite* basic = in_data->pica_basicP;
    if (basic) {
        const void* got = *suite;
        (void)basic->AcquireSuite(name, version, &got);
        *suite = const_cast<void*>(got);
        if (*suite) {
            return PF_Err_NONE;
        }
    }
    ReportSuiteError(in_data, out_data, error_stringPC0 ? error_stringPC0 : kAcquireFailed);
    return PF_Err_BAD_CALLBACK_PARAM;
}

extern "C" PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                                    const char* error_stringPC0) {
    if (!in_data || !out_data || !name) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const SPBasicSuite* basic = in_data->pica_basicP;
    if (basic) {
        (void)basic->ReleaseSuite(name, version);
        return PF_Err_NONE;
    }
    ReportSuiteError(in_data, out_data, error_stringPC0 ? error_stringPC0 : kReleaseFailed);
    return PF_Err_BAD_CALLBACK_PARAM;
}
