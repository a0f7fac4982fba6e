// Canary for the AddressSanitizer job: a heap overflow it must report. The
// buffer's size is hidden from the compiler so only the run-time check can see it.
#include <cstdio>
#include <cstdlib>

int main(int argc, char**) {
    volatile char* volatile p = static_cast<char*>(std::malloc(static_cast<size_t>(7 + argc)));
    p[7 + argc] = 1;  // one past the end on purpose
    std::printf("heap overflow went unnoticed\n");
    std::free(const_cast<char*>(p));
    return 0;
}
