// Modules that misbehave or are named carelessly, through the built `vellora`:
// a module that ends the process is a failure naming it, never a success, and
// a module is found by the path the user typed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/TestFiles.h"

namespace {

using vtest::RunCli;

const std::string kFake = std::string("'") + VELLORA_FAKE_MODULE_PATH + "'";

TEST(HostileModule, ExitDuringSetUpIsAFailureNamingTheModule) {
    vtest::TempDir dir;
    const std::vector<std::string> commands = {
        "info --module " + kFake,
        "render testcard:32x16 " + dir.Arg("out.png") + " -q --module " + kFake,
        "overlay testcard:32x16 " + dir.Arg("out.png") + " -q --module " + kFake,
        "drag testcard:32x16 --from 1,1 --to 5,5 --module " + kFake,
    };
    for (const char* fault : {"exit-in-setup", "exit-on-load"}) {
        for (const std::string& command : commands) {
            SCOPED_TRACE(std::string(fault) + ": " + command);
            const vtest::CliRun run = RunCli(command, true, std::string("VELLORA_FAKE_FAULT=") + fault);
            EXPECT_EQ(run.status, 1) << run.out;
            EXPECT_NE(run.out.find("vellora: plug-in module " + kFake + " ended the process with exit(0)"),
                      std::string::npos)
                << run.out;
        }
    }
    EXPECT_TRUE(dir.Names().empty());
    // The same module left alone renders: the failure was the exit's.
    EXPECT_EQ(RunCli("render testcard:32x16 " + dir.Arg("out.png") + " -q --module " + kFake).status, 0);
}

TEST(HostileModule, AModuleNamedWithoutAFolderIsTheFileHere) {
    vtest::TempDir dir;
    ASSERT_EQ(vtest::RunShell("cp '" VELLORA_MODULE_PATH "' " + dir.Arg("Mine.so")).status, 0);
    const std::string in_dir = vtest::InFolder(dir.Dir());
    const vtest::CliRun run = RunCli("info --module Mine.so", true, in_dir);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Mine.so"), std::string::npos) << run.out;
    // A name that is no file here is not looked up in the library path either.
    const vtest::CliRun missing = RunCli("info --module libc.so.6", true, in_dir);
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_TRUE(vtest::OneLineNaming(missing.out, "'libc.so.6' not found"));
}

}  // namespace
