#include "tests/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "host/HostError.h"
#include "host/SetUp.h"
#include "plugin/Vellora/Vellora.h"
#include "support/InputError.h"

extern char** environ;

namespace vtest {

const vhost::PluginModule& Module() {
    static const vhost::PluginModule module(VELLORA_MODULE_PATH);
    return module;
}

std::unique_ptr<vhost::Host> NewHost(vhost::HostApp app) { return std::make_unique<vhost::Host>(Module(), app); }

std::unique_ptr<vhost::Host> SetUpHost(vhost::HostApp app) {
    auto host = NewHost(app);
    try {
        vhost::SetUpEffect(*host);
        vhost::RequireBalancedLedgers(*host);
    } catch (const vhost::HostError& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(host->Params().size(), static_cast<size_t>(PARAM_COUNT));
    return host;
}

::testing::AssertionResult LedgersBalanced(const vhost::Host& host) {
    const std::string problems = host.LedgerReport();
    if (problems.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "unbalanced host ledger: " << problems;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/vellora-files-XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
    EXPECT_FALSE(dir_.empty()) << std::strerror(errno);
}

TempDir::~TempDir() {
    if (!dir_.empty()) (void)std::system(("chmod -R u+rwx '" + dir_ + "' 2>/dev/null; rm -rf '" + dir_ + "'").c_str());
}

std::vector<std::string> FolderNames(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

CliRun RunShell(const std::string& command, bool with_stderr) {
    CliRun run{-1, "", ""};
    // Standard error apart goes through a file: a second pipe could fill while the first is read.
    std::string err_path;
    if (!with_stderr) {
        char pattern[] = "/tmp/vellora-stderr-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) return run;
        close(fd);
        err_path = pattern;
    }
    FILE* pipe = popen(("{ " + command + "; } " + (with_stderr ? "2>&1" : "2>'" + err_path + "'")).c_str(), "r");
    if (pipe) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) run.out.append(buffer, n);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (!err_path.empty()) {
        run.err = FileText(err_path);
        std::remove(err_path.c_str());
    }
    return run;
}

CliRun RunMelt(const std::string& command, const std::string& out) {
    CliRun run;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::remove(out.c_str());
        run = RunShell(command);
        if ((run.status == 0 || run.status == 137) && FileText(out).empty()) continue;
        break;
    }
    return run;
}

CliRun RunCli(const std::string& args, bool with_stderr, const std::string& env) {
    return RunShell("env -u VELLORA_MODULE " + env + " '" + std::string(VELLORA_CLI_PATH) + "' " + args, with_stderr);
}

Process::Process(const std::string& command, const std::string& err_path) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing to read: a group of its own would be stopped reading a terminal.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", &actions, &attr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    out_ = fds[0];
    EXPECT_GT(pid_, 0) << "cannot start: " << command;
}

Process::~Process() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);  // the whole group: what the command started goes with it
        Ended(-1);
    }
    if (out_ >= 0) ::close(out_);
}

bool Process::ReadLine(std::string& line, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return false;
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

void Process::Signal(int sig, int after_ms) const {
    if (after_ms > 0) ::usleep(static_cast<useconds_t>(after_ms) * 1000);
    if (pid_ > 0 && !ended_) ::kill(pid_, sig);
}

bool Process::Pause() {
    if (pid_ <= 0 || ended_) return false;
    ::kill(pid_, SIGSTOP);
    int status = 0;
    if (::waitpid(pid_, &status, WUNTRACED) != pid_) return false;
    if (WIFSTOPPED(status)) return true;
    ended_ = true;
    status_ = status;
    return false;
}

bool Process::Ended(int ms) {
    for (int waited = 0; pid_ > 0 && !ended_; waited += 10) {
        const pid_t got = ::waitpid(pid_, &status_, ms < 0 ? 0 : WNOHANG);
        ended_ = got == pid_ || got < 0;
        if (ended_ || waited >= ms) break;
        ::usleep(10 * 1000);
    }
    return ended_;
}

int Process::ExitCode() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

bool WaitUntil(double seconds, const std::function<bool()>& done, int step_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        ::usleep(static_cast<useconds_t>(step_ms) * 1000);
    }
    return done();
}

std::string InFolder(const std::string& dir) { return "sh -c 'cd \"" + dir + "\" && exec \"$0\" \"$@\"'"; }

std::vector<std::string> ExportedSymbols(const std::string& path) {
    const CliRun nm = RunShell("nm -D --defined-only '" + path + "'", false);
    EXPECT_EQ(nm.status, 0) << nm.err;
    std::vector<std::string> names;
    std::istringstream lines(nm.out);
    for (std::string line; std::getline(lines, line);) names.push_back(line.substr(line.rfind(' ') + 1));
    std::sort(names.begin(), names.end());
    return names;
}

bool HostProgramEnv(std::string& env) {
#ifdef VELLORA_SANITIZED
    env = std::string("LD_PRELOAD='" VELLORA_SANITIZER_PRELOAD "' ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ");
    return !std::string(VELLORA_SANITIZER_PRELOAD).empty();
#else
    env.clear();
    return true;
#endif
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ExpectInputErrors(const std::vector<InputErrorCase>& cases) {
    for (const InputErrorCase& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const vsupport::InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << c.what << ": " << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.what << ": not an input error: " << e.what();
        }
    }
}

}  // namespace vtest
