// A per-call cache of host suites: each suite is acquired the first time it is
// asked for and released when the cache is destroyed, on every way out.
// A missing suite is thrown as the host error PF_Err_BAD_CALLBACK_PARAM, which
// only the entry point catches.
#pragma once

#include "api/AE_EffectSuites.h"
#include "api/DrawbotSuites.h"
#include "api/SPBasic.h"

class AEGP_SuiteHandler {
public:
    explicit AEGP_SuiteHandler(const SPBasicSuite* pica_basicP);
    ~AEGP_SuiteHandler();
    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    PF_ANSICallbacksSuite1* ANSICallbacksSuite1();
    PF_Iterate8Suite1* Iterate8Suite1();
    PF_iterate16Suite1* Iterate16Suite1();
    PF_EffectCustomUISuite1* EffectCustomUISuite1();
    PF_EffectCustomUIOverlayThemeSuite1* EffectCustomUIOverlayThemeSuite1();
    DRAWBOT_DrawbotSuite1* DrawbotSuite1();

private:
    void* LoadSuite(const char* name, int version) const;
    void ReleaseSuite(const char* name, int version);
    void ReleaseAllSuites();
    [[noreturn]] void MissingSuiteError() const;

    const SPBasicSuite* pica_basicP_;
    PF_ANSICallbacksSuite1* ansi_ = nullptr;
    PF_Iterate8Suite1* iterate8_ = nullptr;
    PF_iterate16Suite1* iterate16_ = nullptr;
    PF_EffectCustomUISuite1* custom_ui_ = nullptr;
    PF_EffectCustomUIOverlayThemeSuite1* overlay_theme_ = nullptr;
    DRAWBOT_DrawbotSuite1* drawbot_ = nullptr;
};
