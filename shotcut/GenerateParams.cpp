// vellora_shotcut_params MODULE OUT.js: writes the JavaScript library the
// Shotcut filter's QML reads its names, ranges, defaults and choices from,
// as the plug-in at MODULE declares them, so the QML types none of them.
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "host/Host.h"
#include "host/PluginModule.h"
#include "params/ParamTable.h"
#include "plugin/Vellora/Vellora.h"

namespace {

// One parameter's facts as the QML uses them. Fixed-point and float values are
// already real numbers in the units the controls show.
nlohmann::json Describe(const vparams::Declaration& declared, const vparams::ParamEntry& entry) {
    const vparams::DeclaredParam& p = declared[entry.index];
    nlohmann::json j;
    j["label"] = p.name;
    j["animatable"] = (p.flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
    j["minimum"] = declared.Min(entry.index);
    j["maximum"] = declared.Max(entry.index);
    j["decimals"] = p.precision;
    switch (p.type) {
        case PF_Param_POPUP: {
            nlohmann::json names = nlohmann::json::array();
            for (size_t k = 1; k <= p.choices.size(); ++k) {
                names.push_back(declared.ChoiceName(entry.index, static_cast<int>(k)));
            }
            j["choices"] = names;
            j["labels"] = p.choices;
            j["defaultValue"] = declared.ChoiceName(entry.index, static_cast<int>(p.dephault));
            break;
        }
        case PF_Param_POINT:
            // Percent of the frame's width and height.
            j["defaultValue"] = {p.default_x, p.default_y};
            break;
        case PF_Param_CHECKBOX:
            j["defaultValue"] = p.dephault != 0;
            j["text"] = p.box_text;
            break;
        default:
            j["defaultValue"] = p.dephault;
            break;
    }
    return j;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODULE OUT.js\n", argv[0]);
        return 2;
    }
    const std::string out_path = argv[2];
    try {
        vhost::PluginModule module(argv[1]);
        vhost::Host host(module, vhost::HostApp::Premiere);
        const vparams::Declaration declared = vparams::SetUpChecked(host);
        nlohmann::json all;
        for (const vparams::ParamEntry& entry : vparams::ParamTable()) all[entry.key] = Describe(declared, entry);

        // Written beside and renamed, so a failed run leaves no half file for the build to install.
        const std::string tmp = out_path + ".tmp";
        {
            std::ofstream out(tmp, std::ios::trunc);
            out << ".pragma library\n"
                << "// Made by the build from the parameters the Vellora module declares; do not edit.\n"
                << "var params = " << all.dump(2) << ";\n";
            out.flush();
            if (!out) throw std::runtime_error("cannot write " + tmp);
        }
        if (std::rename(tmp.c_str(), out_path.c_str()) != 0) throw std::runtime_error("cannot rename " + tmp);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_shotcut_params: %s: %s\n", out_path.c_str(), e.what());
        return 1;
    }
    return 0;
}
