// Fuzz target: date texts through every calendar reader, and the period rule, tag and file names
// of whatever numbers they yield. Besides crashes it traps on a date that does not survive the
// trip text -> day number -> date -> text.
#include "calendar.h"
#include "fuzzinput.h"

#include <array>
#include <cstring>
#include <string>

namespace {

// The fixed-position readers must agree with each other and with the conversions.
void checkDateText(const std::string &text) {
    const char *c = text.c_str();
    (void)veg::calendar::hasDateLength(c);
    const int64_t jdn = veg::calendar::gdate2julian(c);
    int year = 0;
    int month = 0;
    int day = 0;
    veg::calendar::parseDate(c, &year, &month, &day);
    int yearOnly = 0;
    int dayOfYear = 0;
    (void)veg::calendar::date2julian(c, &yearOnly, &dayOfYear);

    char buffer[veg::calendar::kDateTextCapacity];
    (void)veg::calendar::julian2date(buffer, sizeof buffer, year, dayOfYear);
    (void)veg::calendar::julian2date(buffer, 4, year,
                                     dayOfYear); // too small: must refuse, not overrun

    if (std::strlen(c) >= veg::calendar::kDateTextLength) {
        const veg::calendar::Date date = veg::calendar::dateOfJulian(jdn);
        // Any valid date written back must read as the same day.
        const std::string again = veg::calendar::dateText(date);
        if (date.year >= 0 && date.year <= 9999 &&
            veg::calendar::gdate2julian(again.c_str()) != jdn) {
            __builtin_trap();
        }
    }

    std::array<int, 4> fy{}, fm{}, fd{}, ly{}, lm{}, ld{};
    (void)veg::calendar::findPeriods(c, c, 4, fy.data(), fm.data(), fd.data(), ly.data(), lm.data(),
                                     ld.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<std::string> parts = fuzzinput::splitAtNul(data, size, 8);
    for (const std::string &text : parts) {
        checkDateText(text);
    }
    if (parts.size() >= 2) {
        std::array<int, 4> fy{}, fm{}, fd{}, ly{}, lm{}, ld{};
        (void)veg::calendar::findPeriods(parts[0].c_str(), parts[1].c_str(), 2000, 4, fy.data(),
                                         fm.data(), fd.data(), ly.data(), lm.data(), ld.data());
    }

    // The period rule and everything named after it, with numbers taken from the texts.
    std::array<int, 4> numbers{};
    for (size_t i = 0; i < numbers.size() && i < parts.size(); ++i) {
        int y = 0, m = 0, d = 0;
        veg::calendar::parseDate(parts[i].c_str(), &y, &m, &d);
        numbers[i] = static_cast<int>(static_cast<unsigned>(y) ^ (static_cast<unsigned>(m) << 8) ^
                                      (static_cast<unsigned>(d) << 16));
    }
    const veg::calendar::Period period =
        veg::calendar::periodOf(numbers[0], numbers[1], numbers[2], numbers[3]);
    const std::string tag = veg::calendar::periodTag(period);
    const std::string folder = parts.back();
    try {
        (void)veg::calendar::periodNdviFileName(folder, numbers[0], period);
    } catch (const veg::calendar::FileNameTooLong &) {
    }
    try {
        (void)veg::calendar::periodListFileName(folder, tag, period);
    } catch (const veg::calendar::FileNameTooLong &) {
    }
    try {
        (void)veg::calendar::dailyNdviFileName(folder, period.first);
    } catch (const veg::calendar::FileNameTooLong &) {
    }
    const std::vector<veg::calendar::Date> days =
        veg::calendar::daysBetween(period.firstDay, period.firstDay + (numbers[3] & 0x3f));
    (void)days;
    return 0;
}
