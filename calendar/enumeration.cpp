// Enumerations of days and of date windows moved into earlier years.
#include "calendar.h"

#include <cstdio>

namespace veg::calendar {
namespace {

// Julian day number of 1 January of a year given in 64 bits; years beyond the int range wrap as
// the int conversion falls, without overflowing any arithmetic.
int64_t yearStart(int64_t year) { return Gregorian2Julian(static_cast<int>(year), 1, 1); }

} // namespace

int findDays(int64_t first, int64_t last, int *years, int *months, int *days) {
    if (last < first)
        return 0;
    for (int64_t j = first;; ++j) {
        const std::size_t i = static_cast<std::size_t>(j - first);
        Julian2Gregorian(j, &years[i], &months[i], &days[i]);
        if (j == last)
            break;
    }
    return 0;
}

std::vector<Date> daysBetween(int64_t first, int64_t last) {
    std::vector<Date> days;
    if (last < first)
        return days;
    days.reserve(static_cast<std::size_t>(last - first) + 1);
    for (int64_t j = first;; ++j) {
        days.push_back(dateOfJulian(j));
        if (j == last)
            break;
    }
    return days;
}

std::string findPeriods(const char *firstText, const char *lastText, int baseYear, int count,
                        int *firstYears, int *firstMonths, int *firstDays, int *lastYears,
                        int *lastMonths, int *lastDays) {
    Date start;
    Date end;
    parseDate(firstText, &start.year, &start.month, &start.day);
    parseDate(lastText, &end.year, &end.month, &end.day);
    const int64_t js = Gregorian2Julian(start.year, start.month, start.day);
    const int64_t je = Gregorian2Julian(end.year, end.month, end.day);
    const int64_t firstDayOfYear = js - Gregorian2Julian(start.year, 1, 1) + 1;
    const int64_t lastDayOfYear = je - Gregorian2Julian(end.year, 1, 1) + 1;
    const int64_t span = static_cast<int64_t>(end.year) - start.year;
    for (int i = 0; i < count; ++i) {
        const int64_t year = static_cast<int64_t>(baseYear) - i;
        Julian2Gregorian(yearStart(year) + firstDayOfYear - 1, &firstYears[i], &firstMonths[i],
                         &firstDays[i]);
        Julian2Gregorian(yearStart(year + span) + lastDayOfYear - 1, &lastYears[i], &lastMonths[i],
                         &lastDays[i]);
    }
    char line[96]; // the label texts and three numbers of any value
    std::snprintf(line, sizeof line, "days: %li; start JD: %i; end JD: %i\n",
                  static_cast<long>(je - js + 1), static_cast<int>(firstDayOfYear),
                  static_cast<int>(lastDayOfYear));
    return line;
}

std::string findPeriods(const char *firstText, const char *lastText, int count, int *firstYears,
                        int *firstMonths, int *firstDays, int *lastYears, int *lastMonths,
                        int *lastDays) {
    int year = 0;
    parseDate(firstText, &year, nullptr, nullptr);
    const int baseYear = static_cast<int>(static_cast<int64_t>(year) - 1);
    return findPeriods(firstText, lastText, baseYear, count, firstYears, firstMonths, firstDays,
                       lastYears, lastMonths, lastDays);
}

} // namespace veg::calendar
