#include "imaging/ReadBudget.h"

#include <cstdlib>
#include <mutex>
#include <optional>

#include "parse/Parse.h"

namespace vimaging {

namespace {

std::mutex g_mutex;
std::optional<ReadBudget> g_budget;

ReadBudget FromEnvironment() {
    ReadBudget budget;
    if (const char* pixels = std::getenv("VELLORA_MAX_PIXELS"); pixels && *pixels) {
        budget.max_pixels = vparse::ParseCount(pixels, "VELLORA_MAX_PIXELS");
    }
    if (const char* memory = std::getenv("VELLORA_MAX_MEMORY"); memory && *memory) {
        budget.max_memory = vparse::ParseByteSize(memory, "VELLORA_MAX_MEMORY");
    }
    return budget;
}

}  // namespace

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
