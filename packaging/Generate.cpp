// Writes a generated file of the package: `vellora_docgen man VERSION MODULE_FILE OUT`
// (the man page) or `vellora_docgen bash OUT` (the completion). OUT appears whole
// or not at all, so a failed build never installs half a page.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "packaging/BashCompletion.h"
#include "packaging/CliModel.h"
#include "packaging/ManPage.h"

namespace {

bool WriteWhole(const std::string& path, const std::string& text) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string kind = argc > 1 ? argv[1] : "";
        std::string text, out;
        if (kind == "man" && argc == 5) {
            text = vpackaging::ManPage(vpackaging::ReadCli(), argv[2], argv[3]);
            out = argv[4];
        } else if (kind == "bash" && argc == 3) {
            text = vpackaging::BashCompletion(vpackaging::ReadCli());
            out = argv[2];
        } else {
            std::fprintf(stderr, "usage: vellora_docgen man VERSION MODULE_FILE OUT | bash OUT\n");
            return 2;
        }
        if (!WriteWhole(out, text)) {
            std::fprintf(stderr, "vellora_docgen: cannot write %s\n", out.c_str());
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_docgen: %s\n", e.what());
        return 1;
    }
}
