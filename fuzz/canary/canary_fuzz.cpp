// Canary for the fuzz job: a target with a planted heap overflow behind a short
// prefix. If the fuzzer and AddressSanitizer work, a short run must find it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 3 && data[0] == 'F' && data[1] == 'U' && data[2] == 'Z') {
        volatile char* volatile p = static_cast<char*>(std::malloc(size));
        p[size] = 1;  // one past the end on purpose
        std::free(const_cast<char*>(p));
    }
    return 0;
}
