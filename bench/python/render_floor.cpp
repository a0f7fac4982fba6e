// libvellora_python_floor.so: what the Python module's render costs without
// Python, for python_overhead.py to call through ctypes in the same process
// as the module, on the same arrays. Its own host pool (the same embedded
// effect, the same pool code) renders a tight RGBA frame into a tight buffer
// of the same memory as the module's results.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "params/EffectParams.h"
#include "python/FrameRender.h"
#include "python/ResultMemory.h"

namespace {

struct Floor {
    ~Floor() { vpython::GiveResultMemory(out); }
    vpython::HostPool pool;
    vparams::EffectValues values;
    void* out = nullptr;
    size_t out_bytes = 0;
};

void Say(char* error, size_t size, const char* text) {
    if (error && size) std::snprintf(error, size, "%s", text);
}

}  // namespace

extern "C" {

// A pool with the values of the JSON text `params`; null and `error` set on failure.
__attribute__((visibility("default"))) void* vellora_floor_open(const char* params, char* error, size_t size) {
    try {
        auto floor = std::make_unique<Floor>();
        floor->values = vparams::EffectValuesFromJsonText(params, {}, "params", floor->pool.Declared());
        return floor.release();
    } catch (const std::exception& e) {
        Say(error, size, e.what());
    } catch (...) {
        Say(error, size, "unknown error");
    }
    return nullptr;
}

// `type` 0 uint8, 1 uint16, 2 float32; `host` "premiere" or "ae". The
// result (until the next call); null and `error` set on failure.
__attribute__((visibility("default"))) const void* vellora_floor_render(void* handle, int type, const char* host,
                                                                        int width, int height, int threads,
                                                                        const void* in, char* error, size_t size) {
    try {
        auto* floor = static_cast<Floor*>(handle);
        vpython::FrameView frame;
        frame.type = type == 0 ? vimaging::SampleType::U8 : type == 1 ? vimaging::SampleType::U16
                                                                      : vimaging::SampleType::F32;
        frame.data = static_cast<const unsigned char*>(in);
        frame.width = width;
        frame.height = height;
        const auto bytes = static_cast<std::ptrdiff_t>(vpython::SampleBytes(frame.type));
        frame.strides[2] = bytes;
        frame.strides[1] = 4 * bytes;
        frame.strides[0] = 4 * bytes * width;
        vpython::FrameOptions options;
        options.app = vhost::ParseHostApp(host, "host");
        options.threads = threads;
        const size_t out_bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4 *
                                 static_cast<size_t>(bytes);
        if (out_bytes != floor->out_bytes) {
            vpython::GiveResultMemory(floor->out);
            floor->out = nullptr;
            floor->out = vpython::TakeResultMemory(out_bytes);
            floor->out_bytes = out_bytes;
        }
        floor->pool.Render(frame, options, floor->values, floor->out);
        return floor->out;
    } catch (const std::exception& e) {
        Say(error, size, e.what());
    } catch (...) {
        Say(error, size, "unknown error");
    }
    return nullptr;
}

__attribute__((visibility("default"))) void vellora_floor_close(void* handle) { delete static_cast<Floor*>(handle); }

}  // extern "C"
