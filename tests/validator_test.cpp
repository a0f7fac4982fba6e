// The validator must pass the built plug-in and fail a plug-in or host with a
// planted fault. Planted faults come from a stand-in module that forwards to
// Vellora and then misbehaves as VELLORA_FAKE_FAULT says.

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "host/HostError.h"
#include "tests/TestSupport.h"
#include "validator/Validator.h"

namespace {

using vvalidator::CheckResult;
using vhost::HostApp;

std::string Messages(const CheckResult& r) {
    std::string s;
    for (const std::string& m : r.messages) s += "\n  " + m;
    return s;
}

bool Mentions(const CheckResult& r, const std::string& text) {
    for (const std::string& m : r.messages) {
        if (m.find(text) != std::string::npos) return true;
    }
    return false;
}

TEST(Validator, TheBuiltPluginPassesEveryCheckAtLevelOne) {
    vvalidator::ValidatorOptions options;
    options.module_path = VELLORA_MODULE_PATH;
    options.level = 1;
    options.seed = 42;
    options.isolate = false;
    // Geometry and threads have tests of their own below or take long under sanitizers.
    options.only = {"reload", "exports", "commands", "parameters", "events", "suite-faults", "drawing-faults",
                    "callback-faults"};
    const vvalidator::ValidationReport report = vvalidator::RunValidator(options);
    for (const CheckResult& r : report.results) {
        EXPECT_TRUE(r.passed) << r.name << " under " << vhost::HostAppName(r.host) << ":" << Messages(r);
    }
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.results.size(), options.only.size() * 2);
    EXPECT_GT(report.totals.faults, 500);
    EXPECT_GT(report.totals.events, 500);
}

TEST(Validator, LevelsScaleReloadsAndParameterSetsAsPromised) {
    // 10 loads and 50 parameter sets at level 5, 100 loads at level 10.
    const CheckResult reload5 = vvalidator::RunCheck("reload", VELLORA_MODULE_PATH, HostApp::Premiere, 5, 1);
    EXPECT_TRUE(reload5.passed) << Messages(reload5);
    EXPECT_EQ(reload5.counters.reloads, 10);
    const CheckResult reload10 = vvalidator::RunCheck("reload", VELLORA_MODULE_PATH, HostApp::AfterEffects, 10, 1);
    EXPECT_TRUE(reload10.passed) << Messages(reload10);
    EXPECT_EQ(reload10.counters.reloads, 100);
    const CheckResult params5 = vvalidator::RunCheck("parameters", VELLORA_MODULE_PATH, HostApp::AfterEffects, 5, 1);
    EXPECT_TRUE(params5.passed) << Messages(params5);
    EXPECT_EQ(params5.counters.parameter_sets, 50);
}

TEST(Validator, TheSameSeedReplaysTheSameRun) {
    const auto run = [](uint64_t seed) {
        return vvalidator::RunCheck("parameters", VELLORA_MODULE_PATH, HostApp::AfterEffects, 2, seed);
    };
    const CheckResult a = run(1234), b = run(1234), c = run(99);
    EXPECT_EQ(a.summary, b.summary);
    EXPECT_EQ(a.counters.commands, b.counters.commands);
    EXPECT_EQ(a.counters.renders, b.counters.renders);
    // Another seed draws other value kinds (checked for these two seeds).
    EXPECT_NE(a.summary, c.summary);
    EXPECT_NE(vvalidator::CheckSeed(1, "parameters", HostApp::AfterEffects),
              vvalidator::CheckSeed(1, "parameters", HostApp::Premiere));
}

TEST(Validator, RejectsUnknownChecksAndLevelsAndModules) {
    vvalidator::ValidatorOptions options;
    options.module_path = VELLORA_MODULE_PATH;
    options.only = {"no-such-check"};
    EXPECT_THROW(vvalidator::RunValidator(options), vhost::HostError);
    options.only.clear();
    options.level = 11;
    EXPECT_THROW(vvalidator::RunValidator(options), vhost::HostError);
    options.level = 1;
    options.module_path = "/nonexistent/Vellora.so";
    EXPECT_THROW(vvalidator::RunValidator(options), vhost::HostError);
}

// --- Host-side invariants on their own --------------------------------------

TEST(ValidatorInvariants, ASuiteTheHostHandedOutAndNeverGotBackIsReported) {
    auto host = vtest::SetUpHost();
    vvalidator::Findings findings;
    const void* suite = nullptr;
    {
        vhost::ScopedCurrentHost current(*host);
        ASSERT_EQ(host->InData().pica_basicP->AcquireSuite("PF ANSI Suite", 1, &suite), 0);
    }
    vvalidator::CheckLedgers(*host, "planted", findings);
    ASSERT_EQ(findings.Count(), 1);
    EXPECT_NE(findings.First().find("PF ANSI Suite"), std::string::npos) << findings.First();
    // The ledger starts afresh for the next command.
    vvalidator::Findings after;
    vvalidator::CheckLedgers(*host, "next", after);
    EXPECT_TRUE(after.Empty());
}

TEST(ValidatorInvariants, ARenderResultOutsideTheAllowedCodesIsReported) {
    auto host = vtest::SetUpHost();
    vvalidator::FrameSpec spec;
    spec.width = 9;
    spec.height = 5;
    vvalidator::ValidationCounters counters;
    host->Faults().FailCall("iterate", 1, true);
    vvalidator::Findings strict;
    EXPECT_EQ(vvalidator::RenderChecked(*host, spec, 3, strict, counters), PF_Err_INTERNAL_STRUCT_DAMAGED);
    ASSERT_FALSE(strict.Empty());
    EXPECT_NE(strict.First().find("returned 512"), std::string::npos) << strict.First();
    vvalidator::Findings lenient;
    vvalidator::RenderChecked(*host, spec, 3, lenient, counters, {PF_Err_INTERNAL_STRUCT_DAMAGED});
    EXPECT_TRUE(lenient.Empty()) << lenient.First();
}

TEST(ValidatorValues, HostileSetsHoldEveryKindOfBadValue) {
    auto host = vtest::SetUpHost();
    std::mt19937_64 rng(77);
    bool nan = false, pos_inf = false, neg_inf = false, denormal = false, huge = false, negative = false,
         zero = false, bad_choice = false, bad_box = false;
    for (int i = 0; i < 300; ++i) {
        vvalidator::RandomizeParams(*host, [&]() { return rng(); }, vvalidator::ValueKind::Hostile);
        for (const PF_ParamDef& p : host->Params()) {
            if (p.param_type == PF_Param_FLOAT_SLIDER) {
                const double v = p.u.fs_d.value;
                nan |= std::isnan(v);
                pos_inf |= v == HUGE_VAL;
                neg_inf |= v == -HUGE_VAL;
                denormal |= std::fpclassify(v) == FP_SUBNORMAL;
                huge |= std::fabs(v) == DBL_MAX;
                negative |= v < 0;
                zero |= v == 0;
            } else if (p.param_type == PF_Param_POPUP) {
                bad_choice |= p.u.pd.value < 1 || p.u.pd.value > p.u.pd.num_choices;
            } else if (p.param_type == PF_Param_CHECKBOX) {
                bad_box |= p.u.bd.value != 0 && p.u.bd.value != 1;
            }
        }
    }
    EXPECT_TRUE(nan && pos_inf && neg_inf && denormal && huge && negative && zero);
    EXPECT_TRUE(bad_choice && bad_box);

    // Sets at the ends of the ranges hold only the declared ends.
    vvalidator::RandomizeParams(*host, [&]() { return rng(); }, vvalidator::ValueKind::Snapped);
    for (const PF_ParamDef& p : host->Params()) {
        if (p.param_type == PF_Param_FLOAT_SLIDER) {
            EXPECT_TRUE(p.u.fs_d.value == p.u.fs_d.valid_min || p.u.fs_d.value == p.u.fs_d.valid_max) << p.name;
        }
    }
}

// --- Planted faults in a stand-in module ------------------------------------

struct Planted {
    const char* fault;
    const char* check;
    const char* expected;  // in one of the messages; null: the check passes
    HostApp host = HostApp::AfterEffects;
};

// Printed by name, not as the raw bytes of its pointers.
void PrintTo(const Planted& p, std::ostream* os) {
    *os << p.fault << " under " << p.check << (p.host == HostApp::Premiere ? " (Premiere)" : "");
}

class ValidatorPlanted : public ::testing::TestWithParam<Planted> {
protected:
    void TearDown() override { ::unsetenv("VELLORA_FAKE_FAULT"); }
};

TEST_P(ValidatorPlanted, TheCheckCatchesIt) {
    const Planted& p = GetParam();
    ::setenv("VELLORA_FAKE_FAULT", p.fault, 1);
    const CheckResult r = vvalidator::RunCheck(p.check, VELLORA_FAKE_MODULE_PATH, p.host, 1, 5);
    if (!p.expected) {
        EXPECT_TRUE(r.passed) << Messages(r);
        return;
    }
    EXPECT_FALSE(r.passed);
    EXPECT_TRUE(Mentions(r, p.expected)) << "expected \"" << p.expected << "\" in:" << Messages(r);
}

INSTANTIATE_TEST_SUITE_P(
    ValidatorFaults, ValidatorPlanted,
    ::testing::Values(Planted{"none", "parameters", nullptr}, Planted{"none", "commands", nullptr},
                      Planted{"leak-suite", "parameters", "suite \"PF ANSI Suite v1\" acquired"},
                      Planted{"throw", "commands", "C++ exception escape"},
                      Planted{"bad-code", "commands", "returned 7 for a command it does not answer"},
                      Planted{"recolour", "parameters", "colour channels differ from the input's"},
                      Planted{"touch-input", "parameters", "the input world was written"},
                      Planted{"swallow", "suite-faults", "reported success without an About text"},
                      Planted{"in-data", "parameters", "the effect wrote into PF_InData"},
                      Planted{"alpha16", "parameters", "alpha outside the format's range"},
                      Planted{"alpha-float", "parameters", "alpha outside the format's range", HostApp::Premiere},
                      Planted{"alpha-float", "geometry", "is 1.5", HostApp::Premiere},
                      Planted{"recolour", "geometry", "colour channels differ from the input's", HostApp::Premiere},
                      Planted{"unwritten", "parameters", "the host asked for were not written"},
                      Planted{"event-range", "events", "was set to -5, which is outside 0..15000"},
                      Planted{"click-record", "events", "a click the effect did not take changed the click record"}),
    [](const ::testing::TestParamInfo<Planted>& param_info) {
        std::string name = std::string(param_info.param.fault) + "_" + param_info.param.check +
                           (param_info.param.host == HostApp::Premiere ? "_premiere" : "");
        for (char& c : name) {
            if (c == '-') c = '_';
        }
        return name;
    });

TEST(Validator, ACrashFailsItsCheckAndTheRunGoesOn) {
    ::setenv("VELLORA_FAKE_FAULT", "crash", 1);
    vvalidator::ValidatorOptions options;
    options.module_path = VELLORA_FAKE_MODULE_PATH;
    options.level = 1;
    options.seed = 3;
    options.hosts = {HostApp::AfterEffects};
    options.only = {"exports", "parameters"};
    options.isolate = true;
    const vvalidator::ValidationReport report = vvalidator::RunValidator(options);
    ::unsetenv("VELLORA_FAKE_FAULT");
    ASSERT_EQ(report.results.size(), 2u);
    EXPECT_TRUE(report.results[0].passed) << Messages(report.results[0]);
    EXPECT_FALSE(report.results[1].passed);
    // A plain build sees the signal; a sanitizer build reports it and exits non-zero.
    EXPECT_TRUE(Mentions(report.results[1], "crashed: signal 11") || Mentions(report.results[1], "exited with code"))
        << Messages(report.results[1]);
    EXPECT_EQ(report.failed, 1);
}

// --- The command line ---------------------------------------------------------

using vtest::CliRun;

CliRun RunCli(const std::string& env, const std::string& args) { return vtest::RunCli(args, true, env); }

TEST(ValidatorCli, PassesTheBuiltPluginAndPrintsHowToReproduceAFailure) {
    const CliRun ok = RunCli("", "validate --level 1 --seed 17 --only exports,commands");
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_NE(ok.out.find("seed 17"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("PASS  commands        premiere"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("Summary: 4 checks run, 0 failed"), std::string::npos) << ok.out;

    const CliRun bad = RunCli("VELLORA_FAKE_FAULT=bad-code",
                              std::string("validate '") + VELLORA_FAKE_MODULE_PATH +
                                  "' --level 1 --seed 17 --only commands --host ae");
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("FAIL  commands"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("--seed 17 --only commands --host ae"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("1 failed"), std::string::npos) << bad.out;

    const CliRun missing = RunCli("", "validate /nonexistent/Plugin.so --level 1");
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_NE(missing.out.find("vellora: plug-in module '/nonexistent/Plugin.so' not found"), std::string::npos)
        << missing.out;
    EXPECT_NE(RunCli("", "validate --level 0").status, 0);
    EXPECT_NE(RunCli("", "validate --host avid").status, 0);
}

TEST(ValidatorCli, AModuleThatEndsTheProcessFailsAtOnceAndNeverPasses) {
    const std::string fake = std::string("'") + VELLORA_FAKE_MODULE_PATH + "'";
    // exit(0) from the module's load-time constructor: nothing was checked.
    const CliRun on_load = RunCli("VELLORA_FAKE_FAULT=exit-on-load", "validate " + fake + " --level 1");
    EXPECT_NE(on_load.status, 0) << on_load.out;
    EXPECT_NE(on_load.out.find("while loading, the module ended the process with exit(0)"), std::string::npos)
        << on_load.out;
    // exit(0) inside EntryPointFunc: the check fails as soon as its child is gone, not at the timeout.
    const CliRun in_render = RunCli("VELLORA_FAKE_FAULT=exit-in-render",
                                    "validate " + fake + " --level 1 --only parameters --host ae --timeout 120");
    EXPECT_EQ(in_render.status, 1) << in_render.out;
    EXPECT_NE(in_render.out.find("FAIL  parameters"), std::string::npos) << in_render.out;
    EXPECT_NE(in_render.out.find("the module ended the process with exit(0)"), std::string::npos) << in_render.out;
    const CliRun in_process = RunCli("VELLORA_FAKE_FAULT=exit-in-render",
                                     "validate " + fake + " --level 1 --only parameters --host ae --in-process");
    EXPECT_NE(in_process.status, 0) << in_process.out;
    EXPECT_NE(in_process.out.find("ended the process with exit(0) during the check 'parameters'"), std::string::npos)
        << in_process.out;
    // Two different modules named is an error, not a silent choice.
    const CliRun two = RunCli("", "validate " + fake + " --module '" + VELLORA_MODULE_PATH + "' --level 1");
    EXPECT_EQ(two.status, 1) << two.out;
    EXPECT_NE(two.out.find("two modules named"), std::string::npos) << two.out;
}

TEST(ValidatorCli, AHungModuleFailsAtItsTimeoutAndTheChecksAfterItAreNotRun) {
    const std::string fake = std::string("'") + VELLORA_FAKE_MODULE_PATH + "'";
    const CliRun hung = RunCli("VELLORA_FAKE_FAULT=hang-in-render", "validate " + fake + " --level 1 --seed 5 --timeout 2");
    EXPECT_EQ(hung.status, 1) << hung.out;
    EXPECT_NE(hung.out.find("did not finish within 2 s (hung?)"), std::string::npos) << hung.out;
    // The reproduce line runs the check as it ran: with the same timeout.
    EXPECT_NE(hung.out.find("--seed 5 --only reload --host ae --timeout 2\n"), std::string::npos) << hung.out;
    EXPECT_EQ(hung.out.find("reload          premiere"), std::string::npos) << hung.out;
    EXPECT_NE(hung.out.find("Not run: 19 checks after the one that hung"), std::string::npos) << hung.out;
    EXPECT_NE(hung.out.find("Summary: 1 checks run, 1 failed"), std::string::npos) << hung.out;
}

// --- Renders from many threads ----------------------------------------------

TEST(ValidatorThreads, TheBuiltPluginRendersTheSameOnEveryThread) {
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        const CheckResult r = vvalidator::RunCheck("threads", VELLORA_MODULE_PATH, app, 1, 8);
        EXPECT_TRUE(r.passed) << vhost::HostAppName(app) << Messages(r);
        EXPECT_EQ(r.counters.threads, 8);
        EXPECT_EQ(r.counters.renders, 16);  // each frame once alone, once among the eight
    }
}

TEST(ValidatorThreads, OutputThatDependsOnEarlierRendersIsCaught) {
    ::setenv("VELLORA_FAKE_FAULT", "nondeterministic", 1);
    const CheckResult r = vvalidator::RunCheck("threads", VELLORA_FAKE_MODULE_PATH, HostApp::AfterEffects, 1, 8);
    ::unsetenv("VELLORA_FAKE_FAULT");
    EXPECT_FALSE(r.passed);
    EXPECT_TRUE(Mentions(r, "differs from the single-threaded render")) << Messages(r);
}

}  // namespace
