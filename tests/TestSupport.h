// Shared by the test files: the built plug-in module, loaded once per process,
// and hosts that have already run a host's set-up sequence.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "host/Host.h"

namespace vtest {

// The built Vellora module (VELLORA_MODULE_PATH), opened on first use.
const vhost::PluginModule& Module();

// A fresh host on the module. No command has been sent yet.
std::unique_ptr<vhost::Host> NewHost(vhost::HostApp app = vhost::HostApp::AfterEffects);

// A fresh host after global set-up and parameter set-up, both checked to
// succeed with every suite given back; its parameter list holds PARAM_COUNT entries.
std::unique_ptr<vhost::Host> SetUpHost(vhost::HostApp app = vhost::HostApp::AfterEffects);

// Gtest assertion that every suite (and pen/path) taken from `host` was given back.
::testing::AssertionResult LedgersBalanced(const vhost::Host& host);

// One run of the built `vellora` (VELLORA_CLI_PATH) with `args`, shell-quoted by
// the caller, and `env` assignments before it; the module is the built one.
struct CliRun {
    int status;       // exit status, -1 when it did not exit normally
    std::string out;  // standard output, and standard error when asked for
};
CliRun RunCli(const std::string& args, bool with_stderr = true, const std::string& env = "");

}  // namespace vtest
