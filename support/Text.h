// Small string helpers the host-side layers share.
#pragma once

#include <string>
#include <vector>

namespace vtext {

// ASCII lower case; names and format words are ASCII.
std::string Lower(std::string text);

// Without the leading and trailing characters of `space` (by default spaces,
// tabs, carriage returns and newlines).
std::string Trim(const std::string& text, const char* space = " \t\r\n");

// "a, b and c" with last = " and "; "a, b, c" when last is ", ".
std::string Join(const std::vector<std::string>& items, const char* separator = ", ", const char* last = nullptr);

// "300", "0.05", "-32767": the shortest decimal that reads back as `value`.
std::string Exact(double value);

}  // namespace vtext
