#include "cli/EffectOptions.h"

#include <map>
#include <memory>
#include <optional>

#include "imaging/ReadBudget.h"
#include "params/EffectParams.h"

namespace vcli {

namespace {


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
                    vhost::ParseHostApp(host_->count() ? Trim(host_->as<std::string>()) : std::string("ae"), "--host");
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
               budget.max_pixels = vparse::ParseCount(text, "--max-pixels");
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
               budget.max_memory = vparse::ParseByteSize(text, "--max-memory");
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

}  // namespace vcli
