// The fuzz targets, one per kind of input a user hands the tools: each turns
// bytes into one use of the code the tools run on such input and says what
// went wrong. The libFuzzer programs and the test that replays the corpus
// share them, so a finding replays exactly as it was found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vfuzz {

class Driver {
public:
    virtual ~Driver() = default;
    // Runs one input. Empty when the code held to everything it promises;
    // else what it broke, in words. A refusal naming the input is no finding.
    virtual std::string Run(const uint8_t* data, size_t size) = 0;
    // Its libFuzzer dictionary: the words its input is made of, one
    // `"word"` a line; empty when its input has none.
    virtual std::string Dictionary() const { return {}; }
};

// "entry", "params", "keys", "image", "frei0r", "mlt": each the name of its
// libFuzzer program (vellora_fuzz_NAME), corpus (fuzz/corpus/NAME) and dictionary.
const std::vector<std::string>& DriverNames();

// The driver `name`, with the modules it loads set up once; the effect's and
// the filter's are those of this build, or $VELLORA_MODULE and $VELLORA_FREI0R.
// Throws HostError for an unknown name or a module that does not load.
std::unique_ptr<Driver> MakeDriver(const std::string& name);

// A dictionary line for `word`, escaped as libFuzzer reads it.
std::string DictionaryWord(const std::string& word);

}  // namespace vfuzz
