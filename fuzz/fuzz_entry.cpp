// libFuzzer entry: each input is one host session with the plug-in (see FuzzDriver.h).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzDriver.h"
#include "host/HostError.h"

namespace {
const vhost::PluginModule* g_module = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* env = std::getenv("VELLORA_MODULE");
    try {
        g_module = new vhost::PluginModule(env && *env ? env : VELLORA_MODULE_PATH);
    } catch (const vhost::HostError& e) {
        std::fprintf(stderr, "vellora_fuzz: %s\n", e.what());
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vvalidator::Findings findings = vfuzz::RunInput(*g_module, data, size);
    if (!findings.Empty()) {
        std::fprintf(stderr, "vellora_fuzz: the plug-in failed a host check (%s):\n",
                     vfuzz::DescribeInput(data, size).c_str());
        for (const std::string& f : findings.Items()) std::fprintf(stderr, "  %s\n", f.c_str());
        std::abort();
    }
    return 0;
}
