#include "parse/Parse.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "api/FixedPoint.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vparse {

using vsupport::InputError;

// Not line ends: a value "8\n" stays refused.
std::string Trim(const std::string& text) { return vtext::Trim(text, " \t"); }

double ParseNumber(const std::string& text, const std::string& option) {
    // Decimal only: strtod alone would also take "0x10", "inf" and "nan".
    const std::string t = Trim(text);
    size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    const auto digits = [&] {
        const size_t from = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        return i - from;
    };
    size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    bool ok = mantissa > 0;
    if (ok && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        ok = digits() > 0;
    }
    if (!ok || i != t.size()) {
        throw InputError(option + " '" + text + "' is not a number");
    }
    errno = 0;
    const double value = std::strtod(t.c_str(), nullptr);
    // Underflow gives 0 or a denormal, which is the number; overflow is not.
    if (errno == ERANGE && std::fabs(value) > 1.0) {
        throw InputError(option + " " + t + " is out of range");
    }
    return value;
}

double ParseRanged(const std::string& text, const std::string& option, double lo, double hi,
                   const std::string& unit) {
    const double value = ParseNumber(text, option);
    if (value < lo || value > hi) {
        throw InputError(option + " " + Trim(text) + " is out of range (" + vtext::Exact(lo) + " to " +
                         vtext::Exact(hi) + unit + ")");
    }
    return value;
}

long ParseInteger(const std::string& text, const std::string& option, long lo, long hi) {
    const std::string trimmed = Trim(text);
    const size_t digits = trimmed.find_first_not_of("+-") == 1 ? 1 : 0;
    const bool decimal = trimmed.size() > digits && trimmed.find_first_not_of("0123456789", digits) == std::string::npos;
    errno = 0;
    const long value = decimal ? std::strtol(trimmed.c_str(), nullptr, 10) : 0;
    if (!decimal) {
        throw InputError(option + " '" + text + "' is not a whole number");
    }
    if (errno == ERANGE || value < lo || value > hi) {
        throw InputError(option + " " + trimmed + " is out of range (" + std::to_string(lo) + " to " +
                         std::to_string(hi) + ")");
    }
    return value;
}

double ParseFraction(const std::string& text, const std::string& option) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return ParseNumber(text, option);
    return ParseNumber(text.substr(0, slash), option) / ParseNumber(text.substr(slash + 1), option);
}

Ratio ParseRatio(const std::string& text, const std::string& option, long lo, long hi) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return {ParseInteger(text, option, lo, hi), 1};
    return {ParseInteger(text.substr(0, slash), option + " numerator", lo, hi),
            ParseInteger(text.substr(slash + 1), option + " denominator", lo, hi)};
}

void ParsePoint(const std::string& text, const std::string& option, double& x, double& y) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) throw InputError(option + " '" + text + "' must be X,Y");
    x = ParseNumber(text.substr(0, comma), option + " x");
    y = ParseNumber(text.substr(comma + 1), option + " y");
    const double limit = vfixed::kWholeLimit;
    if (std::fabs(x) > limit || std::fabs(y) > limit) {
        throw InputError(option + " '" + text + "' is out of range (" + vtext::Exact(-limit) + " to " +
                         vtext::Exact(limit) + " on each axis)");
    }
}

void ParseSize(const std::string& text, const std::string& option, long lo, long hi, int& width, int& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) throw InputError(option + " '" + text + "' must be WIDTHxHEIGHT, e.g. 1600x1000");
    try {
        width = static_cast<int>(ParseInteger(text.substr(0, x), option, lo, hi));
        height = static_cast<int>(ParseInteger(text.substr(x + 1), option, lo, hi));
    } catch (const InputError&) {
        throw InputError(option + " '" + text + "' must be WIDTHxHEIGHT, each " + std::to_string(lo) + " to " +
                         std::to_string(hi) + " pixels");
    }
}

FrameRate ParseFrameRate(const std::string& text, const std::string& option) {
    const std::string t = Trim(text);
    const std::string refused = option + " '" + text + "' is not a frame rate (write 25, 30000/1001 or 29.97)";
    if (t.empty() || t.find_first_not_of("0123456789./") != std::string::npos ||
        std::count(t.begin(), t.end(), '/') + std::count(t.begin(), t.end(), '.') > 1) {
        throw InputError(refused);
    }
    // Each part within the host's time fields (A_long).
    const long max = 2147483647;
    const auto part = [&](const std::string& digits) {
        if (digits.empty() || digits.size() > 10) throw InputError(refused);
        return ParseInteger(digits, option, 1, max);
    };
    long num = 0, den = 1;
    const size_t slash = t.find('/'), dot = t.find('.');
    if (slash != std::string::npos) {
        num = part(t.substr(0, slash));
        den = part(t.substr(slash + 1));
    } else if (dot != std::string::npos) {
        const std::string fraction = t.substr(dot + 1);
        if (fraction.empty() || fraction.size() > 6) throw InputError(refused);
        for (size_t i = 0; i < fraction.size(); ++i) den *= 10;
        num = part(t.substr(0, dot) + fraction);
    } else {
        num = part(t);
    }
    const long divisor = std::gcd(num, den);
    num /= divisor;
    den /= divisor;
    if (num > 1000 * den) throw InputError(option + " " + t + " is above 1000 frames a second");
    return FrameRate{static_cast<unsigned long>(num), den};
}

namespace {

uint64_t ParseWhole(const std::string& text, const std::string& option, bool suffixes) {
    const std::string bad = option + " must be " +
                            (suffixes ? "a size such as 4G, 512M or a count of bytes" : "a whole number above 0") +
                            ", not '" + text + "'";
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    if (digits == 0 || digits > 18) throw InputError(bad);
    uint64_t value = std::stoull(text.substr(0, digits));
    std::string rest = text.substr(digits);
    if (!rest.empty() && suffixes) {
        const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        const int shift = unit == 'K' ? 10 : unit == 'M' ? 20 : unit == 'G' ? 30 : unit == 'T' ? 40 : -1;
        if (shift < 0 || !(rest.size() == 1 || rest.substr(1) == "B" || rest.substr(1) == "iB")) {
            throw InputError(bad);
        }
        // Below 2^62 bytes, so sums of sizes cannot wrap.
        if (value > (uint64_t{1} << (62 - shift))) throw InputError(bad);
        value <<= shift;
        rest.clear();
    }
    if (!rest.empty() || value == 0) throw InputError(bad);
    return value;
}

}  // namespace

uint64_t ParseByteSize(const std::string& text, const std::string& option) { return ParseWhole(text, option, true); }
uint64_t ParseCount(const std::string& text, const std::string& option) { return ParseWhole(text, option, false); }

uint64_t ParseUnsigned64(const std::string& text, const std::string& option) {
    const std::string trimmed = Trim(text);
    const std::string range = " is out of range (0 to 18446744073709551615)";
    if (trimmed.empty() || trimmed.find_first_not_of("0123456789") != std::string::npos) {
        const bool negative = trimmed.size() > 1 && trimmed[0] == '-' &&
                              trimmed.find_first_not_of("0123456789", 1) == std::string::npos;
        throw InputError(option + " '" + text + "' " + (negative ? range.substr(1) : "is not a whole number"));
    }
    errno = 0;
    const unsigned long long value = std::strtoull(trimmed.c_str(), nullptr, 10);
    if (errno == ERANGE) throw InputError(option + " " + trimmed + range);
    return static_cast<uint64_t>(value);
}

}  // namespace vparse
