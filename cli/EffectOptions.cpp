#include "cli/EffectOptions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "imaging/AtomicFile.h"
#include "host/HostError.h"
#include "imaging/TestCard.h"

namespace vcli {

namespace {

using vhost::HostError;

double ParseRanged(const std::string& text, const std::string& option, double lo, double hi,
                   const char* unit) {
    const double value = ParseNumber(text, option);
    if (value < lo || value > hi) {
        throw HostError(option + " " + Trim(text) + " is out of range (" + std::to_string(static_cast<int>(lo)) +
                        " to " + std::to_string(static_cast<int>(hi)) + unit + ")");
    }
    return value;
}

long ParseInteger(const std::string& text, const std::string& option, long lo, long hi) {
    const std::string trimmed = Trim(text);
    const size_t digits = trimmed.find_first_not_of("+-") == 1 ? 1 : 0;
    const bool decimal = trimmed.size() > digits && trimmed.find_first_not_of("0123456789", digits) == std::string::npos;
    errno = 0;
    const long value = decimal ? std::strtol(trimmed.c_str(), nullptr, 10) : 0;
    if (!decimal) {
        throw HostError(option + " '" + text + "' is not a whole number");
    }
    if (errno == ERANGE || value < lo || value > hi) {
        throw HostError(option + " " + trimmed + " is out of range (" + std::to_string(lo) + " to " +
                        std::to_string(hi) + ")");
    }
    return value;
}

template <class Parse>
int ParseChoiceOption(const std::string& text, const std::string& option, Parse parse) {
    try {
        return parse(Trim(text));
    } catch (const HostError& e) {
        throw HostError(option + ": " + e.what());
    }
}

vparams::EffectValues ReadParamsFile(const std::string& path) {
    const std::string text = vimaging::ReadTextFile(path, vparams::kMaxParamsBytes, "--params");
    return vparams::EffectValuesFromJsonText(text, vparams::EffectValues{}, "--params: '" + path + "'");
}

int Rank(vimaging::SampleType type) { return type == vimaging::SampleType::U8 ? 0 : type == vimaging::SampleType::U16 ? 1 : 2; }

}  // namespace

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

double ParseNumber(const std::string& text, const std::string& option) {
    // Decimal only: strtod alone would also take "0x10", "inf" and "nan".
    const std::string t = Trim(text);
    size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    const auto digits = [&] {
        const size_t from = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        return i - from;
    };
    size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    bool ok = mantissa > 0;
    if (ok && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        ok = digits() > 0;
    }
    if (!ok || i != t.size()) {
        throw HostError(option + " '" + text + "' is not a number");
    }
    errno = 0;
    const double value = std::strtod(t.c_str(), nullptr);
    // Underflow gives 0 or a denormal, which is the number; overflow is not.
    if (errno == ERANGE && std::fabs(value) > 1.0) {
        throw HostError(option + " " + t + " is out of range");
    }
    return value;
}

CLI::Validator NonEmpty() {
    return CLI::Validator(
        [](std::string& value) {
            return value.find_first_not_of(" \t") == std::string::npos ? std::string("the value is empty")
                                                                         : std::string();
        },
        "", "");
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
        ->check(NonEmpty())
        ->group("Host");
    app->add_option("--depth", o.depth,
                    "Frame depth: 8 or 16 under ae (ARGB worlds), 8 or float under premiere (BGRA frames) "
                    "[the input's: 16-bit files at 16 under ae and float under premiere, float files at float "
                    "under premiere and 16 under ae]")
        ->type_name("8|16|float")
        ->check(NonEmpty())
        ->group("Host");
    app->add_option("--downsample", o.downsample,
                    "Render at 1/N resolution on both axes, like a reduced-resolution preview (1 to 64)")
        ->type_name("N")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group("Host");
    app->add_option("--par", o.par, "Pixel aspect ratio as NUM/DEN, each 1 to 1000 (e.g. 2/1)")
        ->type_name("NUM/DEN")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group("Host");
    app->add_option("--threads", o.threads, "Render threads, 0 to 256 (0 = all cores)")
        ->type_name("N")
        ->capture_default_str()
        ->check(NonEmpty())
        ->group("Host");
    app->add_option("--module", o.module,
                    "Plug-in module to load (default: $VELLORA_MODULE, else Vellora.so beside vellora)")
        ->type_name("PATH")
        ->check(NonEmpty())
        ->group("Host");

    const char* effect = "Effect parameters (defaults are the effect's)";
    const auto add = [&](const char* name, std::string& value, const char* help, const char* type) {
        app->add_option(name, value, help)->type_name(type)->check(NonEmpty())->group(effect);
    };
    add("--params", o.params_file,
        "JSON file of parameter values by name (mask_type, composite_mode, origin, width, height, angle, feather, "
        "opacity, invert, falloff); options below win over it",
        "FILE");
    add("--mask", o.mask, "Mask shape: ellipse or rectangle [ellipse]", "SHAPE");
    add("--mode", o.mode, "Composite mode: add, subtract, intersect or create [create]", "MODE");
    add("--origin", o.origin, "Mask centre X,Y in layer pixels [layer centre]", "X,Y");
    add("--width", o.width, "Mask width in pixels, 0 to 15000 [300]", "PIXELS");
    add("--height", o.height, "Mask height in pixels, 0 to 15000 [200]", "PIXELS");
    add("--feather", o.feather, "Feather width in pixels, 0 to 15000 [0]", "PIXELS");
    add("--angle", o.angle, "Rotation in degrees, clockwise on screen [0]", "DEGREES");
    add("--opacity", o.opacity, "Opacity in percent, 0 to 100 [100]", "PERCENT");
    auto* invert = app->add_flag("--invert", o.invert, "Invert the mask")->group(effect);
    auto* no_invert = app->add_flag("--no-invert", o.no_invert, "Do not invert (over a --params file)")->group(effect);
    invert->excludes(no_invert);
    add("--falloff", o.falloff, "Feather curve: linear, quadratic, cubic, gamma, gaussian or exponential [linear]",
        "CURVE");
}

ResolvedEffect ResolveEffectOptions(const EffectOptions& o) {
    ResolvedEffect r;
    try {
        r.host_app = vhost::ParseHostApp(Trim(o.host));
    } catch (const HostError& e) {
        throw HostError(std::string("--host: ") + e.what());
    }

    const std::string depth = Trim(o.depth);
    r.depth_given = !depth.empty();
    const bool ae = r.host_app == vhost::HostApp::AfterEffects;
    if (depth.empty() || depth == "8") {
        r.layout = ae ? vhost::PixelLayout::ARGB8 : vhost::PixelLayout::BGRA8;
    } else if (depth == "16" && ae) {
        r.layout = vhost::PixelLayout::ARGB16;
    } else if (depth == "float" && !ae) {
        r.layout = vhost::PixelLayout::BGRA32F;
    } else if (depth == "float") {
        throw HostError("--depth float needs --host premiere (After Effects renders 8 or 16-bit worlds)");
    } else if (depth == "16") {
        throw HostError("--depth 16 needs --host ae (Premiere renders 8-bit or float BGRA frames)");
    } else {
        throw HostError("--depth '" + o.depth + "' is not a depth (expected 8, 16 or float)");
    }
    r.file_type = vimaging::WorldSampleType(r.layout);

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

    vparams::EffectValues& v = r.values;
    if (!o.params_file.empty()) {
        v = ReadParamsFile(o.params_file);
    }
    if (!o.mask.empty()) v.mask_type = ParseChoiceOption(o.mask, "--mask", vparams::ParseMaskType);
    if (!o.mode.empty()) v.composite_mode = ParseChoiceOption(o.mode, "--mode", vparams::ParseCompositeMode);
    if (!o.falloff.empty()) v.falloff = ParseChoiceOption(o.falloff, "--falloff", vparams::ParseFalloff);
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

void FollowInputDepth(ResolvedEffect& effect, vimaging::SampleType input, const std::string& input_name) {
    using vhost::PixelLayout;
    using vimaging::SampleType;
    const bool ae = effect.host_app == vhost::HostApp::AfterEffects;
    const std::string name = "'" + input_name + "'";
    if (!effect.depth_given) {
        effect.file_type = input;
        if (input == SampleType::U8) {
            effect.layout = ae ? PixelLayout::ARGB8 : PixelLayout::BGRA8;
        } else {
            effect.layout = ae ? PixelLayout::ARGB16 : PixelLayout::BGRA32F;
        }
        if (ae && input == SampleType::F32) {
            effect.warnings.push_back(name + " holds float samples and After Effects renders at most 16 bits: values "
                                      "outside 0..1 are clamped (--host premiere renders float)");
        }
        return;
    }
    effect.file_type = vimaging::WorldSampleType(effect.layout);
    if (Rank(effect.file_type) < Rank(input)) {
        effect.warnings.push_back(std::string("--depth ") + (effect.file_type == SampleType::U8 ? "8" : "16") + ": " +
                                  name + " holds " + vimaging::SampleTypeName(input) + " samples; they are rounded to " +
                                  (effect.file_type == SampleType::U8 ? "8" : "16") + " bits" +
                                  (input == SampleType::F32 ? " and values outside 0..1 are clamped" : ""));
    }
}

InputImage::InputImage(const std::string& name) : name_(name) {
    if (const auto card = vimaging::ParseTestCardName(name)) {
        card_width_ = card->first;
        card_height_ = card->second;
        return;
    }
    file_.emplace(name);
}

int InputImage::Width() const { return file_ ? file_->Width() : card_width_; }
int InputImage::Height() const { return file_ ? file_->Height() : card_height_; }
vimaging::SampleType InputImage::Type() const { return file_ ? file_->Type() : vimaging::SampleType::U8; }
std::shared_ptr<const vimaging::ImageSource> InputImage::Source() const { return file_ ? file_->Source() : nullptr; }

void InputImage::ReadInto(vhost::World& world) {
    if (file_) {
        file_->ReadInto(world);
        return;
    }
    // The card is drawn a band at a time, so it never exists twice.
    for (int y0 = 0; y0 < card_height_; y0 += 64) {
        const int rows = std::min(64, card_height_ - y0);
        const vimaging::Image band = vimaging::MakeTestCardRows(card_width_, card_height_, y0, rows);
        for (int y = 0; y < rows; ++y) vimaging::ImageRowToWorld(band, y, world, y0 + y);
    }
}

vimaging::Image InputImage::Read() {
    return file_ ? file_->Read() : vimaging::MakeTestCard(card_width_, card_height_);
}

vimaging::Image LoadInputImage(const std::string& name) { return InputImage(name).Read(); }

vhost::World LoadInputWorld(InputImage& input, const ResolvedEffect& effect) {
    vhost::World world = [&] {
        if (effect.downsample > 1) {
            return vimaging::ImageToWorld(vimaging::DownsampleImage(input.Read(), effect.downsample), effect.layout);
        }
        vhost::World read(effect.layout, input.Width(), input.Height());
        input.ReadInto(read);
        return read;
    }();
    PrintWarnings(effect);
    return world;
}

void PrintWarning(const std::string& warning) { std::fprintf(stderr, "vellora: warning: %s\n", warning.c_str()); }

void PrintWarnings(const ResolvedEffect& effect) {
    for (const std::string& warning : effect.warnings) PrintWarning(warning);
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
    vparams::ApplyEffectValues(*host_, effect.values, layer_width, layer_height);
}

}  // namespace vcli
