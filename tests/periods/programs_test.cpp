// The period programs called in-process through their entry functions: every case's status and
// the bytes on each stream, pinned as golden transcripts (tests/golden/periods/).
#include "datespan/datespan.h"
#include "periodcatalog/periodcatalog.h"
#include "periodindex/periodindex.h"
#include "periodlist.h"
#include "periodofdate/periodofdate.h"
#include "periodrange/periodrange.h"
#include "seasondates/seasondates.h"
#include "weeknumber-sunday/weeknumber-sunday.h"
#include "weeknumber/weeknumber.h"
#include "yearoffset/yearoffset.h"

#include "support/golden.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>

TEST(PeriodPrograms, GoldenTranscripts) {
    std::vector<testsupport::GoldenCase> cases;
    testsupport::addGoldenCases(cases, "periods/datespan", veg::datespan::run, "datespan",
                                {
                                    {"2011.07.01", "2011.07.04"},
                                    {"2011.07.01", "2011.07.01"},
                                    {"2011.07.04", "2011.07.01"},
                                    {"2020.02.28", "2020.03.02"},
                                    {"2019.12.31", "2020.01.02"},
                                    {"2011.7.1", "2011.7.3"},
                                    {"2021.02.30", "2021.03.04"},
                                    {"2011.07.01", "2011.07.02", "extra"},
                                    {"2011.123.01", "2011.07.04"},
                                    {"2011.123.01", "2011.07"},
                                    {"2011.07.01", "2011.1234.04"},
                                    // Texts without both dots are not dates.
                                    {"20110701", "2011.07.04"},
                                    {"2011.07", "2011.07.04"},
                                    {"2011.07.01", ""},
                                    {"2011.07.01"},
                                    {},
                                    {"2011.07.01", "2011.07.03"},
                                });

    testsupport::addGoldenCases(cases, "periods/periodofdate", veg::periodofdate::run,
                                "periodofdate",
                                {
                                    {"2009.01.02", "7"},
                                    {"2009.01.02"},
                                    {"2009.01.07"},
                                    {"2009.01.13"},
                                    {"2009.01.14"},
                                    {"2020.12.31"},
                                    {"2020.03.01", "14"},
                                    {"2020-01-05"},
                                    // Daily periods are numbered by their day of the year.
                                    {"2021.01.10", "1"},
                                    {"2021.01.01", "1"},
                                    {"2020.12.31", "2"},
                                    {"2009.1.2"},
                                    {""},
                                    {"2009.01.02", "0"},
                                    {"2009.01.02", "-7"},
                                    {"2009.01.02", "week"},
                                    {},
                                });

    testsupport::addGoldenCases(
        cases, "periods/seasondates", veg::seasondates::run, "seasondates",
        {
            {"2011", "12.30", "01.02"},
            {"2021", "13.40", "00.01"}, // 2021.02.09 to 2020.12.01
            {"2021", "12.31", "1.1"},
            {"2011", "123.01", "10.01"},
            {"2011", "123.01", "101.01"},
            {"2011", "07.01", "101.01"},
            {"2011", "0701", "10.01"},
            {"2011", "12.30", "1"},
            {"2011", "07.01"},
            {"2011", "12.31", "01.01"},
            {"2011", "123.01", "01.01"},
            {"2011", "07.01", "10.01"}, // a whole season across the turn of the year
        });

    testsupport::addGoldenCases(cases, "periods/periodindex", veg::periodindex::run, "periodindex",
                                {
                                    {"2009.01.02", "2009.01.01", "2009.01.07"},
                                    {"2009.01.04", "2009.01.05", "2009.01.11"},
                                    {"2009.01.05", "2009.01.05", "2009.01.11"},
                                    {"2009.01.11", "2009.01.05", "2009.01.11"},
                                    {"2009.01.12", "2009.01.05", "2009.01.11"},
                                    {"2009.12.31", "2009.01.05", "2009.01.11"},
                                    // Only the distance of the pair modulo its length matters.
                                    {"2010.01.10", "2009.01.05", "2009.01.11"},
                                    {"2010.01.03", "2009.01.05", "2009.01.11"},
                                    {"2020.03.01", "2020.01.01", "2020.01.14"},
                                    {"2009.01.05", "2009.01.05", "2009.01.05"},
                                    {"2009.01.05", "2009.01.05", "2009.01.04"},
                                    {"2009.1.5", "2009.01.05", "2009.01.11"},
                                    {"2009.13.05", "2009.01.05", "2009.01.11"},
                                    {"2009.01.05", "2009.1.5", "2009.01.11"},
                                    {"2009.01.05", "2009.01.05", ""},
                                    {"2009.01.05", "2009.01.05"},
                                });

    testsupport::addGoldenCases(cases, "periods/periodcatalog", veg::periodcatalog::run,
                                "periodcatalog",
                                {
                                    {"2010", "2"},
                                    {"2010", "2", "7", "14", "VCI", "Biweekly"},
                                    {"2020", "53"},
                                    {"2010", "2", "16", "16", "EVI"},
                                    {"2010", "x", "7", "7", "NDVI", "Weekly"},
                                    {"2010"},
                                });

    testsupport::addGoldenCases(cases, "periods/periodrange", veg::periodrange::run, "periodrange",
                                {
                                    {"2010", "2"},
                                    {"2010", "2", "7", "14"},
                                    {"2021", "53"},
                                    {"2020", "100"},
                                    {"2020", "0"},
                                    {"2020", "1", "7", "0"},
                                    {"abc", "1"},
                                    {"2010", "2", "7", "7", "extra"},
                                    {"2010"},
                                });

    testsupport::addGoldenCases(cases, "periods/weeknumber", veg::weeknumber::run, "weeknumber",
                                {
                                    {"2018.01.01"}, // 1 January a Monday
                                    {"2018.01.07"},
                                    {"2018.01.08"},
                                    {"2020.01.05"}, // 1 January a Wednesday
                                    {"2020.01.06"},
                                    {"2020.12.31"},
                                    {"2019.01.01"}, // 1 January a Tuesday: weeks run Tuesday-Monday
                                    {"2019.01.07"},
                                    {"2019.01.08"},
                                    {"2017.01.01"}, // 1 January a Sunday
                                    {"2017.01.02"},
                                    {"2020-03-02"},
                                    {"2020.3.2"},
                                    {"2020.13.02"},
                                    {"2020.00.02"},
                                    {},
                                    {"2019.01.08"},
                                    {"2009.1.2"},
                                });

    testsupport::addGoldenCases(cases, "periods/weeknumber-sunday", veg::weeknumber_sunday::run,
                                "weeknumber-sunday",
                                {
                                    {"2018.01.01"}, // a Monday
                                    {"2018.01.06"},
                                    {"2018.01.07"}, // the first Sunday
                                    {"2017.01.01"}, // a Sunday
                                    {"2020.01.04"},
                                    {"2020.01.05"},
                                    {"2020.12.31"},
                                    {"2020.1.5"},
                                    {""},
                                    {},
                                });

    testsupport::addGoldenCases(cases, "periods/yearoffset", veg::yearoffset::run, "yearoffset",
                                {
                                    {"2020.05.01", "2000"},
                                    {"2020.05.01", "2030"},
                                    {"2020.05.01", "base"},
                                    {"2020-05-01", "2020"},
                                    {"2020.05.01", "-2147483648"},
                                    {"2020.5.1", "2000"},
                                    {"2020.05.01"},
                                });
    // Without even a program name the usage texts name none.
    cases.push_back({"periods/periodrange", veg::periodrange::run, {}});
    const auto folder = [](const testsupport::TempDir &dir) {
        std::filesystem::create_directory(dir.file("lists"));
    };
    testsupport::addGoldenCases(cases, "periods/periodlist", veg::periodlist::run, "periodlist",
                                {{"lists", "2020", "2"}, {"missing", "2020", "2"}}, folder);
    cases.back().show = cases[cases.size() - 2].show = {"lists/week_02_2020.01.08_2020.01.14.txt"};
    testsupport::addGoldenCases(cases, "periods/periodlist-basic", veg::periodlist_basic::run,
                                "periodlist-basic",
                                {{"lists", "2019", "2", "fortnight", "14", "1"}}, folder);
    cases.back().show = {"lists/fortnight_02_2019.01.15_2019.01.28.txt"};
    testsupport::expectGolden(cases);
}

// A list that cannot be written whole (here: a file-size limit below its size) is reported and
// leaves nothing in the folder.
TEST(PeriodPrograms, FailedWriteLeavesNoList) {
    const testsupport::TempDir dir;
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::ostringstream out;
    std::ostringstream err;
    const int status = veg::periodlist::run({"pl", dir.path(), "2020", "2"}, out, err);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    const std::string list = dir.file("week_02_2020.01.08_2020.01.14.txt");
    EXPECT_EQ(status, 255);
    EXPECT_EQ(out.str(), "output name=" + list + "\n");
    EXPECT_EQ(err.str(), "Error in write file " + list + "!\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
