// Canary for the AddressSanitizer job: a heap overflow it must report.
#include <cstdio>

int main(int argc, char**) {
    volatile char* p = new char[8];
    p[7 + argc] = 1;  // one past the end on purpose
    std::printf("heap overflow went unnoticed\n");
    delete[] p;
    return 0;
}
