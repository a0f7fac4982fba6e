// Option values on the command line: the parsers of clip/Parse.h, and the
// CLI11 check every option shares.
#pragma once

#include <CLI/CLI.hpp>

#include "clip/Parse.h"

namespace vcli {

using vclip::FrameRate;
using vclip::ParseFrameRate;
using vclip::ParseInteger;
using vclip::ParseNumber;
using vclip::ParsePoint;
using vclip::ParseRanged;
using vclip::ParseSize;
using vclip::Trim;

// A CLI11 check that refuses an empty value: an empty option is a mistake, not the default.
CLI::Validator NonEmpty();

}  // namespace vcli
