// Command-line tests of zonegrid: the raster description, the mask grid's geometry, cells and
// attributes, the reference grid's part, and every failure with its status.
#include "support/geotiff.h"
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace testsupport;

RunResult runZonegrid(const std::vector<std::string> &args) { return run(ZONEGRID_BIN, args); }

// A reference grid: sinusoidal, 6 x 5 cells, with a reflectance field of the given dimension list.
void writeReference(const std::string &path, const std::string &gridName = "MODIS_Grid_2D",
                    const std::string &field = "sur_refl_b01_1",
                    const std::string &dimList = "YDim,XDim") {
    EosGridSpec g = sinusoidalGrid(6, 5);
    g.name = gridName;
    g.projectionParameters[0] = 6371007.181;
    EosField f = eosField(field, kEosInt16, std::vector<int16_t>(30, 7));
    f.dimList = dimList;
    g.fields.push_back(f);
    writeEosFile(path, g);
}

RasterSpec fourByThree() {
    RasterSpec s;
    s.width = 4;
    s.height = 3;
    s.geoTransform = {{100, 10, 0, 500, 0, -10}};
    return s;
}

std::vector<uint8_t> fourByThreeValues() {
    return {1, 2, 3, 4, 5, 6, 70, 8, 9, 10, 11, 12}; // centre: row 1, column 2
}

std::vector<EosAttribute> maskAttributes() {
    std::vector<uint8_t> text;
    for (char ch : std::string(" field_value * scale + offset")) {
        text.push_back(static_cast<uint8_t>(ch));
    }
    text.push_back(0);
    return {EosAttribute{"long_name", kEosChar8, 4, {'M', 'a', 's', 'k'}},
            eosValues<uint8_t>("valid_range", kEosUInt8, {0, 254}),
            eosValues<uint8_t>("_FillValue", kEosUInt8, {0}),
            EosAttribute{"Units", kEosChar8, 8, {'N', 'o', 'U', 'n', 'i', 't', 's', 0}},
            EosAttribute{"scale", kEosFloat32, 1, toBytes(std::vector<uint32_t>{0x42FE0000})},
            EosAttribute{"offset", kEosFloat32, 1, toBytes(std::vector<uint32_t>{0x42FE0000})},
            EosAttribute{"true_value", kEosChar8, 30, text}};
}

TEST(ZonegridCli, FourByThreeRasterDescriptionGeometryCellsAndAttributes) {
    TempDir dir;
    writeByteGeoTiff(dir.file("area.tif"), fourByThree(), fourByThreeValues());
    writeReference(dir.file("ref.hdf"));
    const RunResult r =
        runZonegrid({dir.file("area.tif"), dir.file("mask.hdf"), dir.file("ref.hdf")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Driver: GTiff/GeoTIFF\n"
                     "Size is 4x3x1\n"
                     "Origin = (100.000000,500.000000)\n"
                     "Pixel Size = (10.000000,-10.000000)\n"
                     "Block=4x3 Type=Byte, ColorInterp=Gray\n"
                     "Min=1.000d, Max=70.000\n"
                     "value at center = 70\n"
                     "yDimSize=5; YSize=3\n"
                     "npixel=12, size=12\n"
                     "Mem set\n"
                     "xDimSize=6\n"
                     "yDimSize=5\n"
                     "upplerleft=100.000000,500.000000\n"
                     "lowerright=140.000000,470.000000\n"
                     "Done.");
    EXPECT_EQ(readEosGridNames(dir.file("mask.hdf")), std::vector<std::string>{"MODIS_Grid_2D"});
    const EosGridRead mask = readEosGrid(dir.file("mask.hdf"));
    const EosGridRead ref = readEosGrid(dir.file("ref.hdf"));
    EXPECT_EQ(mask.columns, 4);
    EXPECT_EQ(mask.rows, 3);
    EXPECT_EQ(mask.upperLeft, (std::array<double, 2>{{100, 500}}));
    EXPECT_EQ(mask.lowerRight, (std::array<double, 2>{{140, 470}}));
    EXPECT_EQ(mask.projectionCode, ref.projectionCode);
    EXPECT_EQ(mask.zoneCode, ref.zoneCode);
    EXPECT_EQ(mask.sphereCode, ref.sphereCode);
    EXPECT_EQ(mask.projectionParameters, ref.projectionParameters);
    EXPECT_EQ(mask.originCode, ref.originCode);
    ASSERT_EQ(mask.fields.size(), 1u);
    const EosFieldRead &f = mask.fields[0];
    EXPECT_EQ(f.name, "sur_ndvi_b02_b01");
    EXPECT_EQ(f.numberType, kEosUInt8);
    EXPECT_EQ(f.dimList, "YDim,XDim");
    EXPECT_EQ(f.compression, 0);
    EXPECT_EQ(f.data, fourByThreeValues());
    EXPECT_EQ(f.data[1 * 4 + 2], 70);
    EXPECT_EQ(readSdAttributes(dir.file("mask.hdf"), "sur_ndvi_b02_b01"), maskAttributes());
}

TEST(ZonegridCli, ReferenceGridAndFieldByNameAndColumnMajorFields) {
    TempDir dir;
    writeByteGeoTiff(dir.file("area.tif"), fourByThree(), fourByThreeValues());
    writeReference(dir.file("ref.hdf"), "MOD_Grid_Other", "sur_refl_b02_1", "XDim,YDim");
    const RunResult r = runZonegrid({dir.file("area.tif"), dir.file("mask.hdf"),
                                     dir.file("ref.hdf"), "MOD_Grid_Other", "sur_refl_b02_1"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(readEosGridNames(dir.file("mask.hdf")), std::vector<std::string>{"MODIS_Grid_2D"});
    const EosGridRead mask = readEosGrid(dir.file("mask.hdf"));
    const EosFieldRead &f = eosFieldOf(mask, "sur_ndvi_b02_b01");
    EXPECT_EQ(f.dimList, "XDim,YDim");
    EXPECT_EQ(f.dims, (std::vector<int32_t>{4, 3}));
    const std::vector<uint8_t> raster = fourByThreeValues();
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(f.data[static_cast<size_t>(c) * 3 + row],
                      raster[static_cast<size_t>(row) * 4 + c]);
        }
    }
}

TEST(ZonegridCli, SixteenBitRasterTakesGdalsByteConversion) {
    TempDir dir;
    RasterSpec s = fourByThree();
    s.wkt = "EPSG:32632";
    writeInt16GeoTiff(dir.file("area.tif"), s,
                      {-5, 0, 1, 254, 255, 256, 300, 1000, 32767, 128, 7, 2});
    writeReference(dir.file("ref.hdf"));
    const RunResult r =
        runZonegrid({dir.file("area.tif"), dir.file("mask.hdf"), dir.file("ref.hdf")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Size is 4x3x1\nProjection is `PROJCS[\"WGS 84 / UTM zone 32N\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Block=4x3 Type=Int16, ColorInterp=Gray\nMin=-5.000d, Max=32767.000\n"
                         "value at center = 255\n"),
              std::string::npos)
        << r.out;
    const EosGridRead mask = readEosGrid(dir.file("mask.hdf"));
    EXPECT_EQ(mask.fields[0].data, readByteBand(dir.file("area.tif")));
    EXPECT_EQ(mask.fields[0].data,
              (std::vector<uint8_t>{0, 0, 1, 254, 255, 255, 255, 255, 255, 128, 7, 2}));
}

struct FailureCase {
    const char *name;
    bool writeRaster;
    bool setGeoTransform;
    bool writeReferenceFile;
    std::vector<std::string> extraArgs;
    std::string output; // relative to the test folder
    int status;
    std::string outTail; // what standard output ends with
    std::string err;     // with %R the raster, %F the reference, %O the output path
};

std::string fill(std::string text, const TempDir &d, const std::string &output) {
    const std::pair<std::string, std::string> keys[] = {
        {"%R", d.file("area.tif")}, {"%F", d.file("ref.hdf")}, {"%O", d.file(output)}};
    for (const auto &k : keys) {
        for (size_t at; (at = text.find(k.first)) != std::string::npos;) {
            text.replace(at, 2, k.second);
        }
    }
    return text;
}

TEST(ZonegridCli, FailuresReportAndLeaveNoOutput) {
    const std::string described = "Block=4x3 Type=Byte, ColorInterp=Gray\nMin=1.000d, Max=70.000\n";
    const FailureCase cases[] = {
        {"raster missing",
         false,
         true,
         true,
         {},
         "mask.hdf",
         254,
         "Error: Unable to open file %R\n",
         ""},
        {"raster without geotransform",
         true,
         false,
         true,
         {},
         "mask.hdf",
         255,
         "Driver: GTiff/GeoTIFF\nSize is 4x3x1\n" + described,
         "The raster %R has no geotransform; the mask cannot be placed.\n"},
        {"reference missing",
         true,
         true,
         false,
         {},
         "mask.hdf",
         255,
         "value at center = 70\n",
         "open file or get info for %F failed.\n"},
        {"reference grid missing",
         true,
         true,
         true,
         {"NoSuchGrid"},
         "mask.hdf",
         255,
         "value at center = 70\n",
         "open file or get info for %F failed.\n"},
        {"reference field missing",
         true,
         true,
         true,
         {"MODIS_Grid_2D", "no_field"},
         "mask.hdf",
         255,
         "value at center = 70\n",
         "open file or get info for %F failed.\n"},
        {"output folder missing",
         true,
         true,
         true,
         {},
         "no/mask.hdf",
         255,
         "lowerright=140.000000,470.000000\n",
         "create output file/grid/field for %R - %O failed.\n"},
    };
    for (const FailureCase &c : cases) {
        TempDir dir;
        RasterSpec s = fourByThree();
        s.setGeoTransform = c.setGeoTransform;
        if (c.writeRaster) {
            writeByteGeoTiff(dir.file("area.tif"), s, fourByThreeValues());
        }
        if (c.writeReferenceFile) {
            writeReference(dir.file("ref.hdf"));
        }
        writeFile(dir.file("mask.hdf"), "earlier");
        std::vector<std::string> args = {dir.file("area.tif"), dir.file(c.output),
                                         dir.file("ref.hdf")};
        args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
        const RunResult r = runZonegrid(args);
        EXPECT_EQ(r.status, c.status) << c.name;
        const std::string tail = fill(c.outTail, dir, c.output);
        ASSERT_GE(r.out.size(), tail.size()) << c.name << ": " << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << c.name << ": " << r.out;
        EXPECT_EQ(r.err, fill(c.err, dir, c.output)) << c.name;
        EXPECT_EQ(readFile(dir.file("mask.hdf")), "earlier") << c.name;
        size_t entries = 0;
        for (const auto &e : std::filesystem::directory_iterator(dir.path())) {
            entries += e.path().filename().string().find(".tmp") != std::string::npos;
        }
        EXPECT_EQ(entries, 0u) << c.name;
    }
}

TEST(ZonegridCli, UsageWithFewerThanThreeArguments) {
    const std::string p = ZONEGRID_BIN;
    const std::string usage =
        "Usage: " + p +
        " <inputHDFfile> <outputfile> <refhdfeos4proj> {refgridname} {reffieldname}\n"
        "       " +
        p +
        " {refgridname} default - MODIS_Grid_2D\n"
        "       " +
        p +
        " {reffieldname} default - sur_refl_b01_1\n"
        "Example:" +
        p + " test.hdf tmask.hdf MOD09GQ.A2020208.h26v05.006.NRT.hdf\n";
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, {"a.tif"}, {"a.tif", "m.hdf"}}) {
        const RunResult r = runZonegrid(args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out.substr(0, usage.size()), usage);
        // Two more example lines follow.
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6);
        EXPECT_EQ(r.err, "");
    }
}

} // namespace
