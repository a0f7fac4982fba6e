// Canary for the UndefinedBehaviorSanitizer job: a signed overflow it must report.
#include <climits>
#include <cstdio>

int main(int argc, char**) {
    volatile int x = INT_MAX;
    const int y = x + argc;  // overflows on purpose
    std::printf("signed overflow went unnoticed: %d\n", y);
    return 0;
}
