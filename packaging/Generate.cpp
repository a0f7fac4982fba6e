// Writes a generated file of the package: `vellora_docgen man VERSION OUT
// MODULE FREI0R MLT MLT_YAML KDENLIVE KDENLIVE_MASK SHOTCUT SHOTCUT_MASK COMPLETION DOCS` (the man page,
// with where each part is installed) or `vellora_docgen bash OUT` (the completion). OUT appears whole
// or not at all, so a failed build never installs half a page.
#include <cstdio>
#include <exception>
#include <string>

#include "files/AtomicFile.h"
#include "packaging/BashCompletion.h"
#include "packaging/CliModel.h"
#include "packaging/ManPage.h"

int main(int argc, char** argv) {
    try {
        const std::string kind = argc > 1 ? argv[1] : "";
        std::string text, out;
        if (kind == "man" && argc == 14) {
            const vpackaging::InstalledPaths paths{argv[4], argv[5],  argv[6],  argv[7],  argv[8],
                                                   argv[9], argv[10], argv[11], argv[12], argv[13]};
            text = vpackaging::ManPage(vpackaging::ReadCli(), argv[2], paths);
            out = argv[3];
        } else if (kind == "bash" && argc == 3) {
            text = vpackaging::BashCompletion(vpackaging::ReadCli());
            out = argv[2];
        } else {
            std::fprintf(stderr, "usage: vellora_docgen man VERSION OUT MODULE FREI0R MLT MLT_YAML KDENLIVE "
                                 "KDENLIVE_MASK SHOTCUT SHOTCUT_MASK COMPLETION DOCS | bash OUT\n");
            return 2;
        }
        vfiles::WriteTextAtomically(out, text, "OUT");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_docgen: %s\n", e.what());
        return 1;
    }
}
