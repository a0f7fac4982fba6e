// The project's own scripts and install step, as a newcomer runs them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/TestFiles.h"
#include "tests/TestSupport.h"

namespace {

void Executable(const std::string& path, const std::string& script) {
    std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

// The arguments of every cmake call that configures (names a preset), one line each.
std::vector<std::string> ConfigureLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("--preset ", 0) == 0) lines.push_back(line);
    }
    return lines;
}

// setup.sh builds, test.sh builds again and tests: in the same folder they must
// configure alike, or the second reconfigures and rebuilds everything (and
// relinks the vellora the user may be running). cmake, ctest, the package
// query and the built vellora are stand-ins that log or do nothing.
TEST(Scripts, SetupAndTestConfigureTheirSharedBuildAlike) {
    vtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.Path("bin").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.Path("build").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.Path("build/bin").c_str(), 0755), 0);
    Executable(dir.Path("bin/cmake"), "echo \"$*\" >> '" + dir.Path("cmake.log") + "'");
    Executable(dir.Path("bin/ctest"), "exit 0");
    Executable(dir.Path("bin/dpkg-query"), "printf 'install ok installed'");
    Executable(dir.Path("build/bin/vellora"), "exit 0");
    const std::string env = "PATH='" + dir.Path("bin") + "':\"$PATH\" VELLORA_BUILD_DIR='" + dir.Path("build") + "' ";
    const std::string root = VELLORA_SOURCE_DIR;
    for (const char* script : {"setup.sh", "test.sh"}) {
        const vtest::CliRun run = vtest::RunShell(env + "'" + root + "/scripts/" + script + "'");
        ASSERT_EQ(run.status, 0) << script << ": " << run.out;
    }
    const std::vector<std::string> lines = ConfigureLines(vtest::FileText(dir.Path("cmake.log")));
    ASSERT_EQ(lines.size(), 2u) << vtest::FileText(dir.Path("cmake.log"));
    EXPECT_NE(lines[0].find(dir.Path("build")), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0], lines[1]);
}

// `cmake --install` puts the command, its module in a folder of its own, the
// frei0r filter where frei0r hosts look, the man page, the completion and the
// docs under the prefix, and nothing for developers; the installed command
// finds its module there.
TEST(Install, PutsEverythingUnderThePrefixAndTheCommandFindsItsModule) {
    vtest::TempDir dir;
    const vtest::CliRun install =
        vtest::RunShell(std::string("cmake --install '") + VELLORA_BUILD_DIR + "' --prefix '" + dir.Dir() + "'");
    ASSERT_EQ(install.status, 0) << install.out;
    for (const char* file : {"bin/vellora", "lib/frei0r-1/vellora.so", "share/man/man1/vellora.1.gz",
                             "share/bash-completion/completions/vellora", "share/doc/vellora/README.md",
                             "share/doc/vellora/copyright", "share/doc/vellora/docs/commands.md"}) {
        struct stat st {};
        EXPECT_EQ(stat(dir.Path(file).c_str(), &st), 0) << file << " is not installed";
    }
    // The docs' pages may say "test"; no other installed path may.
    const vtest::CliRun found =
        vtest::RunShell("cd '" + dir.Dir() + "' && find . -type f -not -path './share/doc/*' | sort", false);
    for (const char* unwanted : {"test", "bench", "fuzz", "docgen", "FakePlugin", ".a\n", "include/"}) {
        EXPECT_EQ(found.out.find(unwanted), std::string::npos) << unwanted << " installed:\n" << found.out;
    }

    const std::string vellora = "env -u VELLORA_MODULE '" + dir.Path("bin/vellora") + "' ";
    const vtest::CliRun info = vtest::RunShell(vellora + "info", false);
    ASSERT_EQ(info.status, 0) << info.err;
    const size_t at = info.out.find("Module:");
    ASSERT_NE(at, std::string::npos) << info.out;
    std::istringstream line(info.out.substr(at + 7));
    std::string module;
    line >> module;
    EXPECT_EQ(module.rfind(dir.Dir() + "/", 0), 0u) << module << " is not the installed module";
    EXPECT_NE(module.find("/vellora/Vellora.so"), std::string::npos) << module << " is not in a folder of its own";
    EXPECT_EQ(module.find("/../"), std::string::npos) << module << " is not named plainly";
    EXPECT_EQ(vtest::RunShell(vellora + "render testcard:32x16 " + dir.Arg("out.png") + " -q").status, 0);
    EXPECT_EQ(vtest::ReadFile(dir.Path("out.png")).spec.width, 32);
}

// Shotcut reads a filter only as a whole folder: its QML and the params.js the
// build writes; the mask variant is a folder of its own naming mask_start.
TEST(Install, PutsShotcutsAndKdenlivesFilesWhereTheyReadThem) {
    vtest::TempDir dir;
    const vtest::CliRun install =
        vtest::RunShell(std::string("cmake --install '") + VELLORA_BUILD_DIR + "' --prefix '" + dir.Dir() + "'");
    ASSERT_EQ(install.status, 0) << install.out;
    for (const char* name : {"vellora", "vellora_mask"}) {
        SCOPED_TRACE(name);
        const std::string folder = dir.Path(std::string("share/shotcut/qml/filters/") + name);
        EXPECT_EQ(vtest::FolderNames(folder),
                  (std::vector<std::string>{"keys.js", "meta.qml", "params.js", "ui.qml", "vui.qml"}));
        EXPECT_NE(vtest::FileText(folder + "/params.js").find("var params = {"), std::string::npos);
    }
    EXPECT_NE(vtest::FileText(dir.Path("share/shotcut/qml/filters/vellora_mask/params.js"))
                  .find("\"service\": \"mask_start\""),
              std::string::npos);
    EXPECT_NE(vtest::FileText(dir.Path("share/kdenlive/effects/mask_start_vellora.xml")).find("tag=\"mask_start\""),
              std::string::npos);
    EXPECT_NE(vtest::FileText(dir.Path("share/kdenlive/effects/vellora.xml")).find("tag=\"vellora\""),
              std::string::npos);
}

}  // namespace
