#include "params/StrictJson.h"

#include <algorithm>
#include <set>
#include <vector>

#include "host/HostError.h"

namespace vparams {

namespace {

// How deep arrays and objects nest in JSON text, strings skipped, stopping past `limit`.
int NestingDepth(const std::string& text, int limit) {
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (const char c : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) break;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

std::string Short(const std::string& text) {
    const size_t kMax = 40;
    return text.size() <= kMax ? text : text.substr(0, kMax) + "... (" + std::to_string(text.size()) + " characters)";
}

std::string Short(const nlohmann::json& value) { return Short(value.dump()); }

nlohmann::json ParseStrictJson(const std::string& text, const std::string& source_name, const JsonLimits& limits) {
    using vhost::HostError;
    if (text.size() > limits.max_bytes) {
        throw HostError(source_name + " holds more than " + std::to_string(limits.max_bytes) + " bytes, far more than " +
                        limits.what);
    }
    if (NestingDepth(text, limits.max_depth) > limits.max_depth) {
        throw HostError(source_name + " nests arrays or objects more than " + std::to_string(limits.max_depth) +
                        " deep, far more than " + limits.what);
    }
    // nlohmann keeps the last of two equal members without a word; a file that
    // sets a value twice is a mistake to point out, not to guess at.
    std::vector<std::set<std::string>> objects;
    std::string duplicate;
    const nlohmann::json::parser_callback_t track = [&](int, nlohmann::json::parse_event_t event,
                                                        nlohmann::json& parsed) {
        using Event = nlohmann::json::parse_event_t;
        if (event == Event::object_start) {
            objects.emplace_back();
        } else if (event == Event::object_end && !objects.empty()) {
            objects.pop_back();
        } else if (event == Event::key && !objects.empty() && duplicate.empty() &&
                   !objects.back().insert(parsed.get<std::string>()).second) {
            duplicate = parsed.get<std::string>();
        }
        return true;
    };
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text, track);
    } catch (const nlohmann::json::exception& e) {
        std::string what = e.what();
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        // The parser quotes what it last read, which may be the whole of a huge token.
        const size_t quote = what.find("last read: '");
        if (quote != std::string::npos) {
            const size_t start = quote + 12, end = what.rfind('\'');
            if (end != std::string::npos && end > start) {
                what = what.substr(0, start) + Short(what.substr(start, end - start)) + what.substr(end);
            }
        }
        throw HostError(source_name + " is not valid JSON: " + what);
    }
    if (!duplicate.empty()) throw HostError(source_name + ": key '" + duplicate + "' is given twice");
    return json;
}

}  // namespace vparams
