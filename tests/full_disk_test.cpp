// A disk that fills during a write: the command fails naming the file, the
// file it would have replaced is left as it was, under every name, and no
// temporary file stays behind. The disk is a real tmpfs filled to the brim.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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
            EXPECT_TRUE(vtest::OneLineNaming(run.out, "cannot write '" + disk.Path(keep) + "': " + std::strerror(ENOSPC)));
            EXPECT_TRUE(Holds(disk.Path(keep), old));
            EXPECT_EQ(disk.Names(), std::vector<std::string>({"filler", keep}));
        }
    }
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

}  // namespace
