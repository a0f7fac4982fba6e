#include "params/StrictJson.h"

#include <set>
#include <vector>

#include "support/InputError.h"

namespace vparams {

std::string Short(const std::string& text) {
    const size_t kMax = 40;
    return text.size() <= kMax ? text : text.substr(0, kMax) + "... (" + std::to_string(text.size()) + " characters)";
}

std::string Short(const nlohmann::json& value) { return Short(value.dump()); }

nlohmann::json ParseStrictJson(const std::string& text, const std::string& source_name, const JsonLimits& limits) {
    using vsupport::InputError;
    if (text.size() > limits.max_bytes) {
        throw InputError(source_name + " holds more than " + std::to_string(limits.max_bytes) +
                         " bytes, far more than " + limits.what);
    }
    // nlohmann keeps the last of two equal members without a word; a file that
    // sets a value twice is a mistake to point out, not to guess at.
    std::vector<std::set<std::string>> objects;
    std::string duplicate;
    const nlohmann::json::parser_callback_t track = [&](int depth, nlohmann::json::parse_event_t event,
                                                        nlohmann::json& parsed) {
        using Event = nlohmann::json::parse_event_t;
        // `depth` counts the arrays and objects around this one. The parser
        // keeps its stack on the heap, but copying and printing a value
        // recurse: stop at the limit, before building more.
        if ((event == Event::object_start || event == Event::array_start) && depth >= limits.max_depth) {
            throw InputError(source_name + " nests arrays or objects more than " + std::to_string(limits.max_depth) +
                             " deep, far more than " + limits.what);
        }
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
        throw InputError(source_name + " is not valid JSON: " + what);
    }
    if (!duplicate.empty()) throw InputError(source_name + ": key '" + duplicate + "' is given twice");
    return json;
}

}  // namespace vparams
