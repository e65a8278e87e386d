// The extremes builders called in-process through their entry functions, with string streams: the
// status and both streams of a few argument vectors each.
#include "dailyvci.h"
#include "periodextremes.h"
#include "support/entrycases.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using Case = testsupport::EntryCase;

TEST(ExtremesPrograms, EntryFunctionsInProcess) {
    testsupport::TempDir dir;
    const std::string src = dir.file("src");
    const std::string target = dir.file("x.hdf");
    const std::string year = src + "/2001/ndvi_01_2001.01.01_2001.01.07.hdf";
    const Case cases[] = {
        {"periodextremes usage",
         veg::periodextremes::run,
         {"periodextremes", src},
         255,
         "Usage: periodextremes <src dir> <start yyyy>",
         "",
         true},
        {"periodextremes no readable year",
         veg::periodextremes::run,
         {"periodextremes", src, "2001", "2001", target, "1", "7", "7"},
         255,
         "Name: " + year + "\n",
         "open file or get info for " + year +
             " failed.\nno period file of the years 2001 to 2001 "
             "could be read; " +
             target + " not created.\n"},
        {"basicextremes usage",
         veg::basicextremes::run,
         {"basicextremes", src},
         255,
         "Usage: basicextremes <src dir> <# of period>",
         "",
         true},
        {"basicextremes no readable year",
         veg::basicextremes::run,
         {"basicextremes", src, "1", "7", "2001", "2001", target},
         255,
         "Name: " + year + "\n",
         "open file or get info for " + year +
             " failed.\nno period file of the years 2001 to 2001 "
             "could be read; " +
             target + " not created.\n"},
        {"dailyvci usage",
         veg::dailyvci::run,
         {"dailyvci", src},
         255,
         "Usage: dailyvci <src dir> <start yyyy.mm.dd>",
         "",
         true},
        {"dailyvci short date",
         veg::dailyvci::run,
         {"dailyvci", src, "2020.1.1", "2020.01.02", "1", target},
         255,
         "date 2020.1.1 is not a date of the form yyyy.mm.dd.\n",
         ""},
    };
    testsupport::expectEntryCases(cases);
}

} // namespace
