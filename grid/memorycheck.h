// The memory wall: before a program allocates its whole-grid arrays it compares the bytes they
// take with the memory the system can still give (MemAvailable), so that a grid too large for
// the machine stops the run with a message instead of exhausting memory part way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veg::grid {

// When set to a number of bytes, this environment variable stands in for MemAvailable (tests
// use it to make a small grid not fit). Only a program's entry function reads it.
inline constexpr const char *kMemAvailableVariable = "VEG_MEMAVAILABLE_BYTES";

// The MemAvailable line of /proc/meminfo text ("MemAvailable:   123 kB"), in bytes; nothing when
// the line is missing or unreadable.
std::optional<uint64_t> memAvailableFromMeminfo(const std::string &meminfo);

// The memory available to the program, in bytes: `override` (the text of kMemAvailableVariable)
// when it is a plain decimal number, otherwise MemAvailable from /proc/meminfo; nothing when
// neither is known, in which case no check is made.
std::optional<uint64_t> availableMemory(const char *override);

// The memory available to this run: availableMemory of the kMemAvailableVariable setting.
std::optional<uint64_t> availableMemory();

// A grid whose arrays do not fit: what the message says.
struct MemoryShortfall {
    uint64_t needed = 0;
    uint64_t available = 0;
};

// Nothing when `needed` bytes fit into `available` (or the available figure is unknown).
std::optional<MemoryShortfall> checkMemory(uint64_t needed, std::optional<uint64_t> available);

// The one wording of every grid program for a grid that does not fit, ending in a newline:
// "grid of <path> (<columns> x <rows>) needs <n> bytes of memory; <m> are available."
std::string memoryShortfallMessage(const std::string &path, int64_t columns, int64_t rows,
                                   const MemoryShortfall &shortfall);

} // namespace veg::grid
