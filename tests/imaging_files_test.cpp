// What `vellora` writes replaces the old file only when complete, and keeps
// what the old file was: a link stays a link, a replaced file keeps its mode,
// hard links stay shared, special files are refused, and no temporary file
// outlives an error or a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/TestFiles.h"

namespace {

using vtest::RunCli;

void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct stat Stat(const std::string& path, bool follow = true) {
    struct stat st {};
    EXPECT_EQ(follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(OutputFiles, JpegTwoThousandIsWrittenWholeOrRefusedLeavingTheOldFile) {
    vtest::TempDir dir;
    for (const char* name : {"keep.jp2", "keep.j2k"}) {
        SCOPED_TRACE(name);
        Put(dir.Path(name), "precious");
        // It cannot hold straight alpha, so a render is refused and the old file stays.
        const vtest::CliRun render = RunCli("render testcard:64x32 " + dir.Arg(name) + " -q");
        EXPECT_NE(render.status, 0);
        EXPECT_TRUE(vtest::OneLineNaming(render.out, "JPEG 2000"));
        EXPECT_EQ(vtest::FileText(dir.Path(name)), "precious");
        // An opaque picture it holds: the file is a real one, at any depth.
        for (const char* depth : {"", " --depth 16"}) {
            const vtest::CliRun overlay = RunCli("overlay testcard:64x32 " + dir.Arg(name) + depth + " -q");
            ASSERT_EQ(overlay.status, 0) << overlay.out;
            const vtest::FilePixels picture = vtest::ReadFile(dir.Path(name));
            EXPECT_EQ(picture.spec.width, 64);
            EXPECT_EQ(picture.spec.nchannels, 3);
        }
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>({"keep.j2k", "keep.jp2"}));
}

TEST(OutputFiles, ReplacingKeepsLinksModeAndHardLinks) {
    vtest::TempDir dir;
    const std::string render = "render testcard:32x16 ";
    // A symbolic link is written through to its target and stays a link.
    Put(dir.Path("target.png"), "old");
    ASSERT_EQ(symlink("target.png", dir.Path("link.png").c_str()), 0);
    ASSERT_EQ(RunCli(render + dir.Arg("link.png") + " -q").status, 0);
    EXPECT_TRUE(S_ISLNK(Stat(dir.Path("link.png"), false).st_mode));
    EXPECT_EQ(vtest::ReadFile(dir.Path("target.png")).spec.width, 32);

    // Every name of a hard-linked file sees the new picture.
    Put(dir.Path("one.png"), "old");
    ASSERT_EQ(link(dir.Path("one.png").c_str(), dir.Path("two.png").c_str()), 0);
    ASSERT_EQ(RunCli(render + dir.Arg("one.png") + " -q").status, 0);
    EXPECT_EQ(Stat(dir.Path("one.png")).st_ino, Stat(dir.Path("two.png")).st_ino);
    EXPECT_EQ(vtest::ReadFile(dir.Path("two.png")).spec.width, 32);

    // A FIFO is refused, not replaced by a regular file, and not waited on.
    ASSERT_EQ(mkfifo(dir.Path("pipe.png").c_str(), 0644), 0);
    const vtest::CliRun fifo = RunCli(render + dir.Arg("pipe.png") + " -q");
    EXPECT_TRUE(vtest::OneLineNaming(fifo.out, "FIFO"));
    EXPECT_TRUE(S_ISFIFO(Stat(dir.Path("pipe.png")).st_mode));

    // A name near the 255-byte limit leaves no room for a long temporary name.
    const std::string long_name = std::string(250, 'n') + ".png";
    ASSERT_EQ(RunCli(render + dir.Arg(long_name) + " -q").status, 0);
    EXPECT_EQ(vtest::ReadFile(dir.Path(long_name)).spec.width, 32);
    EXPECT_EQ(dir.Names().size(), 6u) << "no temporary files left";
}

// Whether a temporary file in `dir` has content yet.
bool Writing(const vtest::TempDir& dir) {
    for (const std::string& name : dir.Names()) {
        struct stat st {};
        if (name[0] == '.' && stat(dir.Path(name).c_str(), &st) == 0 && st.st_size > 0) return true;
    }
    return false;
}

// Runs `vellora args` and, once it is writing, stops it; if its temporary file
// is still there it cannot have put the output in place, so `sig` sent then
// arrives mid-write whatever the machine's speed. A run that finished first is
// run again. Returns how the interrupted run ended.
int InterruptWhileWriting(const vtest::TempDir& dir, const std::string& args, int sig) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        vtest::Process run("exec '" + std::string(VELLORA_CLI_PATH) + "' " + args);
        bool sent = false;
        while (!sent && !run.Ended()) {
            if (!Writing(dir)) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            if (!run.Pause()) break;
            if ((sent = Writing(dir))) run.Signal(sig);
            run.Signal(SIGCONT);
        }
        if (sent) {
            run.Ended(-1);
            return run.Status();
        }
        for (const std::string& name : dir.Names()) std::remove(dir.Path(name).c_str());
    }
    ADD_FAILURE() << "every run finished before it could be interrupted";
    return 0;
}

TEST(OutputFiles, SignalsRemoveTheTemporaryFile) {
    vtest::TempDir dir;
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        const int status = InterruptWhileWriting(dir, "render testcard:3000x2000 " + dir.Arg("big.png") + " -q", sig);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(dir.Names(), std::vector<std::string>()) << "left behind";
    }
}

// Refused outputs and inputs name the file and the operating system's reason.
TEST(OutputFiles, FoldersAndPermissionsAreNamedWithTheirReason) {
    vtest::TempDir dir;
    const vtest::CliRun missing = RunCli("render testcard:8x8 " + dir.Arg("no/such/out.png") + " -q");
    EXPECT_TRUE(vtest::OneLineNaming(missing.out, "'" + dir.Path("no/such/out.png") + "': No such file or directory"));
    EXPECT_EQ(missing.out.find(".vellora-"), std::string::npos) << "no temporary name";
    const vtest::CliRun folder = RunCli("render testcard:8x8 '" + dir.Dir() + "' -q");
    EXPECT_TRUE(vtest::OneLineNaming(folder.out, "Is a directory"));
    const vtest::CliRun input_folder = RunCli("render '" + dir.Dir() + "' " + dir.Arg("o.png"));
    EXPECT_TRUE(vtest::OneLineNaming(input_folder.out, "cannot read '" + dir.Dir() + "': Is a directory"));

    // An input FIFO nobody writes to is refused at once rather than waited on.
    ASSERT_EQ(mkfifo(dir.Path("in.png").c_str(), 0644), 0);
    const vtest::CliRun fifo = RunCli("render " + dir.Arg("in.png") + " " + dir.Arg("o.png"), true, "timeout 20");
    EXPECT_TRUE(vtest::OneLineNaming(fifo.out, "FIFO"));

    // Permissions bind only other users: run as nobody when we are root.
    ASSERT_EQ(chmod(dir.Dir().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.Path("locked").c_str(), 0555), 0);
    Put(dir.Path("secret.png"), "x");
    ASSERT_EQ(chmod(dir.Path("secret.png").c_str(), 0), 0);
    const std::string as_user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const vtest::CliRun locked = RunCli("render testcard:8x8 " + dir.Arg("locked/out.png") + " -q", true, as_user);
    EXPECT_TRUE(vtest::OneLineNaming(locked.out, "'" + dir.Path("locked/out.png") + "': Permission denied"));
    const vtest::CliRun secret = RunCli("render " + dir.Arg("secret.png") + " " + dir.Arg("locked/o.png"), true, as_user);
    EXPECT_TRUE(vtest::OneLineNaming(secret.out, "cannot read '" + dir.Path("secret.png") + "': Permission denied"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>({"in.png", "locked", "secret.png"}));
}

// In a folder anyone may write (without the sticky bit), the folder's
// permission would let any user replace any file; like cp, vellora asks for the file's own.
TEST(OutputFiles, AFileTheUserMayNotWriteIsNotReplaced) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another owner";
    vtest::TempDir dir;
    const std::string as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    ASSERT_EQ(chmod(dir.Dir().c_str(), 0777), 0);
    Put(dir.Path("theirs.png"), "precious");
    ASSERT_EQ(chmod(dir.Path("theirs.png").c_str(), 0444), 0);
    const vtest::CliRun refused = RunCli("render testcard:8x8 " + dir.Arg("theirs.png") + " -q", true, as_nobody);
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_TRUE(vtest::OneLineNaming(refused.out, "cannot write '" + dir.Path("theirs.png") + "': Permission denied"));
    EXPECT_EQ(vtest::FileText(dir.Path("theirs.png")), "precious");
    EXPECT_EQ(Stat(dir.Path("theirs.png")).st_uid, 0u);

    // A file the user may write is replaced as before, and stays theirs.
    Put(dir.Path("mine.png"), "old");
    ASSERT_EQ(chown(dir.Path("mine.png").c_str(), 65534, 65534), 0);
    const vtest::CliRun mine = RunCli("render testcard:8x8 " + dir.Arg("mine.png") + " -q", true, as_nobody);
    EXPECT_EQ(mine.status, 0) << mine.out;
    EXPECT_EQ(vtest::ReadFile(dir.Path("mine.png")).spec.width, 8);
    EXPECT_EQ(dir.Names(), std::vector<std::string>({"mine.png", "theirs.png"}));
}

// The writer picks the format by the name given: through a link whose target's
// name asks for another, the file would hold data its name does not announce.
TEST(OutputFiles, ALinkNamingAnotherFormatThanItsTargetIsRefused) {
    vtest::TempDir dir;
    Put(dir.Path("real.png"), "precious");
    ASSERT_EQ(symlink("real.png", dir.Path("x.tif").c_str()), 0);
    const vtest::CliRun run = RunCli("render testcard:8x8 " + dir.Arg("x.tif") + " -q");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(vtest::OneLineNaming(run.out, "'" + dir.Path("x.tif") + "': it is a link to '" + dir.Path("real.png")));
    EXPECT_EQ(vtest::FileText(dir.Path("real.png")), "precious");
    // Names that ask for the same format, or a target that asks for none, are written through.
    ASSERT_EQ(symlink("real.png", dir.Path("y.PNG").c_str()), 0);
    EXPECT_EQ(RunCli("render testcard:8x8 " + dir.Arg("y.PNG") + " -q").status, 0);
    EXPECT_EQ(vtest::ReadFile(dir.Path("real.png")).spec.width, 8);
    Put(dir.Path("blob"), "old");
    ASSERT_EQ(symlink("blob", dir.Path("z.tif").c_str()), 0);
    EXPECT_EQ(RunCli("render testcard:8x8 " + dir.Arg("z.tif") + " -q").status, 0);
    EXPECT_EQ(vtest::ReadFile(dir.Path("blob")).spec.width, 8);
}

// A new output is made with the mode the user's umask gives, as any program's
// new file is; only a replaced file keeps its own.
TEST(OutputFiles, ANewFileFollowsTheUmask) {
    vtest::TempDir dir;
    for (const auto& [mask, mode] : {std::make_pair("022", 0644u), std::make_pair("027", 0640u),
                                     std::make_pair("077", 0600u)}) {
        SCOPED_TRACE(mask);
        const std::string name = std::string("new") + mask + ".png";
        const vtest::CliRun run =
            RunCli("render testcard:8x8 " + dir.Arg(name) + " -q", true,
                   std::string("sh -c 'umask ") + mask + " && exec \"$0\" \"$@\"'");
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(Stat(dir.Path(name)).st_mode & 07777, mode);
        const vtest::CliRun text = RunCli("overlay testcard:8x8 " + dir.Arg(name + ".jpg") + " -q --trace " +
                                              dir.Arg(name + ".json"),
                                          true, std::string("sh -c 'umask ") + mask + " && exec \"$0\" \"$@\"'");
        ASSERT_EQ(text.status, 0) << text.out;
        EXPECT_EQ(Stat(dir.Path(name + ".json")).st_mode & 07777, mode);
    }
    // A replaced file keeps its own mode, whatever the umask.
    Put(dir.Path("shared.png"), "old");
    ASSERT_EQ(chmod(dir.Path("shared.png").c_str(), 0666), 0);
    ASSERT_EQ(RunCli("render testcard:8x8 " + dir.Arg("shared.png") + " -q", true, "sh -c 'umask 077 && exec \"$0\" \"$@\"'")
                  .status,
              0);
    EXPECT_EQ(Stat(dir.Path("shared.png")).st_mode & 07777, 0666u);
}

}  // namespace
