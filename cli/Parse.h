// One parser per kind of value an option takes: each takes the option's text
// (spaces and tabs around it ignored) and throws vsupport::InputError naming
// the option and the value.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "host/HostError.h"
#include "support/InputError.h"

namespace vcli {

// `text` without the spaces and tabs around it: options take " 8" as "8".
std::string Trim(const std::string& text);

// `parse(...)` of an option's value by a parser of a lower layer, whose
// refusal of the value (either kind of error) is the user's mistake: it is
// rethrown as InputError after "option: ".
template <class Parse>
auto OptionValue(const std::string& option, Parse&& parse) {
    try {
        return parse();
    } catch (const vsupport::InputError& e) {
        throw vsupport::InputError(option + ": " + e.what());
    } catch (const vhost::HostError& e) {
        throw vsupport::InputError(option + ": " + e.what());
    }
}

// A decimal number ("1e-400" is 0); anything else ("0x10", "inf") is refused.
double ParseNumber(const std::string& text, const std::string& option);

// A decimal number from lo to hi; `unit` (" pixels") follows the range in the message.
double ParseRanged(const std::string& text, const std::string& option, double lo, double hi, const std::string& unit);

// A decimal whole number from lo to hi.
long ParseInteger(const std::string& text, const std::string& option, long lo, long hi);

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

// A CLI11 check that refuses an empty value: an empty option is a mistake, not the default.
CLI::Validator NonEmpty();

}  // namespace vcli
