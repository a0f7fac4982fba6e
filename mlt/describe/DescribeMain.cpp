// vellora_describe MLT_YAML KDENLIVE_XML [SHOTCUT_JS]: writes the MLT
// filter's metadata, Kdenlive's descriptor and Shotcut's params.js, all from
// the linked effect's declaration. The
// build runs it; each file is replaced only once written whole.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "embed/EmbeddedEffect.h"
#include "host/Host.h"
#include "mlt/describe/Describe.h"

namespace {

void Write(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) throw std::runtime_error("cannot write '" + part + "'");
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot replace '" + path + "'");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s MLT_YAML KDENLIVE_XML [SHOTCUT_JS]\n", argv[0]);
        return 2;
    }
    try {
        vhost::Host host(vembed::LinkedEffect(), vhost::HostApp::Premiere);
        const vparams::Declaration declared = vparams::SetUpChecked(host);
        Write(argv[1], vdescribe::MltMetadata(declared));
        Write(argv[2], vdescribe::KdenliveEffect(declared));
        if (argc == 4) Write(argv[3], vdescribe::ShotcutParams(declared));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_describe: %s\n", e.what());
    }
    return 1;
}
