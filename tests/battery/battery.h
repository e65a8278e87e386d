// The malformed-file battery: helpers that write damaged copies of good input files and check that
// a program met them the way a failure must be met (no signal, no sanitizer report, a message that
// names the file, the program's own status, nothing left under the output name).
#pragma once

#include "support/process.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace battery {

// How a file that a program reads is spoiled.
enum class Damage {
    Missing,     // no file at the path
    Empty,       // a file of zero bytes
    Directory,   // a folder at the path
    RandomBytes, // 4096 bytes of noise
    Truncated,   // the good file cut after `cut` bytes
};

// Runs a program of the battery (argv[0] is added). In the sanitizer build the leak checker is
// told about the tables that the HDF4 library keeps after a failed open, and an allocation too
// large to be made returns null as it does in the plain build.
testsupport::RunResult run(const std::string &program, const std::vector<std::string> &args,
                           const std::map<std::string, std::string> &env = {});

// Writes the damaged form of `good` (a complete input file) at `path`; `cut` is used by Truncated
// only and may be negative to count from the end.
void spoil(const std::string &good, const std::string &path, Damage damage, int64_t cut = 0);

// Size of a file in bytes.
int64_t fileSize(const std::string &path);

// Noise of `size` bytes from a fixed seed (the same bytes on every run).
std::string noise(size_t size, uint32_t seed);

// The name of a damage for test messages.
const char *damageName(Damage damage);

// What a failed run must show.
struct Expected {
    int status = 255;       // the program's status for this failure
    std::string named;      // text that the messages must contain (a path, usually)
    std::string outputPath; // nothing may be left at this path, nor a temporary beside it;
                            // empty when the program writes no file
};

// Checks a run against the expectations with gtest assertions; `what` labels the failures.
void expectCleanFailure(const testsupport::RunResult &result, const Expected &expected,
                        const std::string &what);

// True when `text` ends with `tail`.
inline bool endsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// True when the process can write into folders whatever their permissions (root).
bool permissionsIgnored();

} // namespace battery
