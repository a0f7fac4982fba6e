// Acquire and release one host suite, reporting failure the host's way: the
// display-error flag, a message in return_msg and PF_Err_BAD_CALLBACK_PARAM.
#pragma once

#include "api/AE_Effect.h"

extern "C" {
PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                         const char* error_stringPC0, void** suite);
PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                         const char* error_stringPC0);
}
