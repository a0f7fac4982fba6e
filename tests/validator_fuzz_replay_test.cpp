// Every input of the fuzz corpus (the seeds and each crash the fuzzer found)
// replays through the same driver in the normal test run.
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/FuzzDriver.h"
#include "tests/TestSupport.h"

namespace {

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(VELLORA_FUZZ_CORPUS)) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') files.push_back(std::string(VELLORA_FUZZ_CORPUS) + "/" + entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzCorpus, EveryInputReplaysClean) {
    const std::vector<std::string> files = CorpusFiles();
    ASSERT_GE(files.size(), 50u) << "the corpus in " << VELLORA_FUZZ_CORPUS << " is missing";
    for (const std::string& file : files) {
        const std::string bytes = vtest::FileText(file);
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        const vvalidator::Findings findings = vfuzz::RunInput(vtest::Module(), data.data(), data.size());
        EXPECT_TRUE(findings.Empty()) << file << " (" << vfuzz::DescribeInput(data.data(), data.size())
                                      << "): " << findings.First();
    }
}

TEST(FuzzCorpus, TheDriverCatchesAPlantedFault) {
    // A render input against the stand-in module that changes a colour byte.
    const std::string bytes = vtest::FileText(std::string(VELLORA_FUZZ_CORPUS) + "/ae-render-0");
    const std::vector<uint8_t> data(bytes.begin(), bytes.end());
    ASSERT_FALSE(data.empty());
    ::setenv("VELLORA_FAKE_FAULT", "recolour", 1);
    const vhost::PluginModule fake(VELLORA_FAKE_MODULE_PATH);
    const vvalidator::Findings findings = vfuzz::RunInput(fake, data.data(), data.size());
    ::unsetenv("VELLORA_FAKE_FAULT");
    ASSERT_FALSE(findings.Empty()) << vfuzz::DescribeInput(data.data(), data.size());
    EXPECT_NE(findings.First().find("colour channels differ"), std::string::npos) << findings.First();
}

// Inputs that are empty, short or pure noise are sessions too.
TEST(FuzzCorpus, AnyBytesMakeASession) {
    EXPECT_TRUE(vfuzz::RunInput(vtest::Module(), nullptr, 0).Empty());
    std::vector<uint8_t> noise(300);
    uint32_t x = 12345;
    for (int round = 0; round < 40; ++round) {
        for (uint8_t& b : noise) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
        const vvalidator::Findings findings = vfuzz::RunInput(vtest::Module(), noise.data(), noise.size());
        EXPECT_TRUE(findings.Empty()) << vfuzz::DescribeInput(noise.data(), noise.size()) << ": " << findings.First();
    }
}

}  // namespace
