// The date and period helper programs.
#include "datehelpers.h"

#include "calendar.h"
#include "cliargs.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace periods {
namespace {

constexpr int kDatespanStatus = 1; // datespan ends with 1 on success

// A date text split at its dots by the free-form readers of datespan and seasondates.
struct SplitDate {
    bool wellFormed = false;
    std::size_t monthLength = 0; // characters between the first dot and the second (or the end)
    calendar::Date date;
};

// "yyyy.mm.dd" with one- or two-digit month and day: the year before the first dot, the month
// between the dots, the day after the second dot. A text without both dots, or with a month longer
// than two characters, is not well formed.
SplitDate splitYearMonthDay(const char *text) {
    SplitDate split;
    const char *firstDot = std::strchr(text, '.');
    if (firstDot == nullptr)
        return split;
    const char *secondDot = std::strchr(firstDot + 1, '.');
    split.monthLength = secondDot != nullptr ? static_cast<std::size_t>(secondDot - firstDot - 1)
                                             : std::strlen(firstDot + 1);
    if (secondDot == nullptr || split.monthLength > 2)
        return split;
    split.wellFormed = true;
    split.date = {leadingInt(text), leadingInt(firstDot + 1), leadingInt(secondDot + 1)};
    return split;
}

// "mm.dd": the month before the dot, the day after it. A text without a dot, or with a month longer
// than two characters, is not well formed.
SplitDate splitMonthDay(const char *text) {
    SplitDate split;
    const char *dot = std::strchr(text, '.');
    split.monthLength = dot != nullptr ? static_cast<std::size_t>(dot - text) : std::strlen(text);
    if (dot == nullptr || split.monthLength > 2)
        return split;
    split.wellFormed = true;
    split.date = {0, leadingInt(text), leadingInt(dot + 1)};
    return split;
}

int64_t dayNumber(int64_t year, int month, int day) {
    return calendar::Gregorian2Julian(static_cast<int>(year), month, day);
}

void printDates(std::FILE *out, int64_t first, int64_t last) {
    if (last < first)
        return;
    for (int64_t day = first;; ++day) {
        const calendar::Date date = calendar::dateOfJulian(day);
        std::fprintf(out, "%i.%02i.%02i\n", date.year, date.month, date.day);
        if (day == last)
            break;
    }
}

// The message for a date argument that the fixed-position readers cannot read.
int unreadableDate(std::FILE *err, const char *what, const char *text) {
    std::fprintf(err,
                 "Wrong inputs: %s - %s is NOT in right format! Expect in yyyy.mm.dd. e.g. "
                 "2009.01.02\n",
                 what, text);
    return kFailureStatus;
}

// Day of year and year (the integer before the first dot) of a date argument; false when the text
// is too short for the fixed-position readers or its month is not 1 to 12.
bool readDayOfYear(const char *text, int *dayOfYear, int *year) {
    if (!calendar::hasDateLength(text))
        return false;
    int month = 0;
    calendar::parseDate(text, nullptr, &month, nullptr);
    if (month < 1 || month > 12)
        return false;
    int fixedYear = 0;
    calendar::date2julian(text, &fixedYear, dayOfYear);
    *year = leadingInt(text);
    return true;
}

} // namespace

int runDatespan(int argc, const char *const argv[], std::FILE *out, std::FILE *) {
    if (argc < 3) {
        printUsage(out, argv[0],
                   {"Usage: %s <start yyyy.mm.dd> <stop yyyy.mm.dd>",
                    "Example: %s 2011.07.01 2011.10.01"});
        return kFailureStatus;
    }
    const SplitDate start = splitYearMonthDay(argv[1]);
    if (!start.wellFormed) {
        std::fprintf(out,
                     "Wrong inputs: start date - %s is NOT in right format! Expect in mm.dd. e.g. "
                     "2000.07.01. length=%d\n",
                     argv[1], static_cast<int>(start.monthLength));
        return kFailureStatus;
    }
    const SplitDate stop = splitYearMonthDay(argv[2]);
    if (!stop.wellFormed) {
        std::fprintf(out,
                     "Wrong inputs: end date - %s is NOT in right format! Expect in mm.dd. e.g. "
                     "2000.07.01\n",
                     argv[2]);
        return kFailureStatus;
    }
    const int64_t first = dayNumber(start.date.year, start.date.month, start.date.day);
    const int64_t end = dayNumber(stop.date.year, stop.date.month, stop.date.day);
    printDates(out, first, end - 1);
    return kDatespanStatus;
}

int runPeriodOfDate(int argc, const char *const argv[], std::FILE *out, std::FILE *err) {
    if (argc < 2) {
        printUsage(out, argv[0],
                   {"Usage: %s <yyyy.mm.dd> {length of period}",
                    "       <yyyy.mm.dd> - the date to calculate # of periods in a year",
                    "       {length of period} - length of period. Default 7.",
                    "Example: %s 2009.01.02 7"});
        return kFailureStatus;
    }
    if (!calendar::hasDateLength(argv[1]))
        return unreadableDate(err, "date", argv[1]);
    const int64_t length = argc > 2 ? leadingInt(argv[2]) : 7;
    if (length <= 0) {
        std::fprintf(err, "Wrong inputs: length of period - %s must be greater than 0!\n", argv[2]);
        return kFailureStatus;
    }
    const int64_t day = calendar::gdate2julian(argv[1]);
    const int64_t yearStart = dayNumber(leadingInt(argv[1]), 1, 1);
    // The latest whole period, counted from 1 January in steps of the length, that ends on or
    // before the date; numbered in the year in which it begins.
    const int64_t whole = (day - yearStart + 1) / length;
    const int64_t first = yearStart + length * whole - length;
    const int64_t last = yearStart + length * whole - 1;
    const int64_t firstYearStart = dayNumber(calendar::dateOfJulian(first).year, 1, 1);
    // A period aligned in its year gets its own number (also for daily periods); one that begins
    // in the L days before 1 January keeps the count of the year in which it begins.
    const int64_t sinceNewYear = first - firstYearStart;
    const int64_t number =
        sinceNewYear % length == 0 ? sinceNewYear / length + 1 : (sinceNewYear + 1) / length + 1;
    const std::string tag =
        calendar::periodTag(calendar::periodBetween(static_cast<int>(number), first, last));
    std::fputs(tag.c_str(), out);
    return 0;
}

int runSeasonDates(int argc, const char *const argv[], std::FILE *out, std::FILE *) {
    if (argc < 4) {
        printUsage(out, argv[0],
                   {"Usage: %s <yyyy> <start mm.dd> <end mm.dd>", "Example: %s 2011 07.01 10.01"});
        return kFailureStatus;
    }
    const int64_t year = leadingInt(argv[1]);
    const SplitDate start = splitMonthDay(argv[2]);
    if (!start.wellFormed) {
        std::fprintf(out,
                     "Wrong inputs: start date - %s is NOT in right format! Expect in mm.dd. e.g. "
                     "07.01\n",
                     argv[2]);
        return kFailureStatus;
    }
    const SplitDate end = splitMonthDay(argv[3]);
    if (!end.wellFormed) {
        std::fprintf(out,
                     "Wrong inputs: end date - %s is NOT in right format! Expect in mm.dd. e.g. "
                     "07.01\n",
                     argv[3]);
        return kFailureStatus;
    }
    // The season starts in the year before the given year.
    printDates(out, dayNumber(year - 1, start.date.month, start.date.day),
               dayNumber(year, end.date.month, end.date.day));
    return 0;
}

int runPeriodIndex(int argc, const char *const argv[], std::FILE *out, std::FILE *err) {
    if (argc < 4) {
        printUsage(out, argv[0],
                   {"Usage: %s <yyyy.mm.dd> <start yyyy.mm.dd> <end yyyy.mm.dd>",
                    "       <yyyy.mm.dd> - the date to calculate # of periods in a year",
                    "       <start yyyy.mm.dd> - stat date of period",
                    "       <end yyyy.mm.dd> - end date of period",
                    "Example: %s 2009.01.02 2009.01.01 2009.01.07"});
        return kFailureStatus;
    }
    int dayOfYear = 0;
    int year = 0;
    if (!readDayOfYear(argv[1], &dayOfYear, &year))
        return unreadableDate(err, "date", argv[1]);
    if (!calendar::hasDateLength(argv[2]))
        return unreadableDate(err, "start date", argv[2]);
    if (!calendar::hasDateLength(argv[3]))
        return unreadableDate(err, "end date", argv[3]);
    const int64_t yearStart = dayNumber(year, 1, 1);
    const int64_t start = calendar::gdate2julian(argv[2]);
    const int64_t end = calendar::gdate2julian(argv[3]);
    const int64_t length = end - start + 1;
    if (length <= 0) {
        std::fprintf(out, "start date is later than end date!!!\n");
        return kFailureStatus;
    }
    // Zero-based day of the year on which the first period aligned on the start date begins.
    const int64_t offset = ((length - yearStart % length) % length + start % length) % length;
    std::fprintf(out, "%lld", static_cast<long long>((dayOfYear - offset + length - 1) / length));
    return 0;
}

namespace {

// Usage lines shared by periodcatalog and periodrange, after their first line.
void printPeriodArgumentLines(std::FILE *out, const char *program) {
    printUsage(out, program,
               {"       <year> - the year to calculate the period. Required.",
                "       <# of the period> - the number of the period to be calculated. Required.",
                "       {length of each period} - the number of days for calculating the number of "
                "periods. Default value is 7.",
                "       {actual length of each period} - the actual number of days for each period "
                "(default is the same as 'length of each period')"});
}

// Period n of a year from the arguments year, n, spacing (7) and length (the spacing).
calendar::Period readPeriodArguments(int argc, const char *const argv[]) {
    const int step = argc > 3 ? leadingInt(argv[3]) : 7;
    const int length = argc > 4 ? leadingInt(argv[4]) : step;
    return calendar::periodOf(leadingInt(argv[1]), leadingInt(argv[2]), step, length);
}

} // namespace

int runPeriodCatalog(int argc, const char *const argv[], std::FILE *out, std::FILE *) {
    if (argc < 3) {
        printUsage(out, argv[0],
                   {"Usage: %s <year> <# of the period> {length of each period} {actual length of "
                    "each period} {type} {periodName}"});
        printPeriodArgumentLines(out, argv[0]);
        printUsage(out, argv[0],
                   {"       {type} - Type of data.", "       {periodName} - Name of period type.",
                    "Example: %s 2010 2", "Example: %s 2010 2 7",
                    "Example: %s 2010 2 7 14 VCI Biweekly"});
        return kFailureStatus;
    }
    const calendar::Period p = readPeriodArguments(argc, argv);
    const char *type = argc > 5 ? argv[5] : "NDVI";
    const char *periodName = argc > 6 ? argv[6] : "Weekly";
    // The period name comes first although it is the last argument.
    std::fprintf(out, "%s_%s_%s %s %s %d %02i(%02d.%02d_%02d.%02d)_%d", periodName, type,
                 calendar::periodTag(p).c_str(), periodName, type, p.first.year, p.number,
                 p.first.month, p.first.day, p.last.month, p.last.day, p.last.year);
    return 0;
}

int runPeriodRange(int argc, const char *const argv[], std::FILE *out, std::FILE *) {
    if (argc < 3) {
        printUsage(out, argv[0],
                   {"Usage: %s <year> <# of the period> {length of each period} {actual length of "
                    "each period}"});
        printPeriodArgumentLines(out, argv[0]);
        printUsage(out, argv[0],
                   {"Example: %s 2010 2", "Example: %s 2010 2 7", "Example: %s 2010 2 7 14"});
        return kFailureStatus;
    }
    std::fputs(calendar::periodTag(readPeriodArguments(argc, argv)).c_str(), out);
    return 0;
}

namespace {

// Shared steps of the two week numbers: the date's day of year and the weekday of 1 January
// (0 = Monday ... 6 = Sunday). Returns false after printing the message for an unreadable date.
bool readWeekArguments(int argc, const char *const argv[], std::FILE *out, std::FILE *err,
                       int *dayOfYear, int64_t *newYearWeekday, int *status) {
    if (argc < 2) {
        printUsage(out, argv[0], {"Usage: %s <yyyy.mm.dd>"});
        *status = kFailureStatus;
        return false;
    }
    int year = 0;
    if (!readDayOfYear(argv[1], dayOfYear, &year)) {
        *status = unreadableDate(err, "date", argv[1]);
        return false;
    }
    *newYearWeekday = dayNumber(year, 1, 1) % 7;
    return true;
}

} // namespace

int runWeekNumber(int argc, const char *const argv[], std::FILE *out, std::FILE *err) {
    int dayOfYear = 0;
    int64_t weekday = 0;
    int status = 0;
    if (!readWeekArguments(argc, argv, out, err, &dayOfYear, &weekday, &status))
        return status;
    // A year that begins on a Monday or a Tuesday starts week 1 on 1 January; otherwise the days
    // before the first Monday are week 0.
    const int64_t offset = weekday > 1 ? 7 - weekday : 0;
    std::fprintf(out, "%lld", static_cast<long long>((dayOfYear - 1 - offset + 7) / 7));
    return 0;
}

int runWeekNumberSunday(int argc, const char *const argv[], std::FILE *out, std::FILE *err) {
    int dayOfYear = 0;
    int64_t weekday = 0;
    int status = 0;
    if (!readWeekArguments(argc, argv, out, err, &dayOfYear, &weekday, &status))
        return status;
    std::fprintf(out, "%lld", static_cast<long long>((dayOfYear + weekday) / 7));
    return 0;
}

int runYearOffset(int argc, const char *const argv[], std::FILE *out, std::FILE *err) {
    if (argc < 3) {
        printUsage(out, argv[0], {"Usage: %s <yyyy.mm.dd> <base year>"});
        return kFailureStatus;
    }
    if (!calendar::hasDateLength(argv[1]))
        return unreadableDate(err, "date", argv[1]);
    int year = 0;
    calendar::parseDate(argv[1], &year, nullptr, nullptr);
    std::fprintf(out, "%lld",
                 static_cast<long long>(static_cast<int64_t>(year) - leadingInt(argv[2])));
    return 0;
}

} // namespace periods
