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

// One suite held for a scope: acquired by AEFX_AcquireSuite on construction
// (Get() is null and Error() says why when it could not be), given back by
// AEFX_ReleaseSuite on every way out. Release() gives it back early and
// returns the release's result.
template <typename Suite>
class AEFX_SuiteScope {
public:
    AEFX_SuiteScope(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version)
        : in_data_(in_data), out_data_(out_data), name_(name), version_(version) {
        err_ = AEFX_AcquireSuite(in_data, out_data, name, version, nullptr, reinterpret_cast<void**>(&suite_));
    }
    ~AEFX_SuiteScope() { (void)Release(); }
    AEFX_SuiteScope(const AEFX_SuiteScope&) = delete;
    AEFX_SuiteScope& operator=(const AEFX_SuiteScope&) = delete;

    Suite* Get() const { return suite_; }
    Suite* operator->() const { return suite_; }
    PF_Err Error() const { return err_; }

    PF_Err Release() {
        if (!suite_) return PF_Err_NONE;
        suite_ = nullptr;
        return AEFX_ReleaseSuite(in_data_, out_data_, name_, version_, nullptr);
    }

private:
    PF_InData* in_data_;
    PF_OutData* out_data_;
    const char* name_;
    A_long version_;
    Suite* suite_ = nullptr;
    PF_Err err_ = PF_Err_NONE;
};
