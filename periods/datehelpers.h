// The date and period helper programs: each prints one answer for a driving script. Every entry
// function takes the program's arguments (argv[0] is the program path), prints its answer and usage
// on `out` and the messages for unreadable arguments on `err`, and returns the exit status: 0 on
// success (datespan: 1, which scripts rely on), 255 after a usage text or a failure.
#pragma once

#include <cstdio>

namespace periods {

// Every date from a start date up to, not including, a stop date, one per line.
int runDatespan(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The period tag of the latest whole period that ends on or before a date.
int runPeriodOfDate(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// Every date from a month and day of the previous year to a month and day of the given year.
int runSeasonDates(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The number of the period, aligned on a start-end pair and as long as it, that holds a date.
int runPeriodIndex(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The catalogue line of period n of a year.
int runPeriodCatalog(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The period tag of period n of a year.
int runPeriodRange(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The week number of a date, weeks starting on Monday.
int runWeekNumber(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The week number of a date, weeks starting on Sunday.
int runWeekNumberSunday(int argc, const char *const argv[], std::FILE *out, std::FILE *err);
// The year of a date minus a base year.
int runYearOffset(int argc, const char *const argv[], std::FILE *out, std::FILE *err);

} // namespace periods
