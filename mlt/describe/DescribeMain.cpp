// vellora_describe MLT_YAML KDENLIVE_XML KDENLIVE_MASK_XML SHOTCUT_JS
// SHOTCUT_MASK_JS: writes the MLT filter's metadata, Kdenlive's descriptors of
// the filter and of its mask variant, and the params.js of Shotcut's two
// filter folders, all from the linked effect's declaration. The build runs
// it; each file is replaced only once written whole.
#include <cstdio>
#include <exception>
#include <string>

#include "embed/EmbeddedEffect.h"
#include "files/AtomicFile.h"
#include "host/Host.h"
#include "mlt/describe/Describe.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s MLT_YAML KDENLIVE_XML KDENLIVE_MASK_XML SHOTCUT_JS SHOTCUT_MASK_JS\n", argv[0]);
        return 2;
    }
    try {
        vhost::Host host(vembed::LinkedEffect(), vhost::HostApp::Premiere);
        const vparams::Declaration declared = vparams::SetUpChecked(host);
        vfiles::WriteTextAtomically(argv[1], vdescribe::MltMetadata(declared), "MLT_YAML");
        vfiles::WriteTextAtomically(argv[2], vdescribe::KdenliveEffect(declared, vmlt::kPlainEntry), "KDENLIVE_XML");
        vfiles::WriteTextAtomically(argv[3], vdescribe::KdenliveEffect(declared, vmlt::kMaskEntry), "KDENLIVE_MASK_XML");
        vfiles::WriteTextAtomically(argv[4], vdescribe::ShotcutParams(declared, vmlt::kPlainEntry), "SHOTCUT_JS");
        vfiles::WriteTextAtomically(argv[5], vdescribe::ShotcutParams(declared, vmlt::kMaskEntry), "SHOTCUT_MASK_JS");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_describe: %s\n", e.what());
    }
    return 1;
}
