// Canary for the fuzz job: a target with a planted heap overflow behind a short
// prefix. If the fuzzer and AddressSanitizer work, a short run must find it.
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 3 && data[0] == 'F' && data[1] == 'U' && data[2] == 'Z') {
        volatile char* p = new char[4];
        p[size + 4] = 1;  // out of bounds on purpose
        delete[] p;
    }
    return 0;
}
