// tallyband's entry function called in-process. The default configuration lies beside this test
// program under its name, as it lies beside tallyband.
#include "tallyband.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(TallybandRun, EntryFunction) {
    const testsupport::TempDir dir;
    const std::string data = dir.file("ndvi.tif"), csv = dir.file("r.csv");
    testsupport::RasterSpec shape;
    shape.width = 2;
    shape.height = 2;
    shape.geoTransform = {{0, 30, 0, 60, 0, -30}};
    shape.wkt = "EPSG:5070";
    testsupport::writeByteGeoTiff(data, shape, {0, 100, 200, 250});
    struct Case {
        veg::cli::Args args;
        int status;
        std::string outHead; // standard output starts with this
        std::string outTail; // and ends with this
        std::string err;
    };
    const Case cases[] = {
        {{"tallyband"}, 0, "USAGE: tallyband.x [options] <datafile>\n", "", ""},
        {{"tallyband", "-h", "-x"}, 1, "", "", "Unknown option 'x'\n"},
        {{"tallyband", "-c", "", data},
         255,
         "ERROR: --csvfile file name cannot be empty. \n",
         "",
         ""},
        {{"tallyband", "-t", "VCI"},
         1,
         "type is set to : 'VCI'\nError: Required the name of the datafile to be used to create "
         "the histogram.\n",
         "",
         ""},
        {{"tallyband", "-c", csv, data, "x"},
         0,
         "CSV output is directed to: " + csv + "\nNon-option argument #0 is " + data +
             "\nNon-option argument #1 is x\nWarning: more than 1 argument is given. The first "
             "one '" +
             data + "' is used as datafile name.\nProcessing....." + data +
             "\nLOADING....Section=NDVI\n",
         "Done!!\n",
         ""},
        {{"tallyband", dir.file("none.tif")},
         2,
         "Non-option argument #0 is " + dir.file("none.tif"),
         "In calc: Filename=" + dir.file("none.tif") + "\nDone!!\n",
         "Error: the histogram was not calculated: data file '" + dir.file("none.tif") +
             "' does not exist.\n"},
    };
    for (const Case &c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(veg::tallyband::run(c.args, out, err), c.status) << c.args.size();
        const std::string text = out.str();
        EXPECT_EQ(text.substr(0, c.outHead.size()), c.outHead);
        ASSERT_GE(text.size(), c.outTail.size());
        EXPECT_EQ(text.substr(text.size() - c.outTail.size()), c.outTail);
        EXPECT_EQ(err.str(), c.err);
    }
    // The run above wrote the plain-layout report of the raster's four values.
    EXPECT_EQ(testsupport::readFile(csv).substr(0, 37), "Value, Category, Acreage, Percentage\n");
}

} // namespace
