// Option values on the command line: the parsers of parse/Parse.h, and the
// CLI11 check every option shares.
#pragma once

#include <CLI/CLI.hpp>

#include "parse/Parse.h"

namespace vcli {

using vparse::FrameRate;
using vparse::ParseFrameRate;
using vparse::ParseInteger;
using vparse::ParseNumber;
using vparse::ParsePoint;
using vparse::ParseRanged;
using vparse::ParseSize;
using vparse::Trim;

// A CLI11 check that refuses an empty value: an empty option is a mistake, not the default.
CLI::Validator NonEmpty();

}  // namespace vcli
