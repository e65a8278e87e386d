// Unit tests of the calendar library: conversions, enumerations, the period rule and file names.
#include "calendar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using veg::calendar::Date;

namespace {

// Days in a month, written without the library's tables or leap rule.
int monthLength(int year, int month) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month != 2)
        return lengths[month - 1];
    const bool leap = year % 400 == 0 || (year % 100 != 0 && year % 4 == 0);
    return leap ? 29 : 28;
}

} // namespace

// Every day of years 1 to 9999 against a day count from 1 January of year 1 (day number 1721426).
TEST(CalendarSweep, GregorianAndJulianDayNumbersAgreeWithADayCount) {
    int64_t expected = 1721426;
    int mismatches = 0;
    for (int year = 1; year <= 9999 && mismatches < 5; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= monthLength(year, month); ++day, ++expected) {
                const int64_t jdn = veg::calendar::Gregorian2Julian(year, month, day);
                int y = 0, m = 0, d = 0;
                EXPECT_EQ(veg::calendar::Julian2Gregorian(expected, &y, &m, &d), 1);
                if (jdn != expected || y != year || m != month || d != day) {
                    ADD_FAILURE() << year << "-" << month << "-" << day << ": " << jdn
                                  << " expected " << expected << ", back " << y << "-" << m << "-"
                                  << d;
                    ++mismatches;
                }
            }
        }
    }
    EXPECT_EQ(expected, veg::calendar::Gregorian2Julian(10000, 1, 1));
}

// Day of year and date text agree with each other for every day of two centuries.
TEST(CalendarSweep, DayOfYearTextRoundTrip) {
    for (int year = 1899; year <= 2101; ++year) {
        int dayOfYear = 0;
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= monthLength(year, month); ++day) {
                ++dayOfYear;
                char text[veg::calendar::kDateTextCapacity];
                ASSERT_EQ(veg::calendar::julian2date(text, year, dayOfYear), 1);
                char expected[32];
                std::snprintf(expected, sizeof expected, "%04d.%02d.%02d", year, month, day);
                ASSERT_STREQ(text, expected);
                int y = 0, n = 0;
                ASSERT_EQ(veg::calendar::date2julian(text, &y, &n), 1);
                ASSERT_EQ(y, year);
                ASSERT_EQ(n, dayOfYear);
            }
        }
    }
}

TEST(Gregorian2Julian, KnownDayNumbersAndCarryOver) {
    struct Case {
        Date date;
        Date same; // a date that must give the same number
        int64_t jdn;
    };
    const Case cases[] = {
        {{2000, 1, 1}, {2000, 1, 1}, 2451545},
        {{1970, 1, 1}, {1970, 1, 1}, 2440588},
        {{2020, 3, 0}, {2020, 2, 29}, 2458909}, // day 0: last day of the previous month
        {{2019, 3, 0}, {2019, 2, 28}, 2458543},
        {{2019, 13, 1}, {2020, 1, 1}, 2458850}, // month 13: January of the next year
        {{2019, 13, 31}, {2020, 1, 31}, 2458880},
        {{2020, 0, 1}, {2019, 12, 1}, 2458819}, // month 0: December of the previous year
        {{2021, 2, 30}, {2021, 3, 2}, 2459276}, // 30 February carries into March
        {{2021, 1, 0}, {2020, 12, 31}, 2459215},
        {{-4800, 3, 1}, {-4800, 3, 1}, -32044},
        {{-4713, 11, 24}, {-4713, 11, 24}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(veg::calendar::dateText(c.date));
        EXPECT_EQ(veg::calendar::Gregorian2Julian(c.date.year, c.date.month, c.date.day), c.jdn);
        EXPECT_EQ(veg::calendar::Gregorian2Julian(c.same.year, c.same.month, c.same.day), c.jdn);
    }
    EXPECT_EQ(veg::calendar::Gregorian2Julian(2019, 12, 31) + 1,
              veg::calendar::Gregorian2Julian(2020, 1, 1));
}

TEST(Gregorian2Julian, YearsBeyondTheThirtyTwoBitProductsStayConsecutive) {
    const int years[] = {1500000, 2000000000, 2147483646};
    for (int year : years) {
        SCOPED_TRACE(year);
        const int64_t end = veg::calendar::Gregorian2Julian(year, 12, 31);
        EXPECT_EQ(end + 1, veg::calendar::Gregorian2Julian(year + 1, 1, 1));
        EXPECT_EQ(veg::calendar::dateOfJulian(end), (Date{year, 12, 31}));
    }
}

TEST(Julian2Gregorian, FarDayNumbers) {
    struct Case {
        int64_t jdn;
        Date date;
    };
    const Case cases[] = {
        {0, {-4713, 11, 24}},      {-32044, {-4800, 3, 1}},  {1721426, {1, 1, 1}},
        {5373484, {9999, 12, 31}}, {2451604, {2000, 2, 29}}, {2415080, {1900, 3, 1}},
    };
    for (const Case &c : cases) {
        int y = 0, m = 0, d = 0;
        EXPECT_EQ(veg::calendar::Julian2Gregorian(c.jdn, &y, &m, &d), 1);
        EXPECT_EQ((Date{y, m, d}), c.date) << c.jdn;
    }
}

TEST(Juilan2Julian, JulianCalendarDates) {
    struct Case {
        Date julian;
        Date gregorian;
    };
    const Case cases[] = {
        {{1582, 10, 5}, {1582, 10, 15}},
        {{2000, 1, 1}, {2000, 1, 14}},
        {{1900, 2, 29}, {1900, 3, 13}}, // 1900 is a leap year in the Julian calendar
        {{1, 1, 3}, {1, 1, 1}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(
            veg::calendar::Juilan2Julian(c.julian.year, c.julian.month, c.julian.day),
            veg::calendar::Gregorian2Julian(c.gregorian.year, c.gregorian.month, c.gregorian.day))
            << veg::calendar::dateText(c.julian);
    }
}

TEST(DateText, Readers) {
    struct Case {
        const char *text;
        int64_t jdn;   // gdate2julian
        int status;    // date2julian
        int year;      // -1: untouched
        int dayOfYear; // -1: untouched
    };
    const Case cases[] = {
        {"2000.01.01", 2451545, 1, 2000, 1},
        {"1900.03.01", 2415080, 1, 1900, 60},
        {"2000.03.01", 2451605, 1, 2000, 61},
        {"2020.12.31", 2459215, 1, 2020, 366},
        {"2019.12.31", 2458849, 1, 2019, 365},
        {"2020-01-05", 2458854, 1, 2020, 5},  // separators are not looked at
        {"2020.3..01", 2458910, 1, 2020, 61}, // atoi stops at the point: month 3
        {"2020.01.40", 2458889, 1, 2020, 40}, // the day is not validated
        {"2020.02.00", 2458880, 1, 2020, 31},
        {"2020.13.01", 2459216, 1, 2020, -1}, // month out of range: day of year untouched
        {"2020.00.01", 2458819, 1, 2020, -1},
        {"2020.-1.01", 2458789, 1, 2020, -1}, // 1 November 2019
        {"2020.01.05 trailing", 2458854, 1, 2020, 5},
        {"2020.1.5", 0, 0, -1, -1}, // shorter than ten characters
        {"", 0, 0, -1, -1},
        {nullptr, 0, 0, -1, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text == nullptr ? "(null)" : c.text);
        EXPECT_EQ(veg::calendar::gdate2julian(c.text), c.jdn);
        int year = -1;
        int dayOfYear = -1;
        EXPECT_EQ(veg::calendar::date2julian(c.text, &year, &dayOfYear), c.status);
        EXPECT_EQ(year, c.year);
        EXPECT_EQ(dayOfYear, c.dayOfYear);
        EXPECT_EQ(veg::calendar::hasDateLength(c.text), c.status == 1);
    }
}

TEST(DateText, julian2date) {
    struct Case {
        int year;
        int dayOfYear;
        int status;
        const char *text;
    };
    const Case cases[] = {
        {2000, 60, 1, "2000.02.29"},
        {1900, 60, 1, "1900.03.01"},
        {2020, 366, 1, "2020.12.31"},
        {2019, 365, 1, "2019.12.31"},
        {2019, 1, 1, "2019.01.01"},
        {2019, 32, 1, "2019.02.01"},
        {15, 1, 1, "0015.01.01"},
        {-44, 75, 1, "-044.03.15"},
        {12345, 2, 1, "12345.01.02"},
        {2019, 366, 0, ""},
        {2020, 367, 0, ""},
        {2020, 0, 0, ""},
        {2020, -5, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.year) + "/" + std::to_string(c.dayOfYear));
        char text[veg::calendar::kDateTextCapacity];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(veg::calendar::julian2date(text, c.year, c.dayOfYear), c.status);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(DateText, julian2dateRefusesASmallBuffer) {
    char text[11];
    EXPECT_EQ(veg::calendar::julian2date(text, sizeof text, 2020, 5), 1);
    EXPECT_STREQ(text, "2020.01.05");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(veg::calendar::julian2date(text, sizeof text, 12020, 5), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(veg::calendar::julian2date(text, 0, 2020, 5), 0);
}

TEST(DateText, WidestDatesFitTheirCapacity) {
    EXPECT_LT(veg::calendar::dateText({-2147483647 - 1, 12, 31}).size(),
              veg::calendar::kDateTextCapacity);
    EXPECT_EQ(veg::calendar::dateText({-2147483647 - 1, -2147483647 - 1, 7}),
              "-2147483648.-2147483648.07");
}

TEST(ParseDate, FixedPositionsAndShortTexts) {
    struct Case {
        const char *text;
        Date date;
    };
    const Case cases[] = {
        {"2011.07.01", {2011, 7, 1}},
        {"2011/7/1/xx", {2011, 7, 0}}, // "7/" and "xx" at the fixed positions
        {"2011.07", {2011, 7, 0}},     // a short text reads missing fields as 0
        {"20", {20, 0, 0}},
        {"", {0, 0, 0}},
        {" -12.+3. 9", {-12, 3, 9}}, // atoi: leading blanks and a sign
    };
    for (const Case &c : cases) {
        Date d{-1, -1, -1};
        veg::calendar::parseDate(c.text, &d.year, &d.month, &d.day);
        EXPECT_EQ(d, c.date) << c.text;
    }
}

TEST(FindDays, FillsOneEntryPerDay) {
    struct Case {
        Date first;
        Date last;
        int count; // entries filled
    };
    const Case cases[] = {
        {{2020, 2, 27}, {2020, 3, 2}, 5}, {{2019, 12, 30}, {2020, 1, 2}, 4},
        {{2021, 5, 5}, {2021, 5, 5}, 1},  {{2021, 5, 5}, {2021, 5, 4}, 0},
        {{2021, 5, 5}, {2020, 5, 4}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(veg::calendar::dateText(c.first) + " " + veg::calendar::dateText(c.last));
        const int64_t j0 =
            veg::calendar::Gregorian2Julian(c.first.year, c.first.month, c.first.day);
        const int64_t j1 = veg::calendar::Gregorian2Julian(c.last.year, c.last.month, c.last.day);
        int years[8], months[8], days[8];
        std::fill(years, years + 8, -7);
        EXPECT_EQ(veg::calendar::findDays(j0, j1, years, months, days), 0);
        const auto listed = veg::calendar::daysBetween(j0, j1);
        ASSERT_EQ(listed.size(), static_cast<std::size_t>(c.count));
        for (int i = 0; i < c.count; ++i) {
            const Date expected = veg::calendar::dateOfJulian(j0 + i);
            EXPECT_EQ((Date{years[i], months[i], days[i]}), expected);
            EXPECT_EQ(listed[static_cast<std::size_t>(i)], expected);
        }
        EXPECT_EQ(years[c.count], -7) << "wrote past the last day";
    }
}

TEST(FindPeriods, BaseYearWindows) {
    struct Case {
        const char *first;
        const char *last;
        int baseYear;
        const char *line;
        std::vector<std::string> windows; // "first last"
    };
    const Case cases[] = {
        {"2020.12.25",
         "2021.01.05",
         2019,
         "days: 12; start JD: 360; end JD: 5\n",
         {"2019.12.26 2020.01.05", "2018.12.26 2019.01.05"}},
        // Days of year are kept, so after February a window moves by a day between leap years.
        {"2020.03.01",
         "2020.03.10",
         2019,
         "days: 10; start JD: 61; end JD: 70\n",
         {"2019.03.02 2019.03.11", "2018.03.02 2018.03.11", "2017.03.02 2017.03.11"}},
        {"2019.02.20",
         "2019.03.05",
         2020,
         "days: 14; start JD: 51; end JD: 64\n",
         {"2020.02.20 2020.03.04", "2019.02.20 2019.03.05"}},
        {"2021.01.10",
         "2021.01.01",
         2021,
         "days: -8; start JD: 10; end JD: 1\n",
         {"2021.01.10 2021.01.01"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.first) + " " + c.last);
        const int n = static_cast<int>(c.windows.size());
        std::vector<int> fy(n), fm(n), fd(n), ly(n), lm(n), ld(n);
        EXPECT_EQ(veg::calendar::findPeriods(c.first, c.last, c.baseYear, n, fy.data(), fm.data(),
                                             fd.data(), ly.data(), lm.data(), ld.data()),
                  c.line);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(veg::calendar::dateText({fy[i], fm[i], fd[i]}) + " " +
                          veg::calendar::dateText({ly[i], lm[i], ld[i]}),
                      c.windows[static_cast<std::size_t>(i)]);
        }
    }
}

TEST(FindPeriods, PreviousYearFormStartsTheYearBefore) {
    int fy[3], fm[3], fd[3], ly[3], lm[3], ld[3];
    EXPECT_EQ(veg::calendar::findPeriods("2021.12.25", "2022.01.05", 3, fy, fm, fd, ly, lm, ld),
              "days: 12; start JD: 359; end JD: 5\n");
    const char *expected[] = {"2020.12.24 2021.01.05", "2019.12.25 2020.01.05",
                              "2018.12.25 2019.01.05"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(veg::calendar::dateText({fy[i], fm[i], fd[i]}) + " " +
                      veg::calendar::dateText({ly[i], lm[i], ld[i]}),
                  expected[i]);
    }
}

TEST(PeriodRule, Tags) {
    struct Case {
        int year, number, step, length;
        const char *tag;
    };
    const Case cases[] = {
        {2019, 1, 7, 7, "01_2019.01.01_2019.01.07"},
        {2019, 52, 7, 7, "52_2019.12.24_2019.12.30"},
        {2019, 53, 7, 7, "53_2019.12.31_2020.01.06"},
        {2020, 53, 7, 7, "53_2020.12.30_2021.01.05"},
        {2020, 1, 7, 14, "01_2020.01.01_2020.01.14"},
        {2020, 2, 7, 14, "02_2020.01.08_2020.01.21"},
        {2020, 8, 7, 14, "08_2020.02.19_2020.03.03"},
        {2019, 100, 7, 7, "100_2020.11.24_2020.11.30"},
        {2020, 0, 7, 7, "00_2019.12.25_2019.12.31"},
        {2020, 1, 1, 1, "01_2020.01.01_2020.01.01"},
        {2020, 3, 16, 16, "03_2020.02.02_2020.02.17"},
        {2020, 1, 7, 0, "01_2020.01.01_2019.12.31"}, // a period without days
    };
    for (const Case &c : cases) {
        const veg::calendar::Period p = veg::calendar::periodOf(c.year, c.number, c.step, c.length);
        EXPECT_EQ(veg::calendar::periodTag(p), c.tag);
        EXPECT_EQ(p.lastDay - p.firstDay + 1, c.length);
    }
}

TEST(PeriodRule, ExtremeArgumentsDoNotOverflow) {
    const veg::calendar::Period p =
        veg::calendar::periodOf(2147483647, -2147483647 - 1, 2147483647, 2147483647);
    EXPECT_EQ(p.number, -2147483647 - 1);
    EXPECT_EQ(p.lastDay - p.firstDay, 2147483646);
}

TEST(FileNames, Patterns) {
    const veg::calendar::Period week = veg::calendar::periodOf(2020, 8, 7, 7);
    EXPECT_EQ(veg::calendar::periodNdviFileName("src", 2020, week),
              "src/2020/ndvi_08_2020.02.19_2020.02.25.hdf");
    EXPECT_EQ(veg::calendar::periodListFileName("out", "weekly", week),
              "out/weekly_08_2020.02.19_2020.02.25.txt");
    EXPECT_EQ(veg::calendar::dailyNdviFileName("daily", {2011, 7, 1}),
              "daily/2011.07.01/NDVI2011.07.01.hdf");
    EXPECT_EQ(veg::calendar::dailyNdviFileName("d", {987, 12, 3}),
              "d/0987.12.03/NDVI0987.12.03.hdf");
}

TEST(FileNames, LongestNameFitsAndOneMoreIsRefused) {
    struct Case {
        const char *what;
        std::size_t limit;
        std::size_t fixed; // characters beside the directory
        std::function<std::string(const std::string &)> build;
    };
    const veg::calendar::Period week = veg::calendar::periodOf(2020, 8, 7, 7);
    const Case cases[] = {
        {"period", veg::calendar::kPeriodFileNameMax,
         std::string("/2020/ndvi_08_2020.02.19_2020.02.25.hdf").size(),
         [&](const std::string &dir) {
             return veg::calendar::periodNdviFileName(dir, 2020, week);
         }},
        {"list", veg::calendar::kListFileNameMax,
         std::string("/week_08_2020.02.19_2020.02.25.txt").size(),
         [&](const std::string &dir) {
             return veg::calendar::periodListFileName(dir, "week", week);
         }},
        {"daily", veg::calendar::kDailyFileNameMax,
         std::string("/2011.07.01/NDVI2011.07.01.hdf").size(),
         [&](const std::string &dir) {
             return veg::calendar::dailyNdviFileName(dir, {2011, 7, 1});
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string fits(c.limit - c.fixed, 'd');
        EXPECT_EQ(c.build(fits).size(), c.limit);
        const std::string tooLong(c.limit - c.fixed + 1, 'd');
        try {
            c.build(tooLong);
            ADD_FAILURE() << "an overlong name was accepted";
        } catch (const veg::calendar::FileNameTooLong &e) {
            EXPECT_EQ(e.limit(), c.limit);
            EXPECT_EQ(e.name().size(), c.limit + 1);
            EXPECT_NE(std::string(e.what()).find(std::to_string(c.limit)), std::string::npos);
        }
    }
}
