// `vellora info`: what a host learns from the effect when it loads it.
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/ApiNames.h"
#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "host/SetUp.h"

namespace vcli {

namespace {

using vhost::FourCC;
using vhost::OutFlagNames;
using vhost::PixelFormatName;

struct InfoOptions {
    std::string host = "ae";
    std::string module;
    bool json = false;
};

const double kFix = 1.0 / 65536.0;

std::string Hex(A_u_long value) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%X", static_cast<unsigned>(value));
    return buf;
}

std::string Num(double value, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%.*f", precision, value);
    return buf;
}

const char* TypeName(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER:
            return "layer";
        case PF_Param_SLIDER:
            return "slider";
        case PF_Param_FIX_SLIDER:
            return "fixed slider";
        case PF_Param_ANGLE:
            return "angle";
        case PF_Param_CHECKBOX:
            return "checkbox";
        case PF_Param_COLOR:
            return "color";
        case PF_Param_POINT:
            return "point";
        case PF_Param_POPUP:
            return "popup";
        case PF_Param_CUSTOM:
            return "custom";
        case PF_Param_NO_DATA:
            return "no data";
        case PF_Param_FLOAT_SLIDER:
            return "float slider";
        default:
            return "unknown";
    }
}

// The first `count` entries of a "|"-separated choice text; a trailing "|" adds none.
std::vector<std::string> Choices(const char* text, int count) {
    std::vector<std::string> choices;
    if (!text) return choices;
    std::string all(text);
    size_t start = 0;
    while (static_cast<int>(choices.size()) < count && start <= all.size()) {
        const size_t bar = all.find('|', start);
        choices.push_back(all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return choices;
}

std::string Percent(PF_Fixed value, int precision) { return Num(value * kFix, precision) + "%"; }

struct ParamView {
    nlohmann::json json;
    std::string type;
    std::string dephault;
    std::string range;
    std::string extra;
};

ParamView DescribeParam(const PF_ParamDef& p, int index, A_long id) {
    ParamView view;
    nlohmann::json& j = view.json;
    view.type = TypeName(p.param_type);
    j["index"] = index;
    if (index > 0) j["id"] = id;
    j["name"] = std::string(p.name);
    j["type"] = view.type;
    j["animatable"] = (p.flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
    switch (p.param_type) {
        case PF_Param_POPUP: {
            const auto choices = Choices(p.u.pd.u.namesptr, p.u.pd.num_choices);
            j["choices"] = choices;
            j["num_choices"] = p.u.pd.num_choices;
            j["default"] = p.u.pd.dephault;
            j["value"] = p.u.pd.value;
            const int d = p.u.pd.dephault;
            if (d >= 1 && d <= static_cast<int>(choices.size())) {
                view.dephault = std::to_string(d) + " " + choices[static_cast<size_t>(d - 1)];
            } else {
                view.dephault = std::to_string(d);
            }
            std::string list;
            for (size_t i = 0; i < choices.size(); ++i) list += (i ? " | " : "") + choices[i];
            view.extra = "choices: " + list;
            break;
        }
        case PF_Param_POINT:
            j["default"] = {p.u.td.x_dephault * kFix, p.u.td.y_dephault * kFix};
            j["value"] = {p.u.td.x_value * kFix, p.u.td.y_value * kFix};
            j["default_units"] = "percent of the layer";
            j["restrict_bounds"] = p.u.td.restrict_bounds != 0;
            view.dephault = Percent(p.u.td.x_dephault, 1) + ", " + Percent(p.u.td.y_dephault, 1);
            view.extra = "of the layer's width and height";
            break;
        case PF_Param_FLOAT_SLIDER: {
            const auto& f = p.u.fs_d;
            j["default"] = f.dephault;
            j["value"] = f.value;
            j["valid_range"] = {f.valid_min, f.valid_max};
            j["slider_range"] = {f.slider_min, f.slider_max};
            j["precision"] = f.precision;
            j["display_flags"] = f.display_flags;
            j["curve_tolerance"] = f.curve_tolerance;
            const int prec = f.precision;
            view.dephault = Num(f.dephault, prec);
            view.range = Num(f.valid_min, prec) + " .. " + Num(f.valid_max, prec);
            if (f.slider_min != f.valid_min || f.slider_max != f.valid_max) {
                view.extra = "slider " + Num(f.slider_min, prec) + " .. " + Num(f.slider_max, prec);
            }
            break;
        }
        case PF_Param_FIX_SLIDER: {
            const auto& f = p.u.fd;
            const bool percent = (f.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
            const std::string unit = percent ? "%" : "";
            j["default"] = f.dephault * kFix;
            j["value"] = f.value * kFix;
            j["valid_range"] = {f.valid_min * kFix, f.valid_max * kFix};
            j["slider_range"] = {f.slider_min * kFix, f.slider_max * kFix};
            j["precision"] = f.precision;
            j["display_flags"] = f.display_flags;
            if (percent) j["unit"] = "percent";
            view.dephault = Num(f.dephault * kFix, f.precision) + unit;
            view.range = Num(f.valid_min * kFix, f.precision) + " .. " + Num(f.valid_max * kFix, f.precision) + unit;
            if (f.slider_min != f.valid_min || f.slider_max != f.valid_max) {
                view.extra = "slider " + Num(f.slider_min * kFix, f.precision) + " .. " +
                             Num(f.slider_max * kFix, f.precision) + unit;
            }
            break;
        }
        case PF_Param_ANGLE:
            j["default"] = p.u.ad.dephault * kFix;
            j["value"] = p.u.ad.value * kFix;
            j["unit"] = "degrees";
            view.dephault = Num(p.u.ad.dephault * kFix, 1) + " deg";
            break;
        case PF_Param_CHECKBOX: {
            const std::string text = p.u.bd.u.nameptr ? p.u.bd.u.nameptr : "";
            j["default"] = p.u.bd.dephault != 0;
            j["value"] = p.u.bd.value != 0;
            j["text"] = text;
            view.dephault = p.u.bd.dephault ? "on" : "off";
            view.extra = "box text: \"" + text + "\"";
            break;
        }
        default:
            break;
    }
    return view;
}

std::string Pad(const std::string& text, size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

void RunInfo(const InfoOptions& options) {
    const vhost::HostApp app = vhost::ParseHostApp(options.host);
    const std::string path = options.module.empty() ? vhost::DefaultModulePath() : options.module;
    vhost::PluginModule module(path);
    auto host = std::make_unique<vhost::Host>(module, app);

    vhost::ThrowIfError(host->About(), "plug-in '" + path + "' failed About");
    const std::string about = host->OutData().return_msg;
    const PF_OutData global = vhost::SetUpEffect(*host);
    vhost::RequireBalancedLedgers(*host);

    const A_u_long v = global.my_version;
    const unsigned major = (v >> 19) & 0x7u, minor = (v >> 15) & 0xFu, bug = (v >> 11) & 0xFu;
    const unsigned stage = (v >> 9) & 0x3u, build = v & 0x1FFu;
    static const char* kStages[] = {"develop", "alpha", "beta", "release"};
    const A_long appl_id = host->InData().appl_id;
    const auto formats = host->SupportedPixelFormats();
    const auto& params = host->Params();
    const auto& ids = host->ParamIds();
    const PF_CustomUIInfo& ui = host->RegisteredUI();

    if (options.json) {
        nlohmann::json j;
        j["module"] = path;
        j["host"] = vhost::HostAppName(app);
        j["appl_id"] = FourCC(appl_id, false);
        j["about"] = about;
        j["version"] = {{"major", major}, {"minor", minor}, {"bugfix", bug}, {"stage", kStages[stage]},
                        {"build", build}, {"packed", v}, {"packed_hex", Hex(v)}};
        j["out_flags"] = {{"value", global.out_flags}, {"hex", Hex(static_cast<A_u_long>(global.out_flags))},
                          {"names", OutFlagNames(global.out_flags)}};
        if (host->IsPremiere()) {
            nlohmann::json list = nlohmann::json::array();
            for (PrPixelFormat f : formats) {
                list.push_back({{"name", PixelFormatName(f)}, {"fourcc", FourCC(f, true)}, {"value", f}});
            }
            j["pixel_formats"] = list;
        }
        j["num_params"] = host->OutData().num_params;
        nlohmann::json list = nlohmann::json::array();
        for (size_t i = 0; i < params.size(); ++i) {
            list.push_back(DescribeParam(params[i], static_cast<int>(i), ids[i]).json);
        }
        j["params"] = list;
        j["custom_ui"] = {{"registered", host->UIRegistered()},
                          {"composition_window", (ui.events & PF_CustomEFlag_COMP) != 0},
                          {"layer_window", (ui.events & PF_CustomEFlag_LAYER) != 0},
                          {"effect_controls", (ui.events & PF_CustomEFlag_EFFECT) != 0}};
        std::printf("%s\n", j.dump(2).c_str());
        return;
    }

    std::ostringstream out;
    // The About box breaks its text at the carriage return.
    std::string shown = about;
    for (char& c : shown) {
        if (c == '\r') c = '\n';
    }
    out << shown << "\n\n";
    out << "Module:         " << path << "\n";
    out << "Host:           " << (host->IsPremiere() ? "Premiere" : "After Effects") << " (appl_id '"
        << FourCC(appl_id, false) << "')\n";
    out << "Version:        " << major << "." << minor;
    if (bug) out << "." << bug;
    out << " (" << kStages[stage] << ", build " << build << "), packed " << Hex(v) << "\n";
    out << "Output flags:   " << Hex(static_cast<A_u_long>(global.out_flags));
    for (const auto& name : OutFlagNames(global.out_flags)) out << " " << name;
    out << "\n";
    if (host->IsPremiere()) {
        out << "Pixel formats:  ";
        if (formats.empty()) out << "(none registered)";
        for (size_t i = 0; i < formats.size(); ++i) {
            out << (i ? ", " : "") << PixelFormatName(formats[i]) << " ('" << FourCC(formats[i], true) << "')";
        }
        out << "\n";
    }
    out << "Overlay:        ";
    if (!host->UIRegistered() || !(ui.events & (PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER | PF_CustomEFlag_EFFECT))) {
        out << "none";
    } else {
        std::vector<std::string> where;
        if (ui.events & PF_CustomEFlag_COMP) where.push_back("composition");
        if (ui.events & PF_CustomEFlag_LAYER) where.push_back("layer");
        if (ui.events & PF_CustomEFlag_EFFECT) where.push_back("effect controls");
        for (size_t i = 0; i < where.size(); ++i) out << (i ? (i + 1 == where.size() ? " and " : ", ") : "") << where[i];
        out << " window" << (where.size() > 1 ? "s" : "");
    }
    out << "\n\n";
    out << "Effect controls (" << host->OutData().num_params << " parameters, input layer included):\n";
    out << "  " << Pad("#", 3) << Pad("id", 4) << Pad("name", 17) << Pad("type", 14) << Pad("default", 14)
        << Pad("range", 18) << "notes\n";
    for (size_t i = 0; i < params.size(); ++i) {
        const ParamView view = DescribeParam(params[i], static_cast<int>(i), ids[i]);
        std::string line = "  " + Pad(std::to_string(i), 3) + Pad(i ? std::to_string(ids[i]) : "-", 4) +
                           Pad(params[i].name, 17) + Pad(view.type, 14) + Pad(view.dephault, 14) +
                           Pad(view.range, 18);
        std::string notes = view.extra;
        if (params[i].param_type != PF_Param_LAYER && (params[i].flags & PF_ParamFlag_CANNOT_TIME_VARY)) {
            notes = notes.empty() ? "not animatable" : "not animatable; " + notes;
        }
        line += notes;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
    std::fputs(out.str().c_str(), stdout);
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* cmd = app.add_subcommand(
        "info",
        "Show what a host learns: About text, version, flags, controls\n\n"
        "Load the plug-in as a host does (About, global set-up, parameter set-up) and show\n"
        "its About text, version, output flags, pixel formats and effect controls.");
    cmd->add_option("--host", options->host, "Host to act as: 'ae' (After Effects) or 'premiere'")
        ->type_name("ae|premiere")
        ->capture_default_str();
    cmd->add_flag("--json", options->json, "Print the same information as JSON");
    cmd->add_option("--module", options->module,
                    "Plug-in module to load (default: $VELLORA_MODULE, else the Vellora.so that came with vellora)")
        ->type_name("PATH")
        ->check(NonEmpty());
    cmd->callback([options]() { RunInfo(*options); });
}

}  // namespace vcli
