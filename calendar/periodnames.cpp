// The period rule, the period tag and every file name built from dates and periods.
#include "calendar.h"

#include <cstdarg>

namespace veg::calendar {
namespace {

// printf-style formatting into a string of whatever length the text needs.
std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char *pattern, ...) {
    std::va_list args;
    va_start(args, pattern);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&text[0], text.size(), pattern, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

std::string checkedName(std::string name, std::size_t limit) {
    if (name.size() > limit)
        throw FileNameTooLong(name, limit);
    return name;
}

} // namespace

Period periodOf(int year, int number, int step, int length) {
    const int64_t first = Gregorian2Julian(year, 1, 1) +
                          static_cast<int64_t>(step) * (static_cast<int64_t>(number) - 1);
    return periodBetween(number, first, first + static_cast<int64_t>(length) - 1);
}

Period periodBetween(int number, int64_t firstDay, int64_t lastDay) {
    Period period;
    period.number = number;
    period.firstDay = firstDay;
    period.lastDay = lastDay;
    period.first = dateOfJulian(firstDay);
    period.last = dateOfJulian(lastDay);
    return period;
}

std::string periodTag(const Period &p) {
    return format("%02i_%d.%02d.%02d_%d.%02d.%02d", p.number, p.first.year, p.first.month,
                  p.first.day, p.last.year, p.last.month, p.last.day);
}

FileNameTooLong::FileNameTooLong(const std::string &name, std::size_t limit)
    : std::length_error("file name longer than " + std::to_string(limit) + " characters: " + name),
      name_(name), limit_(limit) {}

std::string periodNdviFileName(const std::string &sourceDir, int year, const Period &period) {
    return checkedName(sourceDir + "/" + std::to_string(year) + "/ndvi_" + periodTag(period) +
                           ".hdf",
                       kPeriodFileNameMax);
}

std::string periodListFileName(const std::string &dir, const std::string &periodName,
                               const Period &period) {
    return checkedName(dir + "/" + periodName + "_" + periodTag(period) + ".txt", kListFileNameMax);
}

std::string dailyNdviFileName(const std::string &sourceDir, const Date &date) {
    const std::string day = format("%04i.%02i.%02i", date.year, date.month, date.day);
    return checkedName(sourceDir + "/" + day + "/NDVI" + day + ".hdf", kDailyFileNameMax);
}

} // namespace veg::calendar
