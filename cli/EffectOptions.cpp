#include "cli/EffectOptions.h"

#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "imaging/AtomicFile.h"
#include "imaging/ReadBudget.h"
#include "params/EffectParams.h"
#include "support/InputError.h"

namespace vcli {

namespace {

using vsupport::InputError;

// Follows a range in a message: "(0 to 15000 pixels)".
const char* UnitSuffix(vparams::Units units) {
    switch (units) {
        case vparams::Units::Pixels:
            return " pixels";
        case vparams::Units::Degrees:
            return " degrees";
        case vparams::Units::Percent:
            return " percent";
        default:
            return "";
    }
}

// Help for the effect's options, completed with what the module declares when
// help is shown: the module named by --module if given, else the default one.
class EffectHelp : public CLI::Formatter {
public:
    EffectHelp(const CLI::Option* module, const CLI::Option* host) : module_(module), host_(host) {}
    void Add(const CLI::Option* option, const vparams::ParamEntry* entry) { entries_[option] = entry; }

    std::string make_option_desc(const CLI::Option* option) const override {
        const auto it = entries_.find(option);
        if (it == entries_.end()) return CLI::Formatter::make_option_desc(option);
        if (const vparams::Declaration* declared = Declared()) return vparams::OptionHelp(*it->second, *declared);
        return std::string(it->second->help) + " [the module's default: it could not be loaded]";
    }

private:
    const vparams::Declaration* Declared() const {
        if (!tried_) {
            tried_ = true;
            try {
                const std::string path = module_->count() ? module_->as<std::string>() : vhost::DefaultModulePath();
                const vhost::HostApp app =
                    vhost::ParseHostApp(host_->count() ? Trim(host_->as<std::string>()) : std::string("ae"));
                declared_ = DeclarationOf(path, app);
            } catch (const std::exception&) {
            }
        }
        return declared_ ? &*declared_ : nullptr;
    }

    const CLI::Option* module_;
    const CLI::Option* host_;
    std::map<const CLI::Option*, const vparams::ParamEntry*> entries_;
    mutable bool tried_ = false;
    mutable std::optional<vparams::Declaration> declared_;
};

int Rank(vimaging::SampleType type) { return type == vimaging::SampleType::U8 ? 0 : type == vimaging::SampleType::U16 ? 1 : 2; }

}  // namespace

void AddInputArgument(CLI::App* app, std::string& input) {
    app->add_option("INPUT", input, "Input image file, or testcard: (also testcard:WIDTHxHEIGHT)")
        ->required()
        ->check(NonEmpty());
}

void AddReadBudgetOptions(CLI::App* app) {
    // Set as parsed, so every file the command opens is held to them.
    app->add_option_function<std::string>(
           "--max-pixels",
           [](const std::string& text) {
               vimaging::ReadBudget budget = vimaging::CurrentReadBudget();
               budget.max_pixels = vimaging::ParseCount(text, "--max-pixels");
               vimaging::SetReadBudget(budget);
           },
           "Refuse input files whose header claims more pixels than this (default: $VELLORA_MAX_PIXELS, "
           "else 268435456, 16384x16384)")
        ->type_name("N")
        ->group("Input limits");
    app->add_option_function<std::string>(
           "--max-memory",
           [](const std::string& text) {
               vimaging::ReadBudget budget = vimaging::CurrentReadBudget();
               budget.max_memory = vimaging::ParseByteSize(text, "--max-memory");
               vimaging::SetReadBudget(budget);
           },
           "Refuse input files whose samples would take more memory than this, as 512M, 4G (default: "
           "$VELLORA_MAX_MEMORY, else 4G)")
        ->type_name("SIZE")
        ->group("Input limits");
}

void AddEffectOptions(CLI::App* app, EffectOptions& o) {
    AddReadBudgetOptions(app);
    CLI::Option* host = app->add_option("--host", o.host, "Host to act as: ae (After Effects) or premiere")
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
    CLI::Option* module = app->add_option("--module", o.module,
                    "Plug-in module to load (default: $VELLORA_MODULE, else the Vellora.so that came with vellora)")
        ->type_name("PATH")
        ->check(NonEmpty())
        ->group("Host");

    auto help = std::make_shared<EffectHelp>(module, host);
    const char* effect = "Effect parameters (defaults are the effect's)";
    std::string keys;
    for (const vparams::ParamEntry& entry : vparams::ParamTable()) keys += (keys.empty() ? "" : ", ") + std::string(entry.key);
    app->add_option("--params", o.params_file,
                    "JSON file of parameter values by name (" + keys + "); options below win over it")
        ->type_name("FILE")
        ->check(NonEmpty())
        ->group(effect);
    const std::vector<vparams::ParamEntry>& table = vparams::ParamTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const vparams::ParamEntry& entry = table[i];
        EffectOptions::Param& param = o.params[i];
        if (entry.flag) {
            CLI::Option* on = app->add_flag(entry.option, param.on, entry.help)->group(effect);
            const std::string no = std::string("--no-") + (entry.option + 2);
            CLI::Option* off = app->add_flag(no, param.off, entry.value_name)->group(effect);
            on->excludes(off);
        } else {
            help->Add(app->add_option(entry.option, param.text, entry.help)
                          ->type_name(entry.value_name)
                          ->check(NonEmpty())
                          ->group(effect),
                      &entry);
        }
    }
    app->formatter(help);
}

ResolvedEffect ResolveEffectOptions(const EffectOptions& o) {
    ResolvedEffect r;
    r.host_app = OptionValue("--host", [&] { return vhost::ParseHostApp(Trim(o.host)); });

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
        throw InputError("--depth float needs --host premiere (After Effects renders 8 or 16-bit worlds)");
    } else if (depth == "16") {
        throw InputError("--depth 16 needs --host ae (Premiere renders 8-bit or float BGRA frames)");
    } else {
        throw InputError("--depth '" + o.depth + "' is not a depth (expected 8, 16 or float)");
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

    // The values are held to what the module declares.
    r.module_path = o.module.empty() ? vhost::DefaultModulePath() : o.module;
    r.declared = DeclarationOf(r.module_path, r.host_app);
    const vparams::Declaration& declared = r.declared;

    vparams::EffectValues& v = r.values;
    if (!o.params_file.empty()) {
        const std::string text = vimaging::ReadTextFile(o.params_file, vparams::kMaxParamsBytes, "--params");
        v = vparams::EffectValuesFromJsonText(text, {}, "--params: '" + o.params_file + "'", declared);
    }
    const std::vector<vparams::ParamEntry>& table = vparams::ParamTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const vparams::ParamEntry& e = table[i];
        const EffectOptions::Param& given = o.params[i];
        const std::string option = e.option;
        if (e.flag) {
            if (given.on) v.*e.flag = true;
            if (given.off) v.*e.flag = false;
            continue;
        }
        if (given.text.empty()) continue;
        if (e.choice) {
            v.*e.choice = OptionValue(option, [&] { return declared.ParseChoice(e.index, Trim(given.text)); });
        } else if (e.number_y) {
            double x = 0, y = 0;
            ParsePoint(given.text, option, x, y);
            v.*e.number = x;
            v.*e.number_y = y;
        } else {
            v.*e.number = ParseRanged(given.text, option, declared.Min(e.index), declared.Max(e.index),
                                      UnitSuffix(e.units));
        }
    }
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

void PrintWarning(const std::string& warning) { std::fprintf(stderr, "vellora: warning: %s\n", warning.c_str()); }

void PrintWarnings(const ResolvedEffect& effect) {
    for (const std::string& warning : effect.warnings) PrintWarning(warning);
}

}  // namespace vcli
