// The period list writer: the file that lists every date of period n of a year, one per line.
// Two forms share this module: the full form, whose period may be longer than the spacing of the
// periods, and the basic form, whose period is exactly as long as the spacing.
#pragma once

#include <cstdio>

namespace periods {

enum class PeriodListForm { Full, Basic };

// Runs the writer with the program's arguments (argv[0] is the program path). Progress and usage
// go to `out`, failures to `err`. Returns 0 when the file is written, 255 otherwise. The file is
// written under a temporary name in the output directory and renamed into place when complete.
int runPeriodList(PeriodListForm form, int argc, const char *const argv[], std::FILE *out,
                  std::FILE *err);

} // namespace periods
