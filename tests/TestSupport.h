// Shared by the test files: the built plug-in module, loaded once per process,
// hosts that have already run a host's set-up sequence, scratch folders, and
// commands run as a user runs them.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// A call that must be refused as an input error whose message holds `names`
// (the option and the value a user would look for).
struct InputErrorCase {
    const char* what;
    std::function<void()> call;
    const char* names;
};
// Each case refused so: not accepted, not a failure of another kind.
void ExpectInputErrors(const std::vector<InputErrorCase>& cases);

// The names in a folder, hidden ones included, sorted.
std::vector<std::string> FolderNames(const std::string& dir);

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // "'<dir>/name'", for command lines.
    std::string Arg(const std::string& name) const { return "'" + Path(name) + "'"; }
    std::vector<std::string> Names() const { return FolderNames(dir_); }

private:
    std::string dir_;
};

// One run of a command: its exit status and what it wrote.
struct CliRun {
    int status;       // exit status, -1 when it did not exit normally
    std::string out;  // standard output, and standard error when asked for
    std::string err;  // standard error when it was not asked for in `out`
};

// `command` run by the shell.
CliRun RunShell(const std::string& command, bool with_stderr = true);

// A melt command that writes the file `out`. Under load melt now and then
// fails to load its input and still exits 0 (its usage on standard output,
// "Failed to load" on standard error), or never returns after its render
// threads end (killed by the command's timeout: 137). Such a run, one that
// leaves `out` missing or empty, is made again, up to three runs in all; the
// result is the last run's.
CliRun RunMelt(const std::string& command, const std::string& out);

// The built `vellora` (VELLORA_CLI_PATH) with `args`, shell-quoted by the
// caller, and `env` words for env(1) before it; the module is the built one.
CliRun RunCli(const std::string& args, bool with_stderr = true, const std::string& env = "");

// A command run by the shell and left running, in a process group of its own,
// with SIGINT and SIGTERM at their defaults whatever the test program does
// with them: nothing on its standard input, its standard output on a pipe,
// its standard error in `err_path`.
// The group is killed and reaped when it goes, if still there.
class Process {
public:
    explicit Process(const std::string& command, const std::string& err_path = "/dev/null");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // The shell's id, which is the command's when it starts with exec; -1 when it could not start.
    pid_t Pid() const { return pid_; }
    // The next line of standard output, waiting at most `ms`; false at its end or on time-out.
    bool ReadLine(std::string& line, int ms = 30000);
    // Sends `sig` to the process, after `after_ms` when given.
    void Signal(int sig, int after_ms = 0) const;
    // SIGSTOP, then waits until it has stopped: false when it ended first.
    bool Pause();
    // Whether it has ended, waiting at most `ms` (-1: until it does).
    bool Ended(int ms = 0);
    // Once ended: the wait status, and the exit status (-1 when ended by a signal).
    int Status() const { return status_; }
    int ExitCode() const;

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string pending_;
};

// Asks `done` every `step_ms` until it says yes or `seconds` have passed; its last answer.
bool WaitUntil(double seconds, const std::function<bool()>& done, int step_ms = 500);

// `env` words for RunCli that start the command in `dir`.
std::string InFolder(const std::string& dir);

// The names a shared object exports (its defined dynamic symbols), sorted.
std::vector<std::string> ExportedSymbols(const std::string& path);

// A whole file as bytes; empty when it cannot be read.
std::string FileText(const std::string& path);

// Shell words before a host program (melt, ffmpeg, gst-launch-1.0) so it can
// load this build's modules: empty in a plain build, the sanitizer's runtime
// preloaded in a sanitizer build (the program's own leaks are not ours).
// False when this build's modules cannot be loaded by such a program.
bool HostProgramEnv(std::string& env);

}  // namespace vtest
