#include "support/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace vtext {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text, const char* space) {
    const size_t begin = text.find_first_not_of(space);
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(space) - begin + 1);
}

std::string Join(const std::vector<std::string>& items, const char* separator, const char* last) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += (last && i + 1 == items.size()) ? last : separator;
        text += items[i];
    }
    return text;
}

std::string Exact(double value) {
    std::ostringstream text;
    for (int digits = 6; digits <= 17; ++digits) {
        text.str("");
        text.precision(digits);
        text << value;
        if (!std::isfinite(value) || std::strtod(text.str().c_str(), nullptr) == value) break;
    }
    return text.str();
}

}  // namespace vtext
