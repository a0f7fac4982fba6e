// vellora_obs_locale OUT.ini: writes the OBS filter's English locale file from
// the linked effect's declaration and the parameter table. The build runs it;
// the file is replaced only once written whole.
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include "embed/EmbeddedEffect.h"
#include "host/Host.h"
#include "obs/ObsText.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.ini\n", argv[0]);
        return 2;
    }
    try {
        vhost::Host host(vembed::LinkedEffect(), vhost::HostApp::Premiere);
        const vparams::ParamFactsList facts(vparams::SetUpChecked(host));
        const std::string path = argv[1], part = path + ".part";
        {
            std::ofstream out(part, std::ios::binary | std::ios::trunc);
            out << vobs::LocaleFile(vobs::EnglishTexts(facts));
            out.close();
            if (!out) throw std::runtime_error("cannot write '" + part + "'");
        }
        if (std::rename(part.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot replace '" + path + "'");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_obs_locale: %s\n", e.what());
    }
    return 1;
}
