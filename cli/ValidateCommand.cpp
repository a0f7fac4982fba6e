// `vellora validate`: holds a plug-in module to what a strict host expects.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "support/InputError.h"
#include "support/Text.h"
#include "validator/Validator.h"

namespace vcli {

namespace {

struct ValidateOptions {
    std::string module;         // MODULE
    std::string module_option;  // --module
    int level = 5;
    uint64_t seed = 0;
    bool seed_given = false;
    int repeat = 1;
    std::string host = "both";
    std::vector<std::string> only;
    bool list = false;
    bool in_process = false;
    int timeout = vvalidator::ValidatorOptions{}.timeout_seconds;
};

std::string Pad(const std::string& s, size_t width) { return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' '); }

std::string Seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.1f s", s);
    return buf;
}

// The validator's options from the command's; a mistake in them is the user's.
vvalidator::ValidatorOptions ValidatorOptionsOf(const ValidateOptions& o) {
    if (!o.module.empty() && !o.module_option.empty() && o.module != o.module_option) {
        throw vsupport::InputError("two modules named: '" + o.module + "' and --module '" + o.module_option +
                                   "' (validate one at a time)");
    }
    const std::string named = o.module.empty() ? o.module_option : o.module;
    vvalidator::ValidatorOptions optind;
    optind.module_path = named.empty() ? vhost::DefaultModulePath() : named;
    optind.level = o.level;
    optind.repeat = o.repeat;
    optind.only = o.only;
    optind.isolate = !o.in_process;
    optind.timeout_seconds = o.timeout;
    if (o.host == "both") {
        optind.hosts = {vhost::HostApp::AfterEffects, vhost::HostApp::Premiere};
    } else {
        try {
            optind.hosts = {vhost::ParseHostApp(o.host, "--host")};
        } catch (const vsupport::InputError&) {  // the validator takes "both" too
            throw vsupport::InputError("--host: unknown host '" + o.host + "' (expected 'ae', 'premiere' or 'both')");
        }
    }
    if (!o.seed_given) {
        std::random_device device;
        optind.seed = (static_cast<uint64_t>(device()) << 32) ^ device();
    } else {
        optind.seed = o.seed;
    }
    return optind;
}

// The command line that runs one failed check again, alone.
std::string ReproduceCommand(const vvalidator::ValidatorOptions& optind, const vvalidator::CheckResult& r) {
    std::ostringstream cmd;
    cmd << "vellora validate " << optind.module_path << " --level " << optind.level << " --seed " << r.seed
        << " --only " << r.name << " --host " << vhost::HostAppName(r.host);
    if (!optind.isolate) {
        cmd << " --in-process";
    } else {
        cmd << " --timeout " << optind.timeout_seconds;
    }
    return cmd.str();
}

void PrintResult(const vvalidator::ValidatorOptions& optind, const vvalidator::CheckResult& r, bool live) {
    if (live) std::fprintf(stderr, "\r%60s\r", "");
    std::printf("  %s  %s%s%s(%s)\n", r.passed ? "PASS" : "FAIL", Pad(r.name, 16).c_str(),
                Pad(vhost::HostAppName(r.host), 10).c_str(), r.summary.empty() ? "" : (r.summary + " ").c_str(),
                Seconds(r.seconds).c_str());
    if (!r.passed) {
        for (const std::string& m : r.messages) std::printf("        %s\n", m.c_str());
        if (r.failures > static_cast<int>(r.messages.size())) {
            std::printf("        ... and %d more\n", r.failures - static_cast<int>(r.messages.size()));
        }
        std::printf("        reproduce: %s\n", ReproduceCommand(optind, r).c_str());
    }
    std::fflush(stdout);
}

void PrintSummary(const vvalidator::ValidatorOptions& optind, const vvalidator::ValidationReport& report,
                  double seconds) {
    const vvalidator::ValidationCounters& t = report.totals;
    if (report.not_run > 0) {
        std::printf("Not run: %d checks after the one that hung (name them with --only to run them)\n",
                    report.not_run);
    }
    std::printf(
        "Summary: %zu checks run, %d failed; %ld commands, %ld parameter sets, %ld faults injected, %ld renders, "
        "%ld events, %ld module loads, up to %d render threads at once; seed %llu (%s)\n",
        report.results.size(), report.failed, t.commands, t.parameter_sets, t.faults, t.renders, t.events, t.reloads,
        t.threads, static_cast<unsigned long long>(optind.seed), Seconds(seconds).c_str());
}

void RunValidate(ValidateOptions& o) {
    if (o.list) {
        for (const vvalidator::CheckInfo& check : vvalidator::ValidatorChecks()) {
            std::printf("%s%s\n", Pad(check.name, 16).c_str(), check.description.c_str());
        }
        return;
    }
    vvalidator::ValidatorOptions optind = ValidatorOptionsOf(o);
    const bool live = ::isatty(STDERR_FILENO) != 0;
    std::vector<std::string> host_names;
    for (vhost::HostApp app : optind.hosts) host_names.push_back(vhost::HostAppName(app));
    std::printf("Validating %s at level %d, seed %llu, host%s %s\n", optind.module_path.c_str(), optind.level,
                static_cast<unsigned long long>(optind.seed), optind.hosts.size() > 1 ? "s" : "",
                vtext::Join(host_names, " and ").c_str());
    std::fflush(stdout);
    optind.on_start = [live](const std::string& name, vhost::HostApp app) {
        if (!live) return;
        std::fprintf(stderr, "  ....  %s%s\r", Pad(name, 16).c_str(), vhost::HostAppName(app));
        std::fflush(stderr);
    };
    optind.on_result = [&optind, live](const vvalidator::CheckResult& r) { PrintResult(optind, r, live); };

    const auto start = std::chrono::steady_clock::now();
    const vvalidator::ValidationReport report = vvalidator::RunValidator(optind);
    PrintSummary(optind, report, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (report.failed > 0) {
        std::fflush(stdout);
        throw CLI::RuntimeError(1);
    }
}

}  // namespace

void AddValidateCommand(CLI::App& app) {
    auto options = std::make_shared<ValidateOptions>();
    CLI::App* cmd = app.add_subcommand(
        "validate",
        "Check a plug-in module as a strict host would\n\n"
        "Check a plug-in module as a strict host would: reloads, every command, random and hostile\n"
        "parameters, frame geometries, overlay gestures, injected faults and renders from many threads.\n"
        "Prints one line per check and a summary; exits 0 only if nothing failed. Any failure prints\n"
        "the command that reproduces it.");
    cmd->add_option("MODULE", options->module,
                    "Plug-in module to check (default: $VELLORA_MODULE, else the Vellora.so that came with vellora)");
    cmd->add_option("--module", options->module_option, "Same as MODULE");
    cmd->add_option("--level", options->level, "Strictness 1..10; counts grow with it")
        ->check(CLI::Range(1, 10))
        ->capture_default_str();
    cmd->add_option_function<std::string>(
           "--seed",
           [options](const std::string& text) {
               options->seed = vparse::ParseUnsigned64(text, "--seed");
               options->seed_given = true;
           },
           "Seed of every random choice, 0 to 18446744073709551615 (default: a fresh one, printed)")
        ->type_name("S");
    cmd->add_option("--repeat", options->repeat, "Run the checks N times, with seeds S, S+1, ...")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    cmd->add_option("--host", options->host, "Host to act as: 'ae', 'premiere' or 'both'")->capture_default_str();
    cmd->add_option("--only", options->only, "Run only these checks (see --list)")->delimiter(',');
    cmd->add_flag("--list", options->list, "List the checks and exit");
    cmd->add_flag("--in-process", options->in_process,
                  "Run the checks in this process (a crash then ends the run; for debuggers and sanitizers)");
    cmd->add_option("--timeout", options->timeout,
                    "Seconds a check may take before it counts as hung; the checks after a hung one are not "
                    "run, so a hung module fails the run within about this long (a check that crashes or ends "
                    "the process fails at once)")
        ->check(CLI::Range(1, 86400))
        ->capture_default_str();
    cmd->callback([options]() { RunValidate(*options); });
}

}  // namespace vcli
