#include "imaging/ReadBudget.h"

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "support/InputError.h"

namespace vimaging {

namespace {

std::mutex g_mutex;
std::optional<ReadBudget> g_budget;

uint64_t ParseNumber(const std::string& text, const std::string& what, bool suffixes) {
    const std::string bad = what + " must be " +
                            (suffixes ? "a size such as 4G, 512M or a count of bytes" : "a whole number above 0") +
                            ", not '" + text + "'";
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    if (digits == 0 || digits > 18) throw vsupport::InputError(bad);
    uint64_t value = std::stoull(text.substr(0, digits));
    std::string rest = text.substr(digits);
    if (!rest.empty() && suffixes) {
        const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        const int shift = unit == 'K' ? 10 : unit == 'M' ? 20 : unit == 'G' ? 30 : unit == 'T' ? 40 : -1;
        if (shift < 0 || !(rest.size() == 1 || rest.substr(1) == "B" || rest.substr(1) == "iB")) {
            throw vsupport::InputError(bad);
        }
        if (value > (uint64_t{1} << (62 - shift))) throw vsupport::InputError(bad);
        value <<= shift;
        rest.clear();
    }
    if (!rest.empty() || value == 0) throw vsupport::InputError(bad);
    return value;
}

ReadBudget FromEnvironment() {
    ReadBudget budget;
    if (const char* pixels = std::getenv("VELLORA_MAX_PIXELS"); pixels && *pixels) {
        budget.max_pixels = ParseCount(pixels, "VELLORA_MAX_PIXELS");
    }
    if (const char* memory = std::getenv("VELLORA_MAX_MEMORY"); memory && *memory) {
        budget.max_memory = ParseByteSize(memory, "VELLORA_MAX_MEMORY");
    }
    return budget;
}

}  // namespace

uint64_t ParseByteSize(const std::string& text, const std::string& what) { return ParseNumber(text, what, true); }
uint64_t ParseCount(const std::string& text, const std::string& what) { return ParseNumber(text, what, false); }

std::string ByteSizeText(uint64_t bytes) {
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    double value = static_cast<double>(bytes);
    while (value >= 1024 && unit < 4) value /= 1024, ++unit;
    char text[32];
    std::snprintf(text, sizeof(text), unit == 0 || value >= 100 || value == static_cast<int>(value) ? "%.0f %s" : "%.1f %s",
                  value, units[unit]);
    return text;
}

ReadBudget CurrentReadBudget() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_budget) g_budget = FromEnvironment();
    return *g_budget;
}

void SetReadBudget(const ReadBudget& budget) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_budget = budget;
}

}  // namespace vimaging
