// One libFuzzer program per driver (fuzz/drivers/Drivers.h); the build names
// it in VELLORA_FUZZ_DRIVER. With $VELLORA_FUZZ_WRITE_DICTIONARY set, the
// program writes the driver's dictionary there and exits: the build makes
// each dictionary so, from the same tables the tools use.
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz/drivers/Drivers.h"

namespace {

std::unique_ptr<vfuzz::Driver> g_driver;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The imaging layer captures standard error while the image library
    // runs; a sanitizer report made then must still reach the terminal.
    const int report_fd = ::dup(2);
    if (report_fd >= 0) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(report_fd)));
    try {
        g_driver = vfuzz::MakeDriver(VELLORA_FUZZ_DRIVER);
        if (const char* path = std::getenv("VELLORA_FUZZ_WRITE_DICTIONARY")) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << "# The words of " VELLORA_FUZZ_DRIVER " inputs; made by the build.\n" << g_driver->Dictionary();
            out.close();
            if (!out) {
                std::fprintf(stderr, "vellora_fuzz_" VELLORA_FUZZ_DRIVER ": cannot write '%s'\n", path);
                std::exit(1);
            }
            std::exit(0);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_fuzz_" VELLORA_FUZZ_DRIVER ": %s\n", e.what());
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = g_driver->Run(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "vellora_fuzz_" VELLORA_FUZZ_DRIVER ": %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
