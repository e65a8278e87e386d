// Conversions between Gregorian dates, Julian day numbers, days of the year and the date text.
#include "calendar.h"

#include <cstdlib>
#include <cstring>

namespace veg::calendar {
namespace {

// Days before each month of a common year; a leap year adds one from March on.
constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// Reads the piece of `count` characters at `pos` the way atoi reads it (leading blanks, a sign,
// digits up to the first non-digit). The piece stops at the text's terminator.
int fieldAt(const char *text, std::size_t length, std::size_t pos, std::size_t count) {
    char piece[8] = {};
    for (std::size_t i = 0; i < count && pos + i < length; ++i) {
        piece[i] = text[pos + i];
    }
    return std::atoi(piece);
}

std::size_t boundedLength(const char *text) {
    return text == nullptr ? 0 : strnlen(text, kDateTextLength);
}

Date readDateText(const char *text) {
    const std::size_t length = boundedLength(text);
    return Date{fieldAt(text, length, 0, 4), fieldAt(text, length, 5, 2),
                fieldAt(text, length, 8, 2)};
}

int daysInYear(int year) { return isLeapYear(year) ? 366 : 365; }

} // namespace

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int64_t Gregorian2Julian(int year, int month, int day) {
    // The products are taken in 64 bits so that no year of the int range can overflow them.
    const int64_t y = year;
    const int64_t m = month;
    const int64_t q = (m - 14) / 12;
    const int64_t a = (1461 * (y + 4800 + q)) / 4;
    const int64_t b = (367 * (m - 2 - 12 * q)) / 12;
    const int64_t c = (3 * ((y + 4900 + q) / 100)) / 4;
    return a + b - c + day - 32075;
}

int64_t Juilan2Julian(int year, int month, int day) {
    const int64_t y = year;
    const int64_t m = month;
    return 367 * y - (7 * (y + 5001 + (m - 9) / 7)) / 4 + (275 * m) / 9 + day + 1729777;
}

int Julian2Gregorian(int64_t jdn, int *year, int *month, int *day) {
    const Date date = dateOfJulian(jdn);
    if (year != nullptr)
        *year = date.year;
    if (month != nullptr)
        *month = date.month;
    if (day != nullptr)
        *day = date.day;
    return 1;
}

Date dateOfJulian(int64_t jdn) {
    const int64_t a = jdn + 32044;
    const int64_t g = a / 146097; // 400-year cycles
    const int64_t dg = a % 146097;
    const int64_t c = ((dg / 36524 + 1) * 3) / 4; // centuries
    const int64_t dc = dg - c * 36524;
    const int64_t b = dc / 1461; // 4-year cycles
    const int64_t db = dc % 1461;
    const int64_t e = ((db / 365 + 1) * 3) / 4; // years
    const int64_t da = db - e * 365;
    const int64_t y = g * 400 + c * 100 + b * 4 + e;
    const int64_t m = (da * 5 + 308) / 153 - 2; // months counted from March
    const int64_t d = da - ((m + 4) * 153) / 5 + 122;
    return Date{static_cast<int>(y + (m + 2) / 12 - 4800), static_cast<int>((m + 2) % 12 + 1),
                static_cast<int>(d + 1)};
}

bool hasDateLength(const char *text) { return boundedLength(text) >= kDateTextLength; }

int64_t gdate2julian(const char *text) {
    if (!hasDateLength(text))
        return 0;
    const Date date = readDateText(text);
    return Gregorian2Julian(date.year, date.month, date.day);
}

int julian2date(char *buffer, int year, int dayOfYear) {
    return julian2date(buffer, kDateTextCapacity, year, dayOfYear);
}

int julian2date(char *buffer, std::size_t size, int year, int dayOfYear) {
    if (buffer == nullptr || size == 0)
        return 0;
    buffer[0] = '\0';
    if (dayOfYear < 1 || dayOfYear > daysInYear(year))
        return 0;
    const int leap = isLeapYear(year) ? 1 : 0;
    int month = 12;
    while (month > 1 && dayOfYear <= kDaysBeforeMonth[month - 1] + (month > 2 ? leap : 0)) {
        --month;
    }
    const int day = dayOfYear - kDaysBeforeMonth[month - 1] - (month > 2 ? leap : 0);
    char text[kDateTextCapacity];
    const int written = std::snprintf(text, sizeof text, "%04d.%02d.%02d", year, month, day);
    if (written < 0 || static_cast<std::size_t>(written) >= size)
        return 0;
    std::memcpy(buffer, text, static_cast<std::size_t>(written) + 1);
    return 1;
}

int date2julian(const char *text, int *year, int *dayOfYear) {
    if (!hasDateLength(text))
        return 0;
    const Date date = readDateText(text);
    if (year != nullptr)
        *year = date.year;
    if (date.month >= 1 && date.month <= 12 && dayOfYear != nullptr) {
        const int leap = (date.month > 2 && isLeapYear(date.year)) ? 1 : 0;
        *dayOfYear = date.day + kDaysBeforeMonth[date.month - 1] + leap;
    }
    return 1;
}

std::string dateText(const Date &date) {
    char text[40]; // three ints of any value with their separators
    std::snprintf(text, sizeof text, "%04d.%02d.%02d", date.year, date.month, date.day);
    return text;
}

void parseDate(const char *text, int *year, int *month, int *day) {
    const Date date = readDateText(text);
    if (year != nullptr)
        *year = date.year;
    if (month != nullptr)
        *month = date.month;
    if (day != nullptr)
        *day = date.day;
}

} // namespace veg::calendar
