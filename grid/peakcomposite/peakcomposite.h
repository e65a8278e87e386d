// peakcomposite: folds the daily NDVI grids named in a list file into one maximum-value composite
// grid with a quality layer that records the list position of the input that supplied each value.
#pragma once

#include "products.h"
#include "program.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace veg::peakcomposite {

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

// Options from the positional arguments (args[1] list, args[2] output, then the optional names);
// false when fewer than two arguments are given.
bool parseArguments(const veg::cli::Args &args, Options &options);

// The whole program: progress on `out`, warnings and failures on `err`. Returns the exit status:
// 0 for a composite written, 1 when the output could not be written ("Failed."), 255 for an early
// stop (usage, unreadable list, too many entries, no readable input, a failed read). The list is
// read with veg::fileio::readPathList.
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::peakcomposite
