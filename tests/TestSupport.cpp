#include "tests/TestSupport.h"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "host/HostError.h"
#include "host/SetUp.h"
#include "plugin/Vellora/Vellora.h"

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

CliRun RunCli(const std::string& args, bool with_stderr, const std::string& env) {
    return RunShell("env -u VELLORA_MODULE " + env + " '" + std::string(VELLORA_CLI_PATH) + "' " + args, with_stderr);
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

}  // namespace vtest
