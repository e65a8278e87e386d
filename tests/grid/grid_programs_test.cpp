// The grid programs called in-process through their entry functions, with string streams: the
// status and both streams of a few argument vectors each.
#include "conditionmap.h"
#include "daymosaic.h"
#include "peakcomposite.h"
#include "support/entrycases.h"
#include "support/tempdir.h"
#include "tilegen.h"
#include "zonegrid.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using Case = testsupport::EntryCase;

TEST(GridPrograms, EntryFunctionsInProcess) {
    testsupport::TempDir dir;
    const std::string missing = dir.file("missing.hdf");
    const std::string list = dir.file("missing.txt");
    const std::string output = dir.file("out.hdf");
    const Case cases[] = {
        {"conditionmap usage",
         veg::conditionmap::run,
         {"conditionmap"},
         255,
         "Usage: conditionmap <max-min file>",
         "",
         true},
        {"conditionmap missing extremes",
         veg::conditionmap::run,
         {"conditionmap", missing, missing, output},
         255,
         "",
         "open file or get info for " + missing + " failed.\n"},
        {"peakcomposite usage",
         veg::peakcomposite::run,
         {"peakcomposite", list},
         255,
         "Inn\nUsage: peakcomposite <input NDVI list filename>",
         "",
         true},
        {"peakcomposite missing list",
         veg::peakcomposite::run,
         {"peakcomposite", list, output},
         255,
         "Inn\nError: file " + list + " cannot be openned for reading.\n",
         ""},
        {"daymosaic usage",
         veg::daymosaic::run,
         {"daymosaic", list},
         255,
         "Usage: daymosaic <inputfilesPath>",
         "",
         true},
        {"daymosaic missing list",
         veg::daymosaic::run,
         {"daymosaic", list, missing, output},
         255,
         "Failed to open the input parameters file " + list + " \n",
         "No files to be processed.\n"},
        {"zonegrid usage",
         veg::zonegrid::run,
         {"zonegrid", missing},
         255,
         "Usage: zonegrid <inputHDFfile>",
         "",
         true},
        {"zonegrid missing raster",
         veg::zonegrid::run,
         {"zonegrid", missing, output, missing},
         254,
         "Error: Unable to open file " + missing + "\n",
         ""},
        {"modis-tilegen usage",
         veg::modis_tilegen::run,
         {"modis-tilegen"},
         2,
         "",
         "Usage: modis-tilegen [--tile hXXvYY]",
         false,
         true},
        {"modis-tilegen small tile",
         veg::modis_tilegen::run,
         {"modis-tilegen", "--size", "4x3", output},
         0,
         "Wrote " + output + ": tile h18v04, 4x3 cells, 2020.07.26 (day 208)\n",
         ""},
    };
    testsupport::expectEntryCases(cases);
}

} // namespace
