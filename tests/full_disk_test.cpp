// A disk that fills during a write: the command fails naming the file, the
// file it would have replaced is left as it was, under every name, and no
// temporary file stays behind. The disk is a real tmpfs filled to the brim.
// Disks that fail otherwise (a lost flush, no reservations) are made by a
// preloaded shim.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "files/AtomicFile.h"
#include "support/InputError.h"
#include "tests/TestFiles.h"

namespace {

using vtest::RunCli;

// Compares without printing megabytes of bytes when they differ.
::testing::AssertionResult Holds(const std::string& path, const std::string& expected) {
    const std::string content = vtest::FileText(path);
    if (content == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " holds " << content.size() << " bytes, not the "
                                         << expected.size() << " expected";
}

off_t FileSize(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_size;
}

// An RGBA picture of noise, which no format compresses much.
std::string MakeNoise(const vtest::TempDir& dir, int width, int height) {
    const std::string path = dir.Path("noise.png");
    const OIIO::ImageSpec spec(width, height, 4, OIIO::TypeDesc::UINT8);
    vtest::WriteFile(path, spec, vtest::Noise(static_cast<size_t>(width) * height * 4, 7));
    return path;
}

#define REQUIRE_MOUNTED(disk) \
    if (!(disk).Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root), so no full disk to write to"

TEST(FullDisk, AnOutputThatDoesNotFitFailsAndKeepsTheOldFile) {
    vtest::TempDir scratch;
    const std::string noise = "'" + MakeNoise(scratch, 600, 400) + "'";
    // PNG's writer goes on silently when the disk is full, TIFF's read back
    // fails on a cut directory: either way the message names the full disk.
    for (const std::string command : {"render", "overlay"}) {
        for (const std::string ext : {".png", ".tif"}) {
            SCOPED_TRACE(command + " " + ext);
            const std::string keep = "keep" + ext;
            // The whole of the new file, to know how much room to leave.
            ASSERT_EQ(RunCli(command + " " + noise + " " + scratch.Arg("whole" + ext) + " -q").status, 0);
            const off_t whole = FileSize(scratch.Path("whole" + ext));

            vtest::SmallDisk disk(8 << 20);
            REQUIRE_MOUNTED(disk);
            ASSERT_EQ(RunCli("render testcard:64x32 " + disk.Arg(keep) + " -q").status, 0);
            const std::string old = vtest::FileText(disk.Path(keep));
            disk.LeaveFree(static_cast<size_t>(whole / 3));
            const vtest::CliRun run = RunCli(command + " " + noise + " " + disk.Arg(keep) + " -q");
            EXPECT_EQ(run.status, 1) << run.out;
            const std::string full = "cannot write '" + disk.Path(keep) + "': " + std::strerror(ENOSPC);
            EXPECT_TRUE(vtest::OneLineNaming(run.out, full));
            EXPECT_TRUE(Holds(disk.Path(keep), old));
            EXPECT_EQ(disk.Names(), std::vector<std::string>({"filler", keep}));
        }
    }
}

// A full disk is the system's failure, not a mistake in the name given; a
// folder that is not there, or a directory named as the file, is the user's.
TEST(FullDisk, AFullDiskIsAHostErrorAMissingFolderAnInputError) {
    vtest::SmallDisk disk(1 << 20);
    REQUIRE_MOUNTED(disk);
    disk.LeaveFree(16 << 10);
    const std::string big(256 << 10, 'x');
    try {
        vfiles::WriteTextAtomically(disk.Path("big.json"), big, "--trace");
        ADD_FAILURE() << "256K written to a disk with 16K free";
    } catch (const vhost::HostError& e) {
        EXPECT_NE(std::string(e.what()).find(std::strerror(ENOSPC)), std::string::npos) << e.what();
    }
    EXPECT_THROW(vfiles::WriteTextAtomically(disk.Path("none/a.json"), "{}", "--trace"), vsupport::InputError);
    EXPECT_THROW(vfiles::WriteTextAtomically(disk.Path(""), "{}", "--trace"), vsupport::InputError);
    EXPECT_THROW(vfiles::ReadTextFile(disk.Path("none.json"), 100), vsupport::InputError);
    EXPECT_EQ(disk.Names(), std::vector<std::string>({"filler"}));
}

TEST(FullDisk, TheJpegLibraryGivingUpIsAFailureWithItsMessage) {
    vtest::TempDir scratch;
    const std::string noise = "'" + MakeNoise(scratch, 600, 400) + "'";
    vtest::SmallDisk disk(2 << 20);
    REQUIRE_MOUNTED(disk);
    disk.LeaveFree(16 << 10);
    const vtest::CliRun run = RunCli("overlay " + noise + " " + disk.Arg("new.jpg") + " -q");
    EXPECT_EQ(run.status, 1) << run.out;
    // The library's own words reach the user, after ours naming the file.
    EXPECT_TRUE(vtest::OneLineNaming(run.out, "while writing '" + disk.Path("new.jpg") + "'"));
    EXPECT_NE(run.out.find("disk space"), std::string::npos) << run.out;
    EXPECT_EQ(disk.Names(), std::vector<std::string>({"filler"}));
}

TEST(FullDisk, AHardLinkedOutputKeepsItsContentUnderEveryName) {
    vtest::TempDir scratch;
    const std::string noise = "'" + MakeNoise(scratch, 400, 400) + "'";
    ASSERT_EQ(RunCli("render " + noise + " " + scratch.Arg("whole.tif") + " -q").status, 0);
    const off_t whole = FileSize(scratch.Path("whole.tif"));

    vtest::SmallDisk disk(4 << 20);
    REQUIRE_MOUNTED(disk);
    ASSERT_EQ(RunCli("render testcard:64x32 " + disk.Arg("one.tif") + " -q").status, 0);
    ASSERT_EQ(link(disk.Path("one.tif").c_str(), disk.Path("two.tif").c_str()), 0);
    const std::string old = vtest::FileText(disk.Path("one.tif"));
    // Room for the new file beside the old one, not for a second copy in its place.
    disk.LeaveFree(static_cast<size_t>(whole + whole / 2));
    const vtest::CliRun run = RunCli("render " + noise + " " + disk.Arg("one.tif") + " -q");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(vtest::OneLineNaming(run.out, "left as it was"));
    EXPECT_TRUE(Holds(disk.Path("one.tif"), old));
    EXPECT_TRUE(Holds(disk.Path("two.tif"), old));
    EXPECT_EQ(disk.Names(), std::vector<std::string>({"filler", "one.tif", "two.tif"}));
}

// `env` words for RunCli that preload the failing shim with `variable` set;
// "" where it cannot be preloaded (a sanitizer's runtime that must come first is not at hand).
std::string FailingDisk(const std::string& variable) {
#ifdef VELLORA_SANITIZED
    if (std::string(VELLORA_SANITIZER_PRELOAD).empty()) return "";
    return "LD_PRELOAD='" VELLORA_SANITIZER_PRELOAD ":" VELLORA_FAIL_SHIM_PATH "' ASAN_OPTIONS=detect_leaks=0 " +
           variable + "=1";
#else
    return "LD_PRELOAD='" VELLORA_FAIL_SHIM_PATH "' " + variable + "=1";
#endif
}

TEST(FailingDisk, AFlushThatFailsFailsTheWriteAndKeepsTheOldFile) {
    const std::string env = FailingDisk("VELLORA_TEST_FSYNC_FAILS");
    if (env.empty()) GTEST_SKIP() << "the shim cannot be preloaded under this sanitizer";
    vtest::TempDir dir;
    ASSERT_EQ(RunCli("render testcard:64x32 " + dir.Arg("keep.png") + " -q").status, 0);
    ASSERT_EQ(link(dir.Path("keep.png").c_str(), dir.Path("also.png").c_str()), 0);
    const std::string old = vtest::FileText(dir.Path("keep.png"));
    for (const char* args : {"render testcard:80x40 ", "overlay testcard:80x40 "}) {
        for (const char* name : {"keep.png", "new.png"}) {
            SCOPED_TRACE(std::string(args) + name);
            const vtest::CliRun run = RunCli(args + dir.Arg(name) + " -q", true, env);
            EXPECT_EQ(run.status, 1) << run.out;
            EXPECT_TRUE(vtest::OneLineNaming(run.out, "cannot write '" + dir.Path(name) + "': " + std::strerror(EIO)));
            EXPECT_TRUE(Holds(dir.Path("keep.png"), old));
            EXPECT_TRUE(Holds(dir.Path("also.png"), old));
            EXPECT_EQ(dir.Names(), std::vector<std::string>({"also.png", "keep.png"}));
        }
    }
}

// Where room cannot be reserved, a hard-linked file is rewritten in place
// only with content that fits in its own blocks; longer content is refused
// with the file whole under both names.
TEST(FailingDisk, AHardLinkedFileWithoutReservationsIsRewrittenOnlyWhereItFits) {
    const std::string env = FailingDisk("VELLORA_TEST_NO_FALLOCATE");
    if (env.empty()) GTEST_SKIP() << "the shim cannot be preloaded under this sanitizer";
    vtest::TempDir dir;
    ASSERT_EQ(RunCli("render testcard:64x32 " + dir.Arg("small.png") + " -q").status, 0);
    ASSERT_EQ(RunCli("render testcard:400x300 " + dir.Arg("large.png") + " -q").status, 0);
    const std::string small = vtest::FileText(dir.Path("small.png")), large = vtest::FileText(dir.Path("large.png"));
    ASSERT_LT(small.size(), large.size());

    // Longer than the old file: refused.
    ASSERT_EQ(RunCli("render testcard:64x32 " + dir.Arg("one.png") + " -q").status, 0);
    ASSERT_EQ(link(dir.Path("one.png").c_str(), dir.Path("two.png").c_str()), 0);
    vtest::CliRun run = RunCli("render testcard:400x300 " + dir.Arg("one.png") + " -q", true, env);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(vtest::OneLineNaming(run.out, "cannot reserve the room"));
    EXPECT_TRUE(Holds(dir.Path("one.png"), small));
    EXPECT_TRUE(Holds(dir.Path("two.png"), small));

    // Shorter: rewritten in place, the same under both names.
    ASSERT_EQ(RunCli("render testcard:400x300 " + dir.Arg("one.png") + " -q").status, 0);
    run = RunCli("render testcard:64x32 " + dir.Arg("one.png") + " -q", true, env);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Holds(dir.Path("one.png"), small));
    EXPECT_TRUE(Holds(dir.Path("two.png"), small));
    EXPECT_EQ(dir.Names(), std::vector<std::string>({"large.png", "one.png", "small.png", "two.png"}));
}

}  // namespace
