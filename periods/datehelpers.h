// Steps shared by the date and period helper programs: the free-form date readers, the day
// listing, the fixed-position date checks, the period arguments and their message and usage texts.
// Each program's entry function lives in its own folder (periods/<program>/) and prints.
#pragma once

#include "calendar.h"
#include "program.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace veg::periods {

// A date text split at its dots by the free-form readers of datespan and seasondates.
struct SplitDate {
    bool wellFormed = false;
    std::size_t monthLength = 0; // characters between the first dot and the second (or the end)
    calendar::Date date;
};

// "yyyy.mm.dd" with one- or two-digit month and day: the year before the first dot, the month
// between the dots, the day after the second dot. A text without both dots, or with a month longer
// than two characters, is not well formed.
SplitDate splitYearMonthDay(const std::string &text);

// "mm.dd": the month before the dot, the day after it. A text without a dot, or with a month longer
// than two characters, is not well formed.
SplitDate splitMonthDay(const std::string &text);

// Julian day number of a date whose year may lie beyond the int range (it wraps as the int
// conversion falls).
int64_t dayNumber(int64_t year, int month, int day);

// Writes every date from day number `first` to `last` inclusive, one "%i.%02i.%02i" line each;
// nothing when last < first.
void writeDates(std::ostream &out, int64_t first, int64_t last);

// The message for a date argument that the fixed-position readers cannot read.
std::string unreadableDateMessage(const char *what, const std::string &text);

// A date argument read at fixed positions: its day of year, its year (the integer before the first
// dot) and the weekday of 1 January of that year (0 = Monday ... 6 = Sunday).
struct DayOfYear {
    int dayOfYear = 0;
    int year = 0;
    int64_t newYearWeekday = 0;
};

// Nothing when the text is too short for the fixed-position readers or its month is not 1 to 12.
std::optional<DayOfYear> readDayOfYear(const std::string &text);

// Usage lines shared by periodcatalog and periodrange, after their first line.
std::string periodArgumentUsage(const std::string &program);

// Period n of a year from the arguments year, n, spacing (7) and length (the spacing); the
// arguments must hold the year and n.
calendar::Period periodFromArguments(const cli::Args &args);

// The whole run of the two week-number programs, which differ only in their rule: usage text on
// `out` without a date (kExitStop), the unreadable-date message on `err` (kExitStop), else the
// number without a line end (kExitSuccess).
int runWeekNumber(const cli::Args &args, std::ostream &out, std::ostream &err,
                  int64_t (*weekNumber)(const DayOfYear &date));

} // namespace veg::periods
