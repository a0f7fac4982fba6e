#include "host/CoreSuites.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/Host.h"

namespace vhost {

namespace {

// C-library semantics, except that a destination the host knows the size of
// (return_msg) is never overrun: the text is cut to fit.
int HostSprintf(A_char* dst, const A_char* format, ...) {
    if (!dst || !format) return -1;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) {
        va_end(args);
        return needed;
    }
    Host* host = Host::Current();
    const size_t known = host ? host->KnownBufferSize(dst) : 0;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    if (known > 0) {
        std::snprintf(dst, known, "%s", text.c_str());
    } else {
        std::memcpy(dst, text.c_str(), text.size());
    }
    return needed;
}

A_char* HostStrcpy(A_char* dst, const A_char* src) {
    if (!dst || !src) return dst;
    Host* host = Host::Current();
    const size_t known = host ? host->KnownBufferSize(dst) : 0;
    if (known > 0) {
        std::snprintf(dst, known, "%s", src);
        return dst;
    }
    return std::strcpy(dst, src);
}

A_FpLong Atan(A_FpLong x) { return std::atan(x); }
A_FpLong Atan2(A_FpLong y, A_FpLong x) { return std::atan2(y, x); }
A_FpLong Ceil(A_FpLong x) { return std::ceil(x); }
A_FpLong Cos(A_FpLong x) { return std::cos(x); }
A_FpLong Exp(A_FpLong x) { return std::exp(x); }
A_FpLong Fabs(A_FpLong x) { return std::fabs(x); }
A_FpLong Floor(A_FpLong x) { return std::floor(x); }
A_FpLong Fmod(A_FpLong x, A_FpLong y) { return std::fmod(x, y); }
A_FpLong Hypot(A_FpLong x, A_FpLong y) { return std::hypot(x, y); }
A_FpLong Log(A_FpLong x) { return std::log(x); }
A_FpLong Log10(A_FpLong x) { return std::log10(x); }
A_FpLong Pow(A_FpLong x, A_FpLong y) { return std::pow(x, y); }
A_FpLong Sin(A_FpLong x) { return std::sin(x); }
A_FpLong Sqrt(A_FpLong x) { return std::sqrt(x); }
A_FpLong Tan(A_FpLong x) { return std::tan(x); }
A_FpLong Asin(A_FpLong x) { return std::asin(x); }
A_FpLong Acos(A_FpLong x) { return std::acos(x); }

const PF_ANSICallbacks kAnsi = {Atan, Atan2, Ceil,  Cos,         Exp,        Fabs, Floor,
                                Fmod, Hypot, Log,   Log10,       Pow,        Sin,  Sqrt,
                                Tan,  HostSprintf, HostStrcpy, Asin, Acos};

Host* CallingHost(PF_ProgPtr effect_ref) {
    Host* host = Host::Current();
    return host && static_cast<void*>(host) == effect_ref ? host : nullptr;
}

PF_Err AddSupportedPixelFormat(PF_ProgPtr effect_ref, PrPixelFormat format) {
    Host* host = CallingHost(effect_ref);
    if (!host) return PF_Err_BAD_CALLBACK_PARAM;
    if (host->Faults().ShouldFail("AddSupportedPixelFormat")) return host->Faults().injected_error;
    if (format == 0) return PF_Err_BAD_CALLBACK_PARAM;
    host->RecordPixelFormatCall(format);
    return PF_Err_NONE;
}

PF_Err ClearSupportedPixelFormats(PF_ProgPtr effect_ref) {
    Host* host = CallingHost(effect_ref);
    if (!host) return PF_Err_BAD_CALLBACK_PARAM;
    if (host->Faults().ShouldFail("ClearSupportedPixelFormats")) return host->Faults().injected_error;
    host->RecordPixelFormatCall(0);
    return PF_Err_NONE;
}

PF_Err GetPixelFormat(PF_EffectWorld* world, PrPixelFormat* format) {
    Host* host = Host::Current();
    if (!host || !world || !format) return PF_Err_BAD_CALLBACK_PARAM;
    if (host->Faults().ShouldFail("GetPixelFormat")) return host->Faults().injected_error;
    *format = host->WorldPixelFormat(world);
    return PF_Err_NONE;
}

const PF_PixelFormatSuite1 kPixelFormatSuite = {AddSupportedPixelFormat, ClearSupportedPixelFormats,
                                                GetPixelFormat};

}  // namespace

const PF_ANSICallbacks& HostAnsiCallbacks() { return kAnsi; }

void RegisterCoreSuites(Host& host) {
    host.RegisterSuite(kPFANSISuite, kPFANSISuiteVersion1, &kAnsi);
    host.RegisterSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, &kPixelFormatSuite);
}

}  // namespace vhost
