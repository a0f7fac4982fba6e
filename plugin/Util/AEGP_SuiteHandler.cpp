#include "plugin/Util/AEGP_SuiteHandler.h"

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* pica_basicP) : pica_basicP_(pica_basicP) {
    if (!pica_basicP_) {
        MissingSuiteError();
    }
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

void* AEGP_SuiteHandler::LoadSuite(const char* name, int version) const {
    const void* suite = nullptr;
    const SPErr err = pica_basicP_->AcquireSuite(name, version, &suite);
    if (err != kSPNoError || !suite) {
        // A pointer handed out with an error is still a reference held.
        if (suite) (void)pica_basicP_->ReleaseSuite(name, version);
        MissingSuiteError();
    }
    return const_cast<void*>(suite);
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int version) {
    (void)pica_basicP_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
    // Fixed order, independent of the order of loading.
    if (ansi_) ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
    if (iterate8_) ReleaseSuite(kPFIterate8Suite, kPFIterate8SuiteVersion1);
    if (iterate16_) ReleaseSuite(kPFIterate16Suite, kPFIterate16SuiteVersion1);
    if (custom_ui_) ReleaseSuite(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1);
    if (overlay_theme_) ReleaseSuite(kPFEffectCustomUIOverlayThemeSuite, kPFEffectCustomUIOverlayThemeSuiteVersion1);
    if (drawbot_) ReleaseSuite(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
}

PF_ANSICallbacksSuite1* AEGP_SuiteHandler::ANSICallbacksSuite1() {
    if (!ansi_) ansi_ = static_cast<PF_ANSICallbacksSuite1*>(LoadSuite(kPFANSISuite, kPFANSISuiteVersion1));
    return ansi_;
}

PF_Iterate8Suite1* AEGP_SuiteHandler::Iterate8Suite1() {
    if (!iterate8_) iterate8_ = static_cast<PF_Iterate8Suite1*>(LoadSuite(kPFIterate8Suite, kPFIterate8SuiteVersion1));
    return iterate8_;
}

PF_iterate16Suite1* AEGP_SuiteHandler::Iterate16Suite1() {
    if (!iterate16_) {
        iterate16_ = static_cast<PF_iterate16Suite1*>(LoadSuite(kPFIterate16Suite, kPFIterate16SuiteVersion1));
    }
    return iterate16_;
}

PF_EffectCustomUISuite1* AEGP_SuiteHandler::EffectCustomUISuite1() {
    if (!custom_ui_) {
        custom_ui_ = static_cast<PF_EffectCustomUISuite1*>(
            LoadSuite(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1));
    }
    return custom_ui_;
}

PF_EffectCustomUIOverlayThemeSuite1* AEGP_SuiteHandler::EffectCustomUIOverlayThemeSuite1() {
    if (!overlay_theme_) {
        overlay_theme_ = static_cast<PF_EffectCustomUIOverlayThemeSuite1*>(
            LoadSuite(kPFEffectCustomUIOverlayThemeSuite, kPFEffectCustomUIOverlayThemeSuiteVersion1));
    }
    return overlay_theme_;
}

DRAWBOT_DrawbotSuite1* AEGP_SuiteHandler::DrawbotSuite1() {
    if (!drawbot_) {
        drawbot_ = static_cast<DRAWBOT_DrawbotSuite1*>(LoadSuite(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1));
    }
    return drawbot_;
}
