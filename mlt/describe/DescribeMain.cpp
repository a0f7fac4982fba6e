// vellora_describe MLT_YAML KDENLIVE_XML [SHOTCUT_JS]: writes the MLT
// filter's metadata, Kdenlive's descriptor and Shotcut's params.js, all from
// the linked effect's declaration. The
// build runs it; each file is replaced only once written whole.
#include <cstdio>
#include <exception>
#include <string>

#include "embed/EmbeddedEffect.h"
#include "files/AtomicFile.h"
#include "host/Host.h"
#include "mlt/describe/Describe.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s MLT_YAML KDENLIVE_XML [SHOTCUT_JS]\n", argv[0]);
        return 2;
    }
    try {
        vhost::Host host(vembed::LinkedEffect(), vhost::HostApp::Premiere);
        const vparams::Declaration declared = vparams::SetUpChecked(host);
        vfiles::WriteTextAtomically(argv[1], vdescribe::MltMetadata(declared), "MLT_YAML");
        vfiles::WriteTextAtomically(argv[2], vdescribe::KdenliveEffect(declared), "KDENLIVE_XML");
        if (argc == 4) vfiles::WriteTextAtomically(argv[3], vdescribe::ShotcutParams(declared), "SHOTCUT_JS");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_describe: %s\n", e.what());
    }
    return 1;
}
