// Command-line tests of the nine date and period helper programs: exact output bytes and statuses.
#include "support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One run of a program and what it must print. "%s" in the expected texts stands for the program
// path as typed.
struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
};

std::string withProgram(std::string text, const std::string &program) {
    for (std::size_t at = text.find("%s"); at != std::string::npos;
         at = text.find("%s", at + program.size())) {
        text.replace(at, 2, program);
    }
    return text;
}

void runCases(const char *program, const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        std::string shown = program;
        for (const std::string &a : c.args)
            shown += " '" + a + "'";
        SCOPED_TRACE(shown);
        const testsupport::RunResult r = testsupport::run(program, c.args);
        EXPECT_EQ(r.out, withProgram(c.out, program));
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

std::string badDate(const std::string &what, const std::string &text) {
    return "Wrong inputs: " + what + " - " + text +
           " is NOT in right format! Expect in yyyy.mm.dd. e.g. 2009.01.02\n";
}

} // namespace

TEST(DatespanCli, ListsDatesBeforeTheStopDateAndEndsWithOne) {
    const std::string usage = "Usage: %s <start yyyy.mm.dd> <stop yyyy.mm.dd>\n"
                              "Example: %s 2011.07.01 2011.10.01\n";
    runCases(DATESPAN_BIN,
             {
                 {{"2011.07.01", "2011.07.04"}, "2011.07.01\n2011.07.02\n2011.07.03\n", "", 1},
                 {{"2011.07.01", "2011.07.01"}, "", "", 1},
                 {{"2011.07.04", "2011.07.01"}, "", "", 1},
                 {{"2020.02.28", "2020.03.02"}, "2020.02.28\n2020.02.29\n2020.03.01\n", "", 1},
                 {{"2019.12.31", "2020.01.02"}, "2019.12.31\n2020.01.01\n", "", 1},
                 {{"2011.7.1", "2011.7.3"}, "2011.07.01\n2011.07.02\n", "", 1},
                 {{"2021.02.30", "2021.03.04"}, "2021.03.02\n2021.03.03\n", "", 1},
                 {{"2011.07.01", "2011.07.02", "extra"}, "2011.07.01\n", "", 1},
                 {{"2011.123.01", "2011.07.04"},
                  "Wrong inputs: start date - 2011.123.01 is NOT in right format! Expect in "
                  "mm.dd. e.g. 2000.07.01. length=3\n",
                  "",
                  255},
                 {{"2011.123.01", "2011.07"},
                  "Wrong inputs: start date - 2011.123.01 is NOT in right format! Expect in "
                  "mm.dd. e.g. 2000.07.01. length=3\n",
                  "",
                  255},
                 {{"2011.07.01", "2011.1234.04"},
                  "Wrong inputs: end date - 2011.1234.04 is NOT in right format! Expect in "
                  "mm.dd. e.g. 2000.07.01\n",
                  "",
                  255},
                 // Texts without both dots are not dates.
                 {{"20110701", "2011.07.04"},
                  "Wrong inputs: start date - 20110701 is NOT in right format! Expect in mm.dd. "
                  "e.g. 2000.07.01. length=0\n",
                  "",
                  255},
                 {{"2011.07", "2011.07.04"},
                  "Wrong inputs: start date - 2011.07 is NOT in right format! Expect in mm.dd. "
                  "e.g. 2000.07.01. length=2\n",
                  "",
                  255},
                 {{"2011.07.01", ""},
                  "Wrong inputs: end date -  is NOT in right format! Expect in mm.dd. e.g. "
                  "2000.07.01\n",
                  "",
                  255},
                 {{"2011.07.01"}, usage, "", 255},
                 {{}, usage, "", 255},
             });
}

TEST(PeriodofdateCli, LatestWholePeriodEndingByTheDate) {
    const std::string usage = "Usage: %s <yyyy.mm.dd> {length of period}\n"
                              "       <yyyy.mm.dd> - the date to calculate # of periods in a year\n"
                              "       {length of period} - length of period. Default 7.\n"
                              "Example: %s 2009.01.02 7\n";
    const std::string badLength = "Wrong inputs: length of period - ";
    runCases(PERIODOFDATE_BIN,
             {
                 {{"2009.01.02", "7"}, "52_2008.12.25_2008.12.31", "", 0},
                 {{"2009.01.02"}, "52_2008.12.25_2008.12.31", "", 0},
                 {{"2009.01.07"}, "01_2009.01.01_2009.01.07", "", 0},
                 {{"2009.01.13"}, "01_2009.01.01_2009.01.07", "", 0},
                 {{"2009.01.14"}, "02_2009.01.08_2009.01.14", "", 0},
                 {{"2020.12.31"}, "52_2020.12.23_2020.12.29", "", 0},
                 {{"2020.03.01", "14"}, "04_2020.02.12_2020.02.25", "", 0},
                 {{"2020-01-05"}, "52_2019.12.25_2019.12.31", "", 0},
                 // Daily periods are numbered by their day of the year.
                 {{"2021.01.10", "1"}, "10_2021.01.10_2021.01.10", "", 0},
                 {{"2021.01.01", "1"}, "01_2021.01.01_2021.01.01", "", 0},
                 {{"2020.12.31", "2"}, "183_2020.12.30_2020.12.31", "", 0},
                 {{"2009.1.2"}, "", badDate("date", "2009.1.2"), 255},
                 {{""}, "", badDate("date", ""), 255},
                 {{"2009.01.02", "0"}, "", badLength + "0 must be greater than 0!\n", 255},
                 {{"2009.01.02", "-7"}, "", badLength + "-7 must be greater than 0!\n", 255},
                 {{"2009.01.02", "week"}, "", badLength + "week must be greater than 0!\n", 255},
                 {{}, usage, "", 255},
             });
}

TEST(SeasondatesCli, FromTheYearBeforeToTheGivenYear) {
    const std::string usage = "Usage: %s <yyyy> <start mm.dd> <end mm.dd>\n"
                              "Example: %s 2011 07.01 10.01\n";
    const std::string startMessage = "Wrong inputs: start date - ";
    const std::string endMessage = "Wrong inputs: end date - ";
    const std::string tail = " is NOT in right format! Expect in mm.dd. e.g. 07.01\n";
    runCases(
        SEASONDATES_BIN,
        {
            {{"2011", "12.30", "01.02"}, "2010.12.30\n2010.12.31\n2011.01.01\n2011.01.02\n", "", 0},
            {{"2021", "13.40", "00.01"}, "", "", 0}, // 2021.02.09 to 2020.12.01
            {{"2021", "12.31", "1.1"}, "2020.12.31\n2021.01.01\n", "", 0},
            {{"2011", "123.01", "10.01"}, startMessage + "123.01" + tail, "", 255},
            {{"2011", "123.01", "101.01"}, startMessage + "123.01" + tail, "", 255},
            {{"2011", "07.01", "101.01"}, endMessage + "101.01" + tail, "", 255},
            {{"2011", "0701", "10.01"}, startMessage + "0701" + tail, "", 255},
            {{"2011", "12.30", "1"}, endMessage + "1" + tail, "", 255},
            {{"2011", "07.01"}, usage, "", 255},
        });
}

TEST(SeasondatesCli, FullSeasonSpansTwoYears) {
    const testsupport::RunResult r = testsupport::run(SEASONDATES_BIN, {"2011", "07.01", "10.01"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(r.out.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 458u);
    EXPECT_EQ(lines.front(), "2010.07.01");
    EXPECT_EQ(lines[184], "2011.01.01");
    EXPECT_EQ(lines.back(), "2011.10.01");
}

TEST(PeriodindexCli, PeriodsAlignedOnTheStartDate) {
    const std::string usage = "Usage: %s <yyyy.mm.dd> <start yyyy.mm.dd> <end yyyy.mm.dd>\n"
                              "       <yyyy.mm.dd> - the date to calculate # of periods in a year\n"
                              "       <start yyyy.mm.dd> - stat date of period\n"
                              "       <end yyyy.mm.dd> - end date of period\n"
                              "Example: %s 2009.01.02 2009.01.01 2009.01.07\n";
    runCases(
        PERIODINDEX_BIN,
        {
            {{"2009.01.02", "2009.01.01", "2009.01.07"}, "1", "", 0},
            {{"2009.01.04", "2009.01.05", "2009.01.11"}, "0", "", 0},
            {{"2009.01.05", "2009.01.05", "2009.01.11"}, "1", "", 0},
            {{"2009.01.11", "2009.01.05", "2009.01.11"}, "1", "", 0},
            {{"2009.01.12", "2009.01.05", "2009.01.11"}, "2", "", 0},
            {{"2009.12.31", "2009.01.05", "2009.01.11"}, "52", "", 0},
            // Only the distance of the pair modulo its length matters.
            {{"2010.01.10", "2009.01.05", "2009.01.11"}, "1", "", 0},
            {{"2010.01.03", "2009.01.05", "2009.01.11"}, "0", "", 0},
            {{"2020.03.01", "2020.01.01", "2020.01.14"}, "5", "", 0},
            {{"2009.01.05", "2009.01.05", "2009.01.05"}, "5", "", 0},
            {{"2009.01.05", "2009.01.05", "2009.01.04"},
             "start date is later than end date!!!\n",
             "",
             255},
            {{"2009.1.5", "2009.01.05", "2009.01.11"}, "", badDate("date", "2009.1.5"), 255},
            {{"2009.13.05", "2009.01.05", "2009.01.11"}, "", badDate("date", "2009.13.05"), 255},
            {{"2009.01.05", "2009.1.5", "2009.01.11"}, "", badDate("start date", "2009.1.5"), 255},
            {{"2009.01.05", "2009.01.05", ""}, "", badDate("end date", ""), 255},
            {{"2009.01.05", "2009.01.05"}, usage, "", 255},
        });
}

TEST(PeriodcatalogCli, CatalogueLines) {
    const std::string usage =
        "Usage: %s <year> <# of the period> {length of each period} {actual length of each "
        "period} {type} {periodName}\n"
        "       <year> - the year to calculate the period. Required.\n"
        "       <# of the period> - the number of the period to be calculated. Required.\n"
        "       {length of each period} - the number of days for calculating the number of "
        "periods. Default value is 7.\n"
        "       {actual length of each period} - the actual number of days for each period "
        "(default is the same as 'length of each period')\n"
        "       {type} - Type of data.\n"
        "       {periodName} - Name of period type.\n"
        "Example: %s 2010 2\n"
        "Example: %s 2010 2 7\n"
        "Example: %s 2010 2 7 14 VCI Biweekly\n";
    runCases(PERIODCATALOG_BIN,
             {
                 {{"2010", "2"},
                  "Weekly_NDVI_02_2010.01.08_2010.01.14 Weekly NDVI 2010 02(01.08_01.14)_2010",
                  "",
                  0},
                 {{"2010", "2", "7", "14", "VCI", "Biweekly"},
                  "Biweekly_VCI_02_2010.01.08_2010.01.21 Biweekly VCI 2010 02(01.08_01.21)_2010",
                  "",
                  0},
                 {{"2020", "53"},
                  "Weekly_NDVI_53_2020.12.30_2021.01.05 Weekly NDVI 2020 53(12.30_01.05)_2021",
                  "",
                  0},
                 {{"2010", "2", "16", "16", "EVI"},
                  "Weekly_EVI_02_2010.01.17_2010.02.01 Weekly EVI 2010 02(01.17_02.01)_2010",
                  "",
                  0},
                 {{"2010", "x", "7", "7", "NDVI", "Weekly"},
                  "Weekly_NDVI_00_2009.12.25_2009.12.31 Weekly NDVI 2009 00(12.25_12.31)_2009",
                  "",
                  0},
                 {{"2010"}, usage, "", 255},
             });
}

TEST(PeriodrangeCli, PeriodTags) {
    const std::string usage =
        "Usage: %s <year> <# of the period> {length of each period} {actual length of each "
        "period}\n"
        "       <year> - the year to calculate the period. Required.\n"
        "       <# of the period> - the number of the period to be calculated. Required.\n"
        "       {length of each period} - the number of days for calculating the number of "
        "periods. Default value is 7.\n"
        "       {actual length of each period} - the actual number of days for each period "
        "(default is the same as 'length of each period')\n"
        "Example: %s 2010 2\n"
        "Example: %s 2010 2 7\n"
        "Example: %s 2010 2 7 14\n";
    runCases(PERIODRANGE_BIN,
             {
                 {{"2010", "2"}, "02_2010.01.08_2010.01.14", "", 0},
                 {{"2010", "2", "7", "14"}, "02_2010.01.08_2010.01.21", "", 0},
                 {{"2021", "53"}, "53_2021.12.31_2022.01.06", "", 0},
                 {{"2020", "100"}, "100_2021.11.24_2021.11.30", "", 0},
                 {{"2020", "0"}, "00_2019.12.25_2019.12.31", "", 0},
                 {{"2020", "1", "7", "0"}, "01_2020.01.01_2019.12.31", "", 0},
                 {{"abc", "1"}, "01_0.01.01_0.01.07", "", 0},
                 {{"2010", "2", "7", "7", "extra"}, "02_2010.01.08_2010.01.14", "", 0},
                 {{"2010"}, usage, "", 255},
             });
}

TEST(WeeknumberCli, MondayWeeks) {
    runCases(WEEKNUMBER_BIN,
             {
                 {{"2018.01.01"}, "1", "", 0}, // 1 January a Monday
                 {{"2018.01.07"}, "1", "", 0},
                 {{"2018.01.08"}, "2", "", 0},
                 {{"2020.01.05"}, "0", "", 0}, // 1 January a Wednesday
                 {{"2020.01.06"}, "1", "", 0},
                 {{"2020.12.31"}, "52", "", 0},
                 {{"2019.01.01"}, "1", "", 0}, // 1 January a Tuesday: weeks run Tuesday-Monday
                 {{"2019.01.07"}, "1", "", 0},
                 {{"2019.01.08"}, "2", "", 0},
                 {{"2017.01.01"}, "0", "", 0}, // 1 January a Sunday
                 {{"2017.01.02"}, "1", "", 0},
                 {{"2020-03-02"}, "9", "", 0},
                 {{"2020.3.2"}, "", badDate("date", "2020.3.2"), 255},
                 {{"2020.13.02"}, "", badDate("date", "2020.13.02"), 255},
                 {{"2020.00.02"}, "", badDate("date", "2020.00.02"), 255},
                 {{}, "Usage: %s <yyyy.mm.dd>\n", "", 255},
             });
}

TEST(WeeknumberSundayCli, SundayWeeks) {
    runCases(WEEKNUMBER_SUNDAY_BIN, {
                                        {{"2018.01.01"}, "0", "", 0}, // a Monday
                                        {{"2018.01.06"}, "0", "", 0},
                                        {{"2018.01.07"}, "1", "", 0}, // the first Sunday
                                        {{"2017.01.01"}, "1", "", 0}, // a Sunday
                                        {{"2020.01.04"}, "0", "", 0},
                                        {{"2020.01.05"}, "1", "", 0},
                                        {{"2020.12.31"}, "52", "", 0},
                                        {{"2020.1.5"}, "", badDate("date", "2020.1.5"), 255},
                                        {{""}, "", badDate("date", ""), 255},
                                        {{}, "Usage: %s <yyyy.mm.dd>\n", "", 255},
                                    });
}

TEST(YearoffsetCli, YearMinusBaseYear) {
    const std::string usage = "Usage: %s <yyyy.mm.dd> <base year>\n";
    runCases(YEAROFFSET_BIN, {
                                 {{"2020.05.01", "2000"}, "20", "", 0},
                                 {{"2020.05.01", "2030"}, "-10", "", 0},
                                 {{"2020.05.01", "base"}, "2020", "", 0},
                                 {{"2020-05-01", "2020"}, "0", "", 0},
                                 {{"2020.05.01", "-2147483648"}, "2147485668", "", 0},
                                 {{"2020.5.1", "2000"}, "", badDate("date", "2020.5.1"), 255},
                                 {{"2020.05.01"}, usage, "", 255},
                             });
}
