// peakcomposite: folds the daily NDVI grids named in a list file into one maximum-value composite
// grid with a quality layer that records the list position of the input that supplied each value.
#pragma once

#include "products.h"

#include <cstdio>
#include <string>
#include <vector>

namespace peakcomposite {

// The quality layer's valid values are 0..250; higher list positions would collide with its
// sentinels, so longer lists are refused.
constexpr size_t kMaxListEntries = 250;
// Longest path accepted from a list file, in characters.
constexpr size_t kMaxPathLength = 255;

struct Options {
    std::string listPath;
    std::string outputPath;
    std::string gridName = veg::grid::kGridName;
    std::string ndvi16Field = veg::grid::kNdviField;
    std::string ndvi8Field = veg::grid::kNdvi8Field;
    std::string qcField = veg::grid::kQcField;
};

// Options from the positional arguments (argv[1] list, argv[2] output, then the optional names);
// false when fewer than two arguments are given.
bool parseArguments(int argc, const char *const *argv, Options &options);

// The entries of a list file: every white-space separated token, in order. Reading stops after
// `maxEntries` + 1 tokens, enough to tell that a list is too long. False when the file cannot be
// opened or read.
bool readListFile(const std::string &path, size_t maxEntries, std::vector<std::string> &entries);

// The whole program: progress on `out`, warnings and failures on `err`. Returns the exit status:
// 0 for a composite written, 1 when the output could not be written ("Failed."), 255 for an early
// stop (usage, unreadable list, too many entries, no readable input, a failed read).
int runPeakComposite(int argc, const char *const *argv, std::FILE *out, std::FILE *err);

} // namespace peakcomposite
