// The OBS module vellora-obs.so: what libobs looks up in it, and nothing else
// exported (vellora-obs.map).
#include <exception>

#include <obs-module.h>

#include "obs/MaskFilter.h"
#include "obs/ObsText.h"
#include "plugin/Vellora/Vellora.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("vellora-obs", "en-US")

MODULE_EXPORT const char* obs_module_name(void) { return "Vellora"; }

MODULE_EXPORT const char* obs_module_description(void) {
    return "Vellora Mask: a parametric soft mask (ellipse or rectangle, feather, falloff, composite modes) on the "
           "alpha channel of any video source";
}

bool obs_module_load(void) {
    try {
        vobs::RegisterMaskFilter();
        blog(LOG_INFO, "[%s] Vellora %d.%d.%d: filter '%s' registered", vobs::kModuleName, VELLORA_MAJOR_VERSION,
             VELLORA_MINOR_VERSION, VELLORA_BUG_VERSION, vobs::kFilterId);
        return true;
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[%s] cannot set up the effect: %s", vobs::kModuleName, e.what());
    } catch (...) {
        blog(LOG_ERROR, "[%s] cannot set up the effect", vobs::kModuleName);
    }
    return false;
}
