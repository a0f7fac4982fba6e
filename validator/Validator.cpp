// The validator's registry of checks and its run: each check in a child
// process of its own unless asked otherwise.
#include "validator/Validator.h"

#include <algorithm>
#include <chrono>

#include <nlohmann/json.hpp>

#include "validator/Checks.h"
#include "host/ExitGuard.h"
#include "host/HostError.h"
#include "validator/Isolation.h"

namespace vvalidator {

namespace {

struct CheckEntry {
    CheckInfo info;
    void (*run)(CheckContext&);
};

const std::vector<CheckEntry>& Registry() {
    static const std::vector<CheckEntry> entries = {
        {{"reload", "load, set up, unload and load again; nothing kept between loads"}, CheckReload},
        {{"exports", "the exported string table answers any id without reading past its end"}, CheckExports},
        {{"commands", "every command in a host's sequence; unanswered and unknown commands write nothing"},
         CheckCommands},
        {{"parameters", "random parameter sets: valid, at the ends of the ranges, hostile"}, CheckParameters},
        {{"geometry", "frame sizes, padded rows, extent hints, small inputs, downsampling, pixel aspect"},
         CheckGeometry},
        {{"events", "draws, clicks and drags in every window at several zooms, gestures cut short"}, CheckEvents},
        {{"suite-faults", "each suite withheld, delivered null or refusing release, for every command"},
         CheckSuiteFaults},
        {{"drawing-faults", "each drawing call and each pen or path creation failing at its k-th call"},
         CheckDrawingFaults},
        {{"callback-faults", "window conversions and host callbacks failing, renders interrupted"},
         CheckCallbackFaults},
        {{"threads", "renders from 8 threads at once, each spread over all cores, byte-identical"}, CheckThreads},
    };
    return entries;
}

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

nlohmann::json ToJson(const CheckResult& r) {
    const ValidationCounters& c = r.counters;
    return {{"passed", r.passed},
            {"failures", r.failures},
            {"messages", r.messages},
            {"summary", r.summary},
            {"seconds", r.seconds},
            {"counters", {c.commands, c.parameter_sets, c.faults, c.renders, c.events, c.reloads, c.threads}}};
}

void FromJson(const nlohmann::json& j, CheckResult& r) {
    r.passed = j.at("passed").get<bool>();
    r.failures = j.at("failures").get<int>();
    r.messages = j.at("messages").get<std::vector<std::string>>();
    r.summary = j.at("summary").get<std::string>();
    r.seconds = j.at("seconds").get<double>();
    const auto& c = j.at("counters");
    r.counters.commands = c.at(0).get<long>();
    r.counters.parameter_sets = c.at(1).get<long>();
    r.counters.faults = c.at(2).get<long>();
    r.counters.renders = c.at(3).get<long>();
    r.counters.events = c.at(4).get<long>();
    r.counters.reloads = c.at(5).get<long>();
    r.counters.threads = c.at(6).get<int>();
}

// A check passes only on the result its child reported.
CheckResult RunIsolated(const std::string& name, const std::string& module_path, vhost::HostApp host, int level,
                        uint64_t seed, int timeout_seconds) {
    const ChildOutcome child = RunInChild(
        [&]() { return ToJson(RunCheck(name, module_path, host, level, seed)).dump(); }, timeout_seconds);
    CheckResult result;
    std::string problem = child.problem;
    if (child.reported) {
        try {
            FromJson(nlohmann::json::parse(child.text), result);
        } catch (const std::exception&) {
            problem = "its process ended without a readable result";
        }
    }
    result.name = name;
    result.host = host;
    result.seed = seed;
    result.seconds = child.seconds;
    result.hung = child.timed_out;
    if (!problem.empty()) {
        result.passed = false;
        result.failures += 1;
        result.messages.insert(result.messages.begin(), problem);
    }
    return result;
}

// Loads the module once, in a child when isolated, so one that cannot be
// loaded, or ends the process while loading, is an error before any check.
void ProbeModule(const ValidatorOptions& options) {
    if (!options.isolate) {
        vhost::ExitGuard guard("the module", "during loading '" + options.module_path + "'");
        vhost::PluginModule probe(options.module_path);
        return;
    }
    const ChildOutcome child = RunInChild(
        [&]() -> std::string {
            try {
                vhost::PluginModule probe(options.module_path);
            } catch (const vhost::HostError& e) {
                return std::string("E") + e.what();
            }
            return "ok";
        },
        options.timeout_seconds);
    if (!child.reported) {
        throw vhost::HostError("plug-in module '" + options.module_path + "' cannot be loaded: while loading, " +
                        child.problem);
    }
    if (child.text != "ok") throw vhost::HostError(child.text.substr(1));
}

}  // namespace

const std::vector<CheckInfo>& ValidatorChecks() {
    static const std::vector<CheckInfo> infos = [] {
        std::vector<CheckInfo> v;
        for (const CheckEntry& e : Registry()) v.push_back(e.info);
        return v;
    }();
    return infos;
}

uint64_t CheckSeed(uint64_t seed, const std::string& name, vhost::HostApp host) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    return Mix(seed ^ Mix(h) ^ (host == vhost::HostApp::Premiere ? 0x5072ull : 0x4145ull));
}

CheckResult RunCheck(const std::string& name, const std::string& module_path, vhost::HostApp host, int level,
                     uint64_t seed) {
    const auto it = std::find_if(Registry().begin(), Registry().end(),
                                 [&](const CheckEntry& e) { return e.info.name == name; });
    if (it == Registry().end()) throw vhost::HostError("unknown check '" + name + "'");
    CheckContext ctx{module_path, host, level, std::mt19937_64(CheckSeed(seed, name, host)), {}, {}, {}};
    const auto start = std::chrono::steady_clock::now();
    try {
        it->run(ctx);
    } catch (const std::exception& e) {
        ctx.findings.Add(std::string("the check could not go on: ") + e.what());
    }
    CheckResult result;
    result.name = name;
    result.host = host;
    result.seed = seed;
    result.passed = ctx.findings.Empty();
    result.failures = ctx.findings.Count();
    result.messages = ctx.findings.Items();
    result.summary = ctx.summary;
    result.counters = ctx.counters;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

ValidationReport RunValidator(const ValidatorOptions& options) {
    if (options.level < 1 || options.level > 10) {
        throw vhost::HostError("level " + std::to_string(options.level) + " is outside 1..10");
    }
    if (options.repeat < 1) throw vhost::HostError("repeat count " + std::to_string(options.repeat) + " must be at least 1");
    if (options.timeout_seconds < 1) {
        throw vhost::HostError("timeout " + std::to_string(options.timeout_seconds) + " s must be at least 1 s");
    }
    for (const std::string& name : options.only) {
        if (std::none_of(Registry().begin(), Registry().end(),
                         [&](const CheckEntry& e) { return e.info.name == name; })) {
            std::string known;
            for (const CheckEntry& e : Registry()) known += (known.empty() ? "" : ", ") + e.info.name;
            throw vhost::HostError("unknown check '" + name + "' (checks: " + known + ")");
        }
    }
    ProbeModule(options);

    ValidationReport report;
    for (int r = 0; r < options.repeat; ++r) {
        const uint64_t seed = options.seed + static_cast<uint64_t>(r);
        for (const CheckEntry& entry : Registry()) {
            if (!options.only.empty() &&
                std::find(options.only.begin(), options.only.end(), entry.info.name) == options.only.end()) {
                continue;
            }
            for (vhost::HostApp app : options.hosts) {
                // A module that hung once would make every check wait out its timeout.
                if (!report.results.empty() && report.results.back().hung) {
                    ++report.not_run;
                    continue;
                }
                if (options.on_start) options.on_start(entry.info.name, app);
                CheckResult result;
                if (options.isolate) {
                    result = RunIsolated(entry.info.name, options.module_path, app, options.level, seed,
                                         options.timeout_seconds);
                } else {
                    vhost::ExitGuard guard("the module", "during the check '" + entry.info.name + "' under " + HostAppName(app));
                    result = RunCheck(entry.info.name, options.module_path, app, options.level, seed);
                }
                report.totals.Add(result.counters);
                if (!result.passed) ++report.failed;
                if (options.on_result) options.on_result(result);
                report.results.push_back(std::move(result));
            }
        }
    }
    return report;
}

}  // namespace vvalidator
