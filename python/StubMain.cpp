// Writes vellora.pyi, the Python module's type stubs, from the facts of the
// parameters the linked effect declares.
#include <cstdio>
#include <exception>

#include "files/AtomicFile.h"
#include "python/Docs.h"
#include "python/FrameRender.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vellora_pystub OUT.pyi\n");
        return 2;
    }
    try {
        const vpython::HostPool pool;
        const vparams::ParamFactsList facts(pool.Declared());
        vfiles::WriteTextAtomically(argv[1], vpython::StubText(facts), "stubs");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_pystub: %s\n", e.what());
        return 1;
    }
    return 0;
}
