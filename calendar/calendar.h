// The calendar library: conversions between Gregorian dates, Julian day numbers and the date text
// "yyyy.mm.dd"; the period rule, the period tag, the file names built from dates and periods, and
// the enumerations of days and of date windows. Stateless free functions; standard library only.
//
// Two senses of "julian": in Gregorian2Julian, Juilan2Julian, Julian2Gregorian and gdate2julian it
// is the astronomical Julian day number (2451545 on 1 January 2000); in julian2date and date2julian
// it is the day of the year (1 for 1 January).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace veg::calendar {

// ---------------------------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------------------------

// Length of a date text "yyyy.mm.dd" with a four-digit year.
constexpr std::size_t kDateTextLength = 10;
// Bytes that hold the date text of any int year with its terminator ("-2147483648.12.31").
constexpr std::size_t kDateTextCapacity = 18;

// A calendar date; months count from 1, days from 1.
struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};

inline bool operator==(const Date &a, const Date &b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}
inline bool operator!=(const Date &a, const Date &b) { return !(a == b); }

// Gregorian rule, applied to every year (proleptic): divisible by 4 and not by 100, or by 400.
bool isLeapYear(int year);

// Julian day number of a Gregorian date. Month and day are not validated; they carry over as the
// arithmetic falls: day 0 is the last day of the previous month, month 13 is January of the next
// year, month 0 is December of the previous year.
int64_t Gregorian2Julian(int year, int month, int day);

// Julian day number of a date of the Julian calendar (1582-10-05 Julian = 1582-10-15 Gregorian).
int64_t Juilan2Julian(int year, int month, int day);

// Gregorian date of a Julian day number (meaningful from -32044, 1 March of year -4800, upward).
// Null out-pointers are skipped. Always returns 1.
int Julian2Gregorian(int64_t jdn, int *year, int *month, int *day);

// The same conversion as a value.
Date dateOfJulian(int64_t jdn);

// True when the text is long enough for the fixed-position readers (ten characters or more).
// A null text counts as empty.
bool hasDateLength(const char *text);

// Julian day number of a date text read at fixed positions (year 0-3, month 5-6, day 8-9; the
// separators are not looked at, so "2020-01-05" reads as 5 January 2020). Returns 0 when the text
// has fewer than ten characters.
int64_t gdate2julian(const char *text);

// Writes "%04d.%02d.%02d" of the date that is day `dayOfYear` of `year` into `buffer` and
// returns 1. The buffer must hold the text: 11 bytes for years 0..9999, kDateTextCapacity for any
// year. A day of year outside the year (below 1, or above 365/366) writes an empty text and returns
// 0.
int julian2date(char *buffer, int year, int dayOfYear);

// The same with the buffer's size: returns 0 and writes an empty text (when size > 0) also when the
// date text does not fit.
int julian2date(char *buffer, std::size_t size, int year, int dayOfYear);

// Reads a date text at fixed positions. Returns 0 and writes nothing when the text has fewer than
// ten characters. Otherwise stores the year at once; stores the day of year only when the month is
// 1 to 12 (the day is not validated, so day 0 or 40 shifts the result); returns 1.
int date2julian(const char *text, int *year, int *dayOfYear);

// "%04d.%02d.%02d" of a date.
std::string dateText(const Date &date);

// ---------------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------------

// Reads year, month and day of a date text at fixed positions, without validating them. Fields that
// lie beyond the end of a shorter text read as 0 (nothing past the terminator is read).
void parseDate(const char *text, int *year, int *month, int *day);

// Converts every day number from `first` to `last` inclusive into entry (day - first) of the three
// arrays, which must hold last - first + 1 entries. Nothing is written when last < first. Returns
// 0.
int findDays(int64_t first, int64_t last, int *years, int *months, int *days);

// The same days as a vector (empty when last < first).
std::vector<Date> daysBetween(int64_t first, int64_t last);

// Date windows, base-year form. The window from `firstText` to `lastText` keeps its first and last
// day of year and its span in years; window i (0 <= i < count) starts in year baseYear - i and ends
// span years later. Each array must hold `count` entries. Returns the summary line
// "days: %li; start JD: %i; end JD: %i\n" (window length in days, first and last day of year) for
// the caller to print.
std::string findPeriods(const char *firstText, const char *lastText, int baseYear, int count,
                        int *firstYears, int *firstMonths, int *firstDays, int *lastYears,
                        int *lastMonths, int *lastDays);

// Previous-year form: the base year is the year before the first date, so window 0 lies one year
// back, window 1 two years back, and so on. Returns the same summary line.
std::string findPeriods(const char *firstText, const char *lastText, int count, int *firstYears,
                        int *firstMonths, int *firstDays, int *lastYears, int *lastMonths,
                        int *lastDays);

// ---------------------------------------------------------------------------------------------
// The period rule, the period tag and the file names
// ---------------------------------------------------------------------------------------------

// Period `number` of a year: its first and last day as Julian day numbers and as dates.
struct Period {
    int number = 0;
    int64_t firstDay = 0;
    int64_t lastDay = 0;
    Date first;
    Date last;
};

// The period rule. Period p of year Y with step L (days between starts of consecutive periods) and
// length A (days covered) starts on Gregorian2Julian(Y, 1, 1) + L * (p - 1) and ends A - 1 days
// later. Periods are anchored at 1 January and never clamped to the year: the last one may end in
// the next year. Computed in 64 bits, so any int arguments are safe. A length of 0 or less gives a
// period whose last day precedes its first.
Period periodOf(int year, int number, int step, int length);

// A period given by its number and its first and last day numbers.
Period periodBetween(int number, int64_t firstDay, int64_t lastDay);

// The period tag "%02i_%d.%02d.%02d_%d.%02d.%02d" of (number, first date, last date),
// e.g. 01_2019.01.01_2019.01.07.
std::string periodTag(const Period &period);

// Thrown when a file name would not fit its name buffer. The name is refused, never truncated.
class FileNameTooLong : public std::length_error {
  public:
    FileNameTooLong(const std::string &name, std::size_t limit);
    const std::string &name() const { return name_; }
    // The longest name allowed, in characters.
    std::size_t limit() const { return limit_; }

  private:
    std::string name_;
    std::size_t limit_;
};

// Longest names, in characters (the buffers hold one byte more for the terminator).
constexpr std::size_t kPeriodFileNameMax = 1023;
constexpr std::size_t kListFileNameMax = 1023;
constexpr std::size_t kDailyFileNameMax = 255;

// Period NDVI file read by the period extremes builders:
// "%s/%d/ndvi_%02i_%d.%02d.%02d_%d.%02d.%02d.hdf" of (source directory, year, period tag).
// Throws FileNameTooLong above kPeriodFileNameMax characters.
std::string periodNdviFileName(const std::string &sourceDir, int year, const Period &period);

// Period date-list file written by the period list writer:
// "%s/%s_%02i_%d.%02d.%02d_%d.%02d.%02d.txt" of (directory, period name, period tag).
// Throws FileNameTooLong above kListFileNameMax characters.
std::string periodListFileName(const std::string &dir, const std::string &periodName,
                               const Period &period);

// Daily 8-bit NDVI file read by the daily VCI builder, one folder per day:
// "%s/%04i.%02i.%02i/NDVI%04i.%02i.%02i.hdf" of (source directory, date, date).
// Throws FileNameTooLong above kDailyFileNameMax characters.
std::string dailyNdviFileName(const std::string &sourceDir, const Date &date);

} // namespace veg::calendar
