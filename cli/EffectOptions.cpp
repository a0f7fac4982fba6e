#include "EffectOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

#include <nlohmann/json.hpp>

#include "HostError.h"
#include "TestCard.h"

namespace vcli {

namespace {

using vhost::HostError;

double ParseRanged(const std::string& text, const std::string& option, double lo, double hi,
                   const char* unit) {
    const double value = ParseNumber(text, option);
    if (value < lo || value > hi) {
        throw HostError(option + " " + text + " is out of range (" + std::to_string(static_cast<int>(lo)) +
                        " to " + std::to_string(static_cast<int>(hi)) + unit + ")");
    }
    return value;
}

long ParseInteger(const std::string& text, const std::string& option, long lo, long hi) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (text.empty() || end == begin || *end != '\0' || errno == ERANGE) {
        throw HostError(option + " '" + text + "' is not a whole number");
    }
    if (value < lo || value > hi) {
        throw HostError(option + " " + text + " is out of range (" + std::to_string(lo) + " to " +
                        std::to_string(hi) + ")");
    }
    return value;
}

template <class Parse>
int ParseChoiceOption(const std::string& text, const std::string& option, Parse parse) {
    try {
        return parse(text);
    } catch (const HostError& e) {
        throw HostError(option + ": " + e.what());
    }
}

vhost::EffectValues ReadParamsFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw HostError("--params: cannot read '" + path + "': " + std::strerror(errno));
    }
    nlohmann::json json;
    try {
        in >> json;
    } catch (const nlohmann::json::exception& e) {
        std::string what = e.what();
        throw HostError("--params: '" + path + "' is not valid JSON: " + what.substr(what.find(']') + 2));
    }
    return vhost::EffectValuesFromJson(json, vhost::EffectValues{}, "'" + path + "'");
}

}  // namespace

double ParseNumber(const std::string& text, const std::string& option) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (text.empty() || end == begin || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        throw HostError(option + " '" + text + "' is not a number");
    }
    return value;
}

void RequireBalancedLedgers(const vhost::Host& host, const std::string& module_path) {
    const std::string problems = host.LedgerReport();
    if (!problems.empty()) {
        throw HostError("plug-in '" + module_path + "' did not give back what it took: " + problems);
    }
}

void AddEffectOptions(CLI::App* app, EffectOptions& o) {
    app->add_option("--host", o.host, "Host to act as: ae (After Effects) or premiere")
        ->type_name("ae|premiere")
        ->capture_default_str()
        ->group("Host");
    app->add_option("--depth", o.depth,
                    "Frame depth: 8 or 16 under ae (ARGB worlds), 8 or float under premiere (BGRA frames)")
        ->type_name("8|16|float")
        ->capture_default_str()
        ->group("Host");
    app->add_option("--downsample", o.downsample,
                    "Render at 1/N resolution on both axes, like a reduced-resolution preview")
        ->type_name("N")
        ->capture_default_str()
        ->group("Host");
    app->add_option("--par", o.par, "Pixel aspect ratio as NUM/DEN (e.g. 2/1)")->type_name("NUM/DEN")->capture_default_str()->group("Host");
    app->add_option("--threads", o.threads, "Render threads (0 = all cores)")->type_name("N")->capture_default_str()->group("Host");
    app->add_option("--module", o.module, "Plug-in module to load (default: Vellora.so beside vellora)")
        ->type_name("PATH")
        ->group("Host");

    const char* effect = "Effect parameters (defaults are the effect's)";
    app->add_option("--params", o.params_file,
                    "JSON file of parameter values by name (mask_type, composite_mode, origin, width, height, "
                    "angle, feather, opacity, invert, falloff); options below win over it")
        ->type_name("FILE")
        ->group(effect);
    app->add_option("--mask", o.mask, "Mask shape: ellipse or rectangle [ellipse]")->type_name("SHAPE")->group(effect);
    app->add_option("--mode", o.mode, "Composite mode: add, subtract, intersect or create [create]")->type_name("MODE")->group(effect);
    app->add_option("--origin", o.origin, "Mask centre X,Y in layer pixels [layer centre]")->type_name("X,Y")->group(effect);
    app->add_option("--width", o.width, "Mask width in pixels, 0 to 15000 [300]")->type_name("PIXELS")->group(effect);
    app->add_option("--height", o.height, "Mask height in pixels, 0 to 15000 [200]")->type_name("PIXELS")->group(effect);
    app->add_option("--feather", o.feather, "Feather width in pixels, 0 to 15000 [0]")->type_name("PIXELS")->group(effect);
    app->add_option("--angle", o.angle, "Rotation in degrees, clockwise on screen [0]")->type_name("DEGREES")->group(effect);
    app->add_option("--opacity", o.opacity, "Opacity in percent, 0 to 100 [100]")->type_name("PERCENT")->group(effect);
    auto* invert = app->add_flag("--invert", o.invert, "Invert the mask")->group(effect);
    auto* no_invert = app->add_flag("--no-invert", o.no_invert, "Do not invert (over a --params file)")->group(effect);
    invert->excludes(no_invert);
    app->add_option("--falloff", o.falloff,
                    "Feather curve: linear, quadratic, cubic, gamma, gaussian or exponential [linear]")
        ->type_name("CURVE")
        ->group(effect);
}

ResolvedEffect ResolveEffectOptions(const EffectOptions& o) {
    ResolvedEffect r;
    try {
        r.host_app = vhost::ParseHostApp(o.host);
    } catch (const HostError& e) {
        throw HostError(std::string("--host: ") + e.what());
    }

    if (r.host_app == vhost::HostApp::AfterEffects) {
        if (o.depth == "8") {
            r.layout = vhost::PixelLayout::ARGB8;
        } else if (o.depth == "16") {
            r.layout = vhost::PixelLayout::ARGB16;
        } else if (o.depth == "float") {
            throw HostError("--depth float needs --host premiere (After Effects renders 8 or 16-bit worlds)");
        } else {
            throw HostError("--depth '" + o.depth + "' is not a depth (expected 8, 16 or float)");
        }
    } else {
        if (o.depth == "8") {
            r.layout = vhost::PixelLayout::BGRA8;
        } else if (o.depth == "float") {
            r.layout = vhost::PixelLayout::BGRA32F;
        } else if (o.depth == "16") {
            throw HostError("--depth 16 needs --host ae (Premiere renders 8-bit or float BGRA frames)");
        } else {
            throw HostError("--depth '" + o.depth + "' is not a depth (expected 8, 16 or float)");
        }
    }

    r.downsample = static_cast<int>(ParseInteger(o.downsample, "--downsample", 1, 64));
    r.threads = static_cast<int>(ParseInteger(o.threads, "--threads", 0, 256));

    {
        long num = 0, den = 1;
        const size_t slash = o.par.find('/');
        if (slash == std::string::npos) {
            num = ParseInteger(o.par, "--par", 1, 1000);
        } else {
            num = ParseInteger(o.par.substr(0, slash), "--par numerator", 1, 1000);
            den = ParseInteger(o.par.substr(slash + 1), "--par denominator", 1, 1000);
        }
        r.pixel_aspect = PF_RationalScale{static_cast<A_long>(num), static_cast<A_u_long>(den)};
    }

    vhost::EffectValues& v = r.values;
    if (!o.params_file.empty()) {
        v = ReadParamsFile(o.params_file);
    }
    if (!o.mask.empty()) v.mask_type = ParseChoiceOption(o.mask, "--mask", vhost::ParseMaskType);
    if (!o.mode.empty()) v.composite_mode = ParseChoiceOption(o.mode, "--mode", vhost::ParseCompositeMode);
    if (!o.falloff.empty()) v.falloff = ParseChoiceOption(o.falloff, "--falloff", vhost::ParseFalloff);
    if (!o.origin.empty()) {
        const size_t comma = o.origin.find(',');
        if (comma == std::string::npos) {
            throw HostError("--origin '" + o.origin + "' must be X,Y in layer pixels");
        }
        v.origin_x = ParseRanged(o.origin.substr(0, comma), "--origin x", -32767, 32767, "");
        v.origin_y = ParseRanged(o.origin.substr(comma + 1), "--origin y", -32767, 32767, "");
    }
    if (!o.width.empty()) v.width = ParseRanged(o.width, "--width", 0, 15000, " pixels");
    if (!o.height.empty()) v.height = ParseRanged(o.height, "--height", 0, 15000, " pixels");
    if (!o.feather.empty()) v.feather = ParseRanged(o.feather, "--feather", 0, 15000, " pixels");
    if (!o.angle.empty()) v.angle = ParseRanged(o.angle, "--angle", -32767, 32767, " degrees");
    if (!o.opacity.empty()) v.opacity = ParseRanged(o.opacity, "--opacity", 0, 100, " percent");
    if (o.invert) v.invert = true;
    if (o.no_invert) v.invert = false;

    r.module_path = o.module.empty() ? vhost::DefaultModulePath() : o.module;
    return r;
}

vhost::Image LoadInputImage(const std::string& name) {
    if (const auto card = vhost::ParseTestCardName(name)) {
        return vhost::MakeTestCard(card->first, card->second);
    }
    return vhost::ReadImage(name);
}

EffectSession::EffectSession(const ResolvedEffect& effect, int layer_width, int layer_height) {
    module_ = std::make_unique<vhost::PluginModule>(effect.module_path);
    host_ = std::make_unique<vhost::Host>(*module_, effect.host_app);
    host_->threads = effect.threads;
    const auto check = [&](PF_Err err, const char* what) {
        if (err != PF_Err_NONE) {
            throw HostError("plug-in '" + effect.module_path + "' failed " + what + " with error " +
                            DescribeError(err));
        }
    };
    check(host_->GlobalSetup(), "global set-up");
    check(host_->ParamsSetup(), "parameter set-up");
    vhost::ApplyEffectValues(*host_, effect.values, layer_width, layer_height);
}

}  // namespace vcli
