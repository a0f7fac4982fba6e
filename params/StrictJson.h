// JSON a user hands the tools (parameter and key files), read strictly: one
// value with each member of an object given once, refused when it is far
// larger or deeper than such a file: the size before parsing, the depth as the
// parser reaches it.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace vparams {

struct JsonLimits {
    size_t max_bytes;
    int max_depth;
    const char* what;  // "a parameters file", said when a limit is passed
};

// Throws InputError starting with `source_name`: too large, too deep, not
// valid JSON (the parser's message, its quote of the input cut short), or a
// member given twice.
nlohmann::json ParseStrictJson(const std::string& text, const std::string& source_name, const JsonLimits& limits);

// A value as the user wrote it, cut short so an error stays one line.
std::string Short(const std::string& text);
std::string Short(const nlohmann::json& value);

}  // namespace vparams
