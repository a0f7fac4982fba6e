// The frei0r API: the only functions the filter exports (vellora.map). No C++
// exception may reach the video host.
// frei0r.h declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <exception>

#include "frei0r/Filter.h"
#include "frei0r/FilterParams.h"
#include "plugin/Vellora/Vellora.h"

using vfrei0r::Filter;

namespace {

Filter* AsFilter(f0r_instance_t instance) { return static_cast<Filter*>(instance); }

}  // namespace

extern "C" {

// The host's parameter table is checked against what the effect declares
// before any filter starts: a disagreement stops the filter here, named.
int f0r_init(void) {
    try {
        vfrei0r::Params();
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora: cannot start the filter: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vellora: cannot start the filter\n");
    }
    return 0;
}

void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    // GStreamer names its element after this: frei0r-filter-vellora.
    info->name = "vellora";
    info->author = "Vellora";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = VELLORA_MAJOR_VERSION;
    info->minor_version = VELLORA_MINOR_VERSION;
    info->num_params = vfrei0r::ParamCount();
    // Editors that list every frei0r filter (Kdenlive) show this beside the MLT
    // filter's own entry: it says which of the two is for them.
    info->explanation =
        "Vellora mask for frei0r hosts (ffmpeg, GStreamer): rewrites alpha with a soft elliptic or rectangular "
        "mask, values in frei0r's 0 to 1; in Kdenlive and Shotcut use the effect \"Vellora mask\" instead";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    const vfrei0r::ParamInfo* param = vfrei0r::FindParam(param_index);
    if (!info || !param) return;
    info->name = param->name.c_str();
    info->type = param->type;
    info->explanation = param->explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    try {
        if (width > 1u << 30 || height > 1u << 30) {
            std::fprintf(stderr, "vellora: cannot filter frames of %ux%u\n", width, height);
            return nullptr;
        }
        return new Filter(static_cast<int>(width), static_cast<int>(height));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora: cannot start the filter for %ux%u frames: %s\n", width, height, e.what());
    } catch (...) {
        std::fprintf(stderr, "vellora: cannot start the filter for %ux%u frames\n", width, height);
    }
    return nullptr;
}

void f0r_destruct(f0r_instance_t instance) { delete AsFilter(instance); }

// Set, Get and Update only fail if a lock does; the host then sees nothing happen.
void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (!instance || !param) return;
    try {
        // Bools and doubles are both doubles.
        AsFilter(instance)->Set(param_index, *static_cast<const double*>(param));
    } catch (...) {
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (!instance || !param || !vfrei0r::FindParam(param_index)) return;
    try {
        *static_cast<double*>(param) = AsFilter(instance)->Get(param_index);
    } catch (...) {
    }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
    if (!instance || !inframe || !outframe) return;
    try {
        AsFilter(instance)->Update(time, inframe, outframe);
    } catch (...) {
        // Out of memory on the way: the host still gets a frame, not whatever its buffer held.
        AsFilter(instance)->PassThrough(inframe, outframe);
    }
}

}  // extern "C"
