// `vellora info`: what a host learns from the effect when it loads it.
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/FixedPoint.h"
#include "host/ApiNames.h"
#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "host/SetUp.h"
#include "support/InputError.h"
#include "support/Text.h"

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

using vfixed::ToDouble;

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

std::string Percent(PF_Fixed value, int precision) { return Num(ToDouble(value), precision) + "%"; }

struct ParamView {
    nlohmann::json json;
    std::string type;
    std::string dephault;
    std::string range;
    std::string extra;
};

void DescribePopup(const PF_ParamDef& p, ParamView& view) {
    nlohmann::json& j = view.json;
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
    view.extra = "choices: " + vtext::Join(choices, " | ");
}

void DescribePoint(const PF_ParamDef& p, ParamView& view) {
    nlohmann::json& j = view.json;
    j["default"] = {ToDouble(p.u.td.x_dephault), ToDouble(p.u.td.y_dephault)};
    j["value"] = {ToDouble(p.u.td.x_value), ToDouble(p.u.td.y_value)};
    j["default_units"] = "percent of the layer";
    j["restrict_bounds"] = p.u.td.restrict_bounds != 0;
    view.dephault = Percent(p.u.td.x_dephault, 1) + ", " + Percent(p.u.td.y_dephault, 1);
    view.extra = "of the layer's width and height";
}

void DescribeFloatSlider(const PF_ParamDef& p, ParamView& view) {
    nlohmann::json& j = view.json;
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
}

void DescribeFixSlider(const PF_ParamDef& p, ParamView& view) {
    nlohmann::json& j = view.json;
    const auto& f = p.u.fd;
    const bool percent = (f.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
    const std::string unit = percent ? "%" : "";
    j["default"] = ToDouble(f.dephault);
    j["value"] = ToDouble(f.value);
    j["valid_range"] = {ToDouble(f.valid_min), ToDouble(f.valid_max)};
    j["slider_range"] = {ToDouble(f.slider_min), ToDouble(f.slider_max)};
    j["precision"] = f.precision;
    j["display_flags"] = f.display_flags;
    if (percent) j["unit"] = "percent";
    const auto num = [&](PF_Fixed v) { return Num(ToDouble(v), f.precision); };
    view.dephault = num(f.dephault) + unit;
    view.range = num(f.valid_min) + " .. " + num(f.valid_max) + unit;
    if (f.slider_min != f.valid_min || f.slider_max != f.valid_max) {
        view.extra = "slider " + num(f.slider_min) + " .. " + num(f.slider_max) + unit;
    }
}

void DescribeAngle(const PF_ParamDef& p, ParamView& view) {
    view.json["default"] = ToDouble(p.u.ad.dephault);
    view.json["value"] = ToDouble(p.u.ad.value);
    view.json["unit"] = "degrees";
    view.dephault = Num(ToDouble(p.u.ad.dephault), 1) + " deg";
}

void DescribeCheckbox(const PF_ParamDef& p, ParamView& view) {
    const std::string text = p.u.bd.u.nameptr ? p.u.bd.u.nameptr : "";
    view.json["default"] = p.u.bd.dephault != 0;
    view.json["value"] = p.u.bd.value != 0;
    view.json["text"] = text;
    view.dephault = p.u.bd.dephault ? "on" : "off";
    view.extra = "box text: \"" + text + "\"";
}

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
        case PF_Param_POPUP:
            DescribePopup(p, view);
            break;
        case PF_Param_POINT:
            DescribePoint(p, view);
            break;
        case PF_Param_FLOAT_SLIDER:
            DescribeFloatSlider(p, view);
            break;
        case PF_Param_FIX_SLIDER:
            DescribeFixSlider(p, view);
            break;
        case PF_Param_ANGLE:
            DescribeAngle(p, view);
            break;
        case PF_Param_CHECKBOX:
            DescribeCheckbox(p, view);
            break;
        default:
            break;
    }
    return view;
}

std::string Pad(const std::string& text, size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

// The packed version: major (3 bits from bit 19), minor and bug fix (4 bits from 15 and 11), stage (2 bits
// from 9) and build (9 bits).
struct Version {
    A_u_long packed;
    unsigned major, minor, bug, stage, build;
    const char* StageName() const {
        static const char* kStages[] = {"develop", "alpha", "beta", "release"};
        return kStages[stage];
    }
};

Version DecodeVersion(A_u_long v) {
    const auto bits = [v](int shift, A_u_long mask) { return static_cast<unsigned>((v >> shift) & mask); };
    return Version{v, bits(19, 0x7u), bits(15, 0xFu), bits(11, 0xFu), bits(9, 0x3u), bits(0, 0x1FFu)};
}

// What a host learned while loading the effect.
struct EffectInfo {
    std::string path;
    vhost::HostApp app;
    std::string about;
    PF_OutData global;
};

void PrintJson(vhost::Host& host, const EffectInfo& info) {
    const Version v = DecodeVersion(info.global.my_version);
    const PF_CustomUIInfo& ui = host.RegisteredUI();
    nlohmann::json j;
    j["module"] = info.path;
    j["host"] = vhost::HostAppName(info.app);
    j["appl_id"] = FourCC(host.InData().appl_id, false);
    j["about"] = info.about;
    j["version"] = {{"major", v.major}, {"minor", v.minor}, {"bugfix", v.bug},          {"stage", v.StageName()},
                    {"build", v.build}, {"packed", v.packed}, {"packed_hex", Hex(v.packed)}};
    j["out_flags"] = {{"value", info.global.out_flags},
                      {"hex", Hex(static_cast<A_u_long>(info.global.out_flags))},
                      {"names", OutFlagNames(info.global.out_flags)}};
    if (host.IsPremiere()) {
        nlohmann::json list = nlohmann::json::array();
        for (PrPixelFormat f : host.SupportedPixelFormats()) {
            list.push_back({{"name", PixelFormatName(f)}, {"fourcc", FourCC(f, true)}, {"value", f}});
        }
        j["pixel_formats"] = list;
    }
    j["num_params"] = host.OutData().num_params;
    nlohmann::json list = nlohmann::json::array();
    for (size_t i = 0; i < host.Params().size(); ++i) {
        list.push_back(DescribeParam(host.Params()[i], static_cast<int>(i), host.ParamIds()[i]).json);
    }
    j["params"] = list;
    j["custom_ui"] = {{"registered", host.UIRegistered()},
                      {"composition_window", (ui.events & PF_CustomEFlag_COMP) != 0},
                      {"layer_window", (ui.events & PF_CustomEFlag_LAYER) != 0},
                      {"effect_controls", (ui.events & PF_CustomEFlag_EFFECT) != 0}};
    std::printf("%s\n", j.dump(2).c_str());
}

// "composition and layer windows", or "none".
std::string OverlayWindows(const vhost::Host& host) {
    const PF_CustomUIInfo& ui = host.RegisteredUI();
    if (!host.UIRegistered() || !(ui.events & (PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER | PF_CustomEFlag_EFFECT))) {
        return "none";
    }
    std::vector<std::string> where;
    if (ui.events & PF_CustomEFlag_COMP) where.push_back("composition");
    if (ui.events & PF_CustomEFlag_LAYER) where.push_back("layer");
    if (ui.events & PF_CustomEFlag_EFFECT) where.push_back("effect controls");
    return vtext::Join(where, ", ", " and ") + " window" + (where.size() > 1 ? "s" : "");
}

void PrintSummary(std::ostream& out, vhost::Host& host, const EffectInfo& info) {
    const Version v = DecodeVersion(info.global.my_version);
    // The About box breaks its text at the carriage return.
    std::string shown = info.about;
    for (char& c : shown) {
        if (c == '\r') c = '\n';
    }
    out << shown << "\n\n";
    out << "Module:         " << info.path << "\n";
    out << "Host:           " << (host.IsPremiere() ? "Premiere" : "After Effects") << " (appl_id '"
        << FourCC(host.InData().appl_id, false) << "')\n";
    out << "Version:        " << v.major << "." << v.minor;
    if (v.bug) out << "." << v.bug;
    out << " (" << v.StageName() << ", build " << v.build << "), packed " << Hex(v.packed) << "\n";
    out << "Output flags:   " << Hex(static_cast<A_u_long>(info.global.out_flags));
    for (const auto& name : OutFlagNames(info.global.out_flags)) out << " " << name;
    out << "\n";
    if (host.IsPremiere()) {
        const auto formats = host.SupportedPixelFormats();
        std::vector<std::string> names;
        for (PrPixelFormat f : formats) names.push_back(std::string(PixelFormatName(f)) + " ('" + FourCC(f, true) + "')");
        out << "Pixel formats:  " << (formats.empty() ? "(none registered)" : vtext::Join(names)) << "\n";
    }
    out << "Overlay:        " << OverlayWindows(host) << "\n\n";
}

void PrintControls(std::ostream& out, vhost::Host& host) {
    const auto& params = host.Params();
    const auto& ids = host.ParamIds();
    out << "Effect controls (" << host.OutData().num_params << " parameters, input layer included):\n";
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
}

void RunInfo(const InfoOptions& options) {
    EffectInfo info;
    info.app = vhost::ParseHostApp(options.host, "--host");
    info.path = options.module.empty() ? vhost::DefaultModulePath() : options.module;
    vhost::PluginModule module(info.path);
    auto host = std::make_unique<vhost::Host>(module, info.app);
    vhost::ThrowIfError(host->About(), "plug-in '" + info.path + "' failed About");
    info.about = host->OutData().return_msg;
    info.global = vhost::SetUpEffect(*host);
    vhost::RequireBalancedLedgers(*host);

    if (options.json) {
        PrintJson(*host, info);
        return;
    }
    std::ostringstream out;
    PrintSummary(out, *host, info);
    PrintControls(out, *host);
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
