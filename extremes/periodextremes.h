// The period extremes builder shared by its two forms, periodextremes and basicextremes: for one
// period of the year it reads that period's NDVI composite of every year of a span and writes the
// extremes grid (the highest NDVI and the three lowest) of the period.
#pragma once

#include "products.h"
#include "program.h"

#include <ostream>
#include <string>

namespace veg::extremes {

// The full form takes the period's length apart from its step; the basic form has another
// argument order and a period that always covers exactly its step.
enum class ExtremesForm { Full, Basic };

struct ExtremesOptions {
    std::string sourceDir;
    int startYear = 0;
    int endYear = 0;
    std::string targetPath;
    int period = 0; // p, from 1
    int step = 0;   // L, days between period starts
    int length = 0; // A, days covered (equal to L in the basic form)
    std::string gridName = veg::grid::kGridName;
    std::string fieldName = veg::grid::kNdviField;
};

// Options from the positional arguments of the form (args[0] is the program name); false when too
// few are given (seven for the full form, six for the basic one). Numbers read as atoi reads them:
// a non-number reads as 0.
bool parseExtremesArguments(ExtremesForm form, const veg::cli::Args &args,
                            ExtremesOptions &options);

// The whole program in either form: "Name:" lines and "O.K." on `out`, failures on `err`. Returns
// the exit status: 0 when the extremes file was written, 255 otherwise (usage, no readable period
// file, output not created or written).
int runPeriodExtremes(ExtremesForm form, const veg::cli::Args &args, std::ostream &out,
                      std::ostream &err);

} // namespace veg::extremes

namespace veg::periodextremes {
// periodextremes <src dir> <start yyyy> <end yyyy> <targetfile> <period> <L> <A> {grid} {field}
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace veg::periodextremes

namespace veg::basicextremes {
// basicextremes <src dir> <period> <L> <start yyyy> <end yyyy> <targetfile> {grid} {field}
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace veg::basicextremes
