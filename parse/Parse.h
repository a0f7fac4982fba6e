// One parser per kind of value an option takes: each takes the option's text
// (spaces and tabs around it ignored) and throws vsupport::InputError naming the
// option and the value.
#pragma once

#include <cstdint>
#include <string>

namespace vparse {

// `text` without the spaces and tabs around it: options take " 8" as "8".
std::string Trim(const std::string& text);

// A decimal number ("1e-400" is 0); anything else ("0x10", "inf") is refused.
double ParseNumber(const std::string& text, const std::string& option);

// A decimal number from lo to hi; `unit` (" pixels") follows the range in the message.
double ParseRanged(const std::string& text, const std::string& option, double lo, double hi, const std::string& unit);

// A decimal whole number from lo to hi.
long ParseInteger(const std::string& text, const std::string& option, long lo, long hi);

// "A/B" as A divided by B, or a decimal (as a range is written: "1/64"); each
// part a number.
double ParseFraction(const std::string& text, const std::string& option);

// "A/B" or "A" (B is 1) as two whole numbers, each from lo to hi.
struct Ratio {
    long num = 1, den = 1;
};
Ratio ParseRatio(const std::string& text, const std::string& option, long lo, long hi);

// "X,Y" as two numbers, each within 16.16 fixed point's +/-32767.
void ParsePoint(const std::string& text, const std::string& option, double& x, double& y);

// "WIDTHxHEIGHT" as two whole numbers, each from lo to hi.
void ParseSize(const std::string& text, const std::string& option, long lo, long hi, int& width, int& height);

// Frames a second as a host's time fields hold them: time_scale units a
// second, time_step units a frame.
struct FrameRate {
    unsigned long scale = 25;
    long step = 1;
};
// "25", "30000/1001" or "29.97", reduced; at most 1000 frames a second.
FrameRate ParseFrameRate(const std::string& text, const std::string& option);

// A size in bytes: "4G", "512M", "64KiB" or a count of bytes; above 0.
uint64_t ParseByteSize(const std::string& text, const std::string& option);
// A whole number above 0, without suffixes.
uint64_t ParseCount(const std::string& text, const std::string& option);
// A whole number from 0 to 2^64 - 1 ("-1" refused, not wrapped round).
uint64_t ParseUnsigned64(const std::string& text, const std::string& option);

}  // namespace vparse
