// The validator: holds a plug-in module to what a strict host expects of it.
//
// It is a library so that `vellora validate`, the fuzzer and the tests share
// one set of checks. Each check drives the module through the reference host
// and, after every command, asserts the invariants of Invariants.h. Every
// random choice comes from a seeded generator, so a failure is reproduced by
// its seed; each check may run in a child process of its own, so a crash, a
// hang or a module that ends the process fails that check only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "validator/Invariants.h"

namespace vvalidator {

struct CheckResult {
    std::string name;
    vhost::HostApp host = vhost::HostApp::AfterEffects;
    uint64_t seed = 0;  // the run's seed; --seed with --only NAME --host HOST reproduces it
    bool passed = false;
    int failures = 0;
    std::vector<std::string> messages;
    std::string summary;  // what it covered, e.g. "10 cycles"
    bool hung = false;    // still running at the timeout
    ValidationCounters counters;
    double seconds = 0;
};

struct ValidatorOptions {
    std::string module_path;
    int level = 5;  // 1..10
    uint64_t seed = 0;
    int repeat = 1;  // runs of every check, seeds seed, seed+1, ...
    std::vector<vhost::HostApp> hosts{vhost::HostApp::AfterEffects, vhost::HostApp::Premiere};
    std::vector<std::string> only;  // check names; empty: all
    // Run each check in a child process, so a crash or hang fails that check
    // (with its seed) instead of ending the run.
    bool isolate = true;
    // Per check, when isolated. The slowest check (threads, level 10) takes
    // seconds, about 70 s under ThreadSanitizer: two minutes is a hang, not
    // slowness. After one hang the checks left are not run, so a hung module
    // fails the whole run within about this long.
    int timeout_seconds = 120;
    std::function<void(const std::string& name, vhost::HostApp host)> on_start;
    std::function<void(const CheckResult&)> on_result;
};

struct ValidationReport {
    std::vector<CheckResult> results;
    ValidationCounters totals;
    int failed = 0;
    int not_run = 0;  // checks left out after one hung
};

struct CheckInfo {
    std::string name;
    std::string description;
};
const std::vector<CheckInfo>& ValidatorChecks();

// The seed a check's generator starts from.
uint64_t CheckSeed(uint64_t seed, const std::string& name, vhost::HostApp host);

// Runs one check in this process.
CheckResult RunCheck(const std::string& name, const std::string& module_path, vhost::HostApp host, int level,
                     uint64_t seed);

// Runs the selected checks under the selected hosts. Throws HostError for an
// unknown check name, a bad level or a module that cannot be loaded.
ValidationReport RunValidator(const ValidatorOptions& options);

}  // namespace vvalidator
