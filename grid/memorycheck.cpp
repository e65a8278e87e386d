// The memory wall: the available figure and the one message of every grid program.
#include "memorycheck.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace veg::grid {

namespace {

// A plain decimal number without sign or spaces; nothing on anything else or on overflow.
std::optional<uint64_t> decimal(const std::string &text) {
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<uint64_t> memAvailableFromMeminfo(const std::string &meminfo) {
    std::istringstream lines(meminfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key, number, unit;
        words >> key >> number >> unit;
        if (key != "MemAvailable:") {
            continue;
        }
        const std::optional<uint64_t> kib = decimal(number);
        if (!kib || unit != "kB" || *kib > std::numeric_limits<uint64_t>::max() / 1024) {
            return std::nullopt;
        }
        return *kib * 1024;
    }
    return std::nullopt;
}

std::optional<uint64_t> availableMemory() {
    return availableMemory(std::getenv(kMemAvailableVariable));
}

std::optional<uint64_t> availableMemory(const char *override) {
    if (override != nullptr) {
        if (const std::optional<uint64_t> bytes = decimal(override)) {
            return bytes;
        }
    }
    std::ifstream in("/proc/meminfo");
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return memAvailableFromMeminfo(text.str());
}

std::optional<MemoryShortfall> checkMemory(uint64_t needed, std::optional<uint64_t> available) {
    if (!available || needed <= *available) {
        return std::nullopt;
    }
    return MemoryShortfall{needed, *available};
}

std::string memoryShortfallMessage(const std::string &path, int64_t columns, int64_t rows,
                                   const MemoryShortfall &shortfall) {
    std::ostringstream text;
    text << "grid of " << path << " (" << columns << " x " << rows << ") needs " << shortfall.needed
         << " bytes of memory; " << shortfall.available << " are available.\n";
    return text.str();
}

} // namespace veg::grid
