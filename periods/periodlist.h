// The period list writer: the file that lists every date of period n of a year, one per line.
// Two forms share this module: the full form, whose period may be longer than the spacing of the
// periods, and the basic form, whose period is exactly as long as the spacing.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::periods {

enum class PeriodListForm { Full, Basic };

// Runs the writer in the given form; args[0] is the program path. Progress and usage go to `out`,
// failures to `err`. Returns cli::kExitSuccess when the file is written, cli::kExitStop otherwise.
// The file is written under a temporary name in its folder and renamed into place when complete,
// so a failed run leaves nothing under the output name.
int runPeriodList(PeriodListForm form, const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::periods

// periodlist: the full form.
namespace veg::periodlist {
int run(const cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace veg::periodlist

// periodlist-basic: the basic form.
namespace veg::periodlist_basic {
int run(const cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace veg::periodlist_basic
