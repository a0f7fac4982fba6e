// Canary for the ThreadSanitizer job: a data race it must report.
#include <cstdio>
#include <thread>

namespace {
int g_counter = 0;  // shared without a lock on purpose
void Bump() {
    for (int i = 0; i < 100000; ++i) ++g_counter;
}
}  // namespace

int main() {
    std::thread a(Bump), b(Bump);
    a.join();
    b.join();
    std::printf("data race went unnoticed: %d\n", g_counter);
    return 0;
}
