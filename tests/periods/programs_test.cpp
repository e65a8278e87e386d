// The eleven period programs called in-process through their entry functions: status and the bytes
// on each stream. The command-line tests cover each program's cases through the built binaries.
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

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

struct Case {
    veg::cli::EntryFunction run;
    veg::cli::Args args;
    int status;
    std::string out;
    std::string err;
};

const std::string kBadDate =
    "Wrong inputs: date - 2009.1.2 is NOT in right format! Expect in yyyy.mm.dd. e.g. 2009.01.02\n";

} // namespace

TEST(PeriodPrograms, EntryFunctions) {
    const testsupport::TempDir dir;
    const std::string list = dir.file("week_02_2020.01.08_2020.01.14.txt");
    const std::string basicList = dir.file("fortnight_02_2019.01.15_2019.01.28.txt");
    const Case cases[] = {
        {veg::datespan::run, {"ds", "2011.07.01", "2011.07.03"}, 1, "2011.07.01\n2011.07.02\n", ""},
        {veg::datespan::run,
         {"ds"},
         255,
         "Usage: ds <start yyyy.mm.dd> <stop yyyy.mm.dd>\nExample: ds 2011.07.01 2011.10.01\n",
         ""},
        {veg::periodofdate::run, {"pd", "2009.01.14"}, 0, "02_2009.01.08_2009.01.14", ""},
        {veg::periodofdate::run, {"pd", "2009.1.2"}, 255, "", kBadDate},
        {veg::seasondates::run,
         {"sd", "2011", "12.31", "01.01"},
         0,
         "2010.12.31\n2011.01.01\n",
         ""},
        {veg::seasondates::run,
         {"sd", "2011", "123.01", "01.01"},
         255,
         "Wrong inputs: start date - 123.01 is NOT in right format! Expect in mm.dd. e.g. 07.01\n",
         ""},
        {veg::periodindex::run, {"pi", "2009.12.31", "2009.01.05", "2009.01.11"}, 0, "52", ""},
        {veg::periodindex::run,
         {"pi", "2009.01.05", "2009.01.05", "2009.01.04"},
         255,
         "start date is later than end date!!!\n",
         ""},
        {veg::periodcatalog::run,
         {"pc", "2010", "2", "7", "14", "VCI", "Biweekly"},
         0,
         "Biweekly_VCI_02_2010.01.08_2010.01.21 Biweekly VCI 2010 02(01.08_01.21)_2010",
         ""},
        {veg::periodrange::run, {"pr", "2021", "53"}, 0, "53_2021.12.31_2022.01.06", ""},
        {veg::periodrange::run,
         {},
         255,
         "Usage:  <year> <# of the period> {length of each period} {actual length of each "
         "period}\n"
         "       <year> - the year to calculate the period. Required.\n"
         "       <# of the period> - the number of the period to be calculated. Required.\n"
         "       {length of each period} - the number of days for calculating the number of "
         "periods. Default value is 7.\n"
         "       {actual length of each period} - the actual number of days for each period "
         "(default is the same as 'length of each period')\n"
         "Example:  2010 2\nExample:  2010 2 7\nExample:  2010 2 7 14\n",
         ""},
        {veg::weeknumber::run, {"wn", "2019.01.08"}, 0, "2", ""},
        {veg::weeknumber::run, {"wn", "2009.1.2"}, 255, "", kBadDate},
        {veg::weeknumber_sunday::run, {"ws", "2017.01.01"}, 0, "1", ""},
        {veg::weeknumber_sunday::run, {"ws"}, 255, "Usage: ws <yyyy.mm.dd>\n", ""},
        {veg::yearoffset::run, {"yo", "2020.05.01", "2030"}, 0, "-10", ""},
        {veg::periodlist::run,
         {"pl", dir.path(), "2020", "2"},
         0,
         "output name=" + list + "\nO.K.\n",
         ""},
        {veg::periodlist::run,
         {"pl", dir.file("missing"), "2020", "2"},
         255,
         "output name=" + dir.file("missing/week_02_2020.01.08_2020.01.14.txt") + "\n",
         "Error in open file " + dir.file("missing/week_02_2020.01.08_2020.01.14.txt") + "!\n"},
        {veg::periodlist_basic::run,
         {"pb", dir.path(), "2019", "2", "fortnight", "14", "1"},
         0,
         "output name=" + basicList + "\nO.K.\n",
         ""},
    };
    for (const Case &c : cases) {
        std::string shown;
        for (const std::string &a : c.args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(c.run(c.args, out, err), c.status);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
    EXPECT_EQ(testsupport::readFile(list).size(), 7u * 11u);
    EXPECT_EQ(testsupport::readFile(basicList).size(), 14u * 11u);
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
