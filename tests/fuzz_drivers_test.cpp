// Every input of every fuzz corpus (the seeds, and each finding the fuzzers
// made) replays through the same driver in the normal test run.
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/drivers/Drivers.h"
#include "fuzz/drivers/EntryDriver.h"
#include "tests/TestSupport.h"

namespace {

std::vector<std::string> CorpusFiles(const std::string& driver) {
    const std::string folder = std::string(VELLORA_FUZZ_CORPUS) + "/" + driver;
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') files.push_back(folder + "/" + entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzCorpus, EveryInputReplaysClean) {
    const std::vector<std::string> files = CorpusFiles(GetParam());
    ASSERT_GE(files.size(), 10u) << "the " << GetParam() << " corpus in " << VELLORA_FUZZ_CORPUS << " is missing";
    const std::unique_ptr<vfuzz::Driver> driver = vfuzz::MakeDriver(GetParam());
    for (const std::string& file : files) {
        const std::string bytes = vtest::FileText(file);
        EXPECT_EQ(driver->Run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << file;
    }
}

// Inputs that are empty, short or pure noise are inputs too.
TEST_P(FuzzCorpus, AnyBytesAreAnInput) {
    const std::unique_ptr<vfuzz::Driver> driver = vfuzz::MakeDriver(GetParam());
    EXPECT_EQ(driver->Run(nullptr, 0), "");
    std::vector<uint8_t> noise(300);
    uint32_t x = 12345;
    for (int round = 0; round < 40; ++round) {
        for (uint8_t& b : noise) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
        EXPECT_EQ(driver->Run(noise.data(), noise.size()), "") << "noise round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, FuzzCorpus, ::testing::ValuesIn(vfuzz::DriverNames()),
                         [](const ::testing::TestParamInfo<std::string>& driver) { return driver.param; });

TEST(FuzzDrivers, TheEntryDriverCatchesAPlantedFault) {
    // A render input against the stand-in module that changes a colour byte.
    const std::string bytes = vtest::FileText(std::string(VELLORA_FUZZ_CORPUS) + "/entry/ae-render-0");
    const std::vector<uint8_t> data(bytes.begin(), bytes.end());
    ASSERT_FALSE(data.empty());
    ::setenv("VELLORA_FAKE_FAULT", "recolour", 1);
    const vhost::PluginModule fake(VELLORA_FAKE_MODULE_PATH);
    const vvalidator::Findings findings = vfuzz::RunInput(fake, data.data(), data.size());
    ::unsetenv("VELLORA_FAKE_FAULT");
    ASSERT_FALSE(findings.Empty()) << vfuzz::DescribeInput(data.data(), data.size());
    EXPECT_NE(findings.First().find("colour channels differ"), std::string::npos) << findings.First();
}

}  // namespace
