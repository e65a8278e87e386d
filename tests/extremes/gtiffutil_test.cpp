// Tests of the GeoTIFF helpers: round trips through files, GDAL and listgeo as independent readers,
// defaults of absent tags, printed lines, extent rules.
#include "gtiffutil.h"

#include "support/geotiff.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace veg::gtiffutil;

const std::string kRealDir = VEG_REAL_DATA_DIR;
const std::string kCdl = kRealDir + "/cdl_palouse_epsg3857_30m.tif";

// Runs print(out) on a temporary FILE* and returns what it printed.
template <typename Print> std::string printed(Print print) {
    FILE *out = std::tmpfile();
    print(out);
    std::fflush(out);
    std::rewind(out);
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) {
        text.append(buffer, n);
    }
    std::fclose(out);
    return text;
}

TIFFDir4StripP defaultDirectory(uint32_t width, uint32_t length) {
    TIFFDir4StripP dir;
    dir.samplesPerPixel = 1;
    dir.sampleFormat = 1;
    setTIFFDirectoryforpeltabydefault(dir);
    dir.imageWidth = width;
    dir.imageLength = length;
    return dir;
}

GTIFKeys albersKeys() {
    GTIFKeys keys;
    setGeoKeysSRORG6630forpeltabydefault(keys);
    return keys;
}

// Writes a striped GeoTIFF of dir and keys (the default Albers setting when keys is null) through
// the library's setters and row writer.
bool writeGeoTiff(const std::string &path, const TIFFDir4StripP &dir, const GTIFKeys *keys,
                  const std::vector<uint8_t> &pixels) {
    TiffHandle tif = openGeoTiff(path.c_str(), "w");
    if (!tif) {
        return false;
    }
    setTIFFDirectory(tif.get(), dir);
    GtifHandle gtif(GTIFNew(tif.get()));
    if (keys != nullptr) {
        setGeoKeys(gtif.get(), *keys);
    } else {
        setGeoKeysSRORG6630(gtif.get());
    }
    GTIFWriteKeys(gtif.get());
    writeImageScanlineByStripForWhole(tif.get(), pixels.data(), dir.imageLength);
    gtif.reset();
    return closeGeoTiff(tif);
}

std::vector<uint8_t> pattern(size_t size) {
    std::vector<uint8_t> pixels(size);
    for (size_t i = 0; i < size; ++i) {
        pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return pixels;
}

// A little-endian TIFF of one 8-bit strip assembled byte by byte (on a little-endian host), so that
// tags can be left out or given shapes that libtiff would not write itself.
struct RawTag {
    uint16_t tag;
    uint16_t type; // 3 SHORT, 4 LONG, 12 DOUBLE
    uint32_t count;
    std::string bytes;
};

template <typename T> std::string bytesOf(const std::vector<T> &values) {
    return std::string(reinterpret_cast<const char *>(values.data()), values.size() * sizeof(T));
}
RawTag shortTag(uint16_t tag, uint16_t value) { return {tag, 3, 1, bytesOf<uint16_t>({value})}; }
RawTag longTag(uint16_t tag, uint32_t value) { return {tag, 4, 1, bytesOf<uint32_t>({value})}; }
RawTag doublesTag(uint16_t tag, const std::vector<double> &values) {
    return {tag, 12, static_cast<uint32_t>(values.size()), bytesOf(values)};
}

std::string rawTiff(uint32_t width, uint32_t height, std::vector<RawTag> tags) {
    const uint32_t dataSize = width * height;
    tags.push_back(longTag(256, width));
    tags.push_back(longTag(257, height));
    tags.push_back(shortTag(262, 1));
    tags.push_back(longTag(273, 8));
    tags.push_back(longTag(279, dataSize));
    std::sort(tags.begin(), tags.end(),
              [](const RawTag &a, const RawTag &b) { return a.tag < b.tag; });
    std::string file("II*\0\0\0\0\0", 8);
    file += std::string(dataSize, '\x11');
    std::vector<uint32_t> offsets;
    for (const RawTag &t : tags) {
        file.resize((file.size() + 7) / 8 * 8, '\0');
        offsets.push_back(static_cast<uint32_t>(file.size()));
        if (t.bytes.size() > 4) {
            file += t.bytes;
        }
    }
    file.resize((file.size() + 1) / 2 * 2, '\0');
    const uint32_t ifd = static_cast<uint32_t>(file.size());
    std::memcpy(&file[4], &ifd, 4);
    file += bytesOf<uint16_t>({static_cast<uint16_t>(tags.size())});
    for (size_t i = 0; i < tags.size(); ++i) {
        const RawTag &t = tags[i];
        file += bytesOf<uint16_t>({t.tag, t.type}) + bytesOf<uint32_t>({t.count});
        std::string value = t.bytes.size() > 4 ? bytesOf<uint32_t>({offsets[i]}) : t.bytes;
        value.resize(4, '\0');
        file += value;
    }
    return file + std::string(4, '\0');
}

// Collects what libtiff reports through TIFFError while it lives.
class TiffErrors {
  public:
    TiffErrors() {
        lines().clear();
        previous_ = TIFFSetErrorHandler(&TiffErrors::collect);
    }
    ~TiffErrors() { TIFFSetErrorHandler(previous_); }
    static std::vector<std::string> &lines() {
        static std::vector<std::string> collected;
        return collected;
    }

  private:
    static void collect(const char *module, const char *format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        lines().push_back(std::string(module ? module : "") + ": " + text);
    }
    TIFFErrorHandler previous_;
};

std::string findOnPath(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "";
}

const char *const kAlbersKeysText =
    "GTModelTypeGeoKey, TYPE_SHORT, 1, 1          \n"
    "GTRasterTypeGeoKey, TYPE_SHORT, 1, 1          \n"
    "GTCitationGeoKey, TYPE_ASCII, 38, SR-ORG:6630 or SR-ORG:6703 ESRI:102003\n"
    "GeographicTypeGeoKey, TYPE_SHORT,  1, 4269       \n"
    "GeogCitationGeoKey, TYPE_ASCII, 9, GCS_NAD83\n"
    "ProjectedCSTypeGeoKey, TYPE_SHORT, 1, 32767      \n"
    "ProjectionGeoKey, TYPE_SHORT, 1, 32767      \n"
    "ProjCoordTransGeoKey, TYPE_SHORT, 1, 11         \n"
    "ProjLinearUnitsGeoKey, TYPE_SHORT, 1, 9001       \n"
    "ProjStdParallel1GeoKey, TYPE_DOUBLE, 1, 29.5             \n"
    "ProjStdParallel2GeoKey, TYPE_DOUBLE, 1, 45.5             \n"
    "ProjNatOriginLongGeoKey, TYPE_DOUBLE, 1, -96              \n"
    "ProjNatOriginLatGeoKey, TYPE_DOUBLE, 1, 23               \n"
    "ProjFalseEastingGeoKey, TYPE_DOUBLE, 1, 0                \n"
    "ProjFalseNorthingGeoKey, TYPE_DOUBLE, 1, 0                \n";

const char *const kNationalDirectoryText = "ImageWidth=36030\n"
                                           "ImageLength=16841\n"
                                           "Compression=5\n"
                                           "Photometric=1\n"
                                           "Planarconfig=1\n"
                                           "BitsPerSample=8\n"
                                           "SamplesPerPixel=1\n"
                                           "SampleFormat=1\n"
                                           "RowsPerStrip=1\n"
                                           "GeoTiePoints:\n"
                                           "0.00000 0.00000 0.00000 -3923692.74695 4132737.27191 "
                                           "0.00000 \n"
                                           "GeoPixScale:\n"
                                           "231.65211 -231.66288 0.00000 \n";

TEST(GtiffPrinted, DirectoryAndKeysPrintExactLines) {
    EXPECT_EQ(printed([](FILE *out) { showGeoKeys(albersKeys(), out); }), kAlbersKeysText);
    EXPECT_EQ(printed([](FILE *out) { showTIFFDirectory(defaultDirectory(36030, 16841), out); }),
              kNationalDirectoryText);
    // Without a stream both go to standard output.
    testing::internal::CaptureStdout();
    showGeoKeys(albersKeys());
    showTIFFDirectory(defaultDirectory(36030, 16841));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(kAlbersKeysText) + kNationalDirectoryText);
}

TEST(GtiffPrinted, UnsignedFieldsAndUnterminatedCitations) {
    GTIFKeys keys = albersKeys();
    keys.modelType = 65535; // printed as a signed short
    std::memset(keys.citation, 'c', kCitationSize);
    const std::string text = printed([&](FILE *out) { showGeoKeys(keys, out); });
    EXPECT_NE(text.find("GTModelTypeGeoKey, TYPE_SHORT, 1, -1         \n"), std::string::npos);
    EXPECT_NE(text.find("GTCitationGeoKey, TYPE_ASCII, 1024, " + std::string(1024, 'c') + "\n"),
              std::string::npos);

    GTIFKeys copy;
    copyGeoKeys(copy, keys);
    EXPECT_EQ(std::string(copy.citation), std::string(1023, 'c'));
    EXPECT_STREQ(copy.geogCitation, "GCS_NAD83");
    EXPECT_EQ(isProjCompatible(copy, keys), 1);
}

TEST(GtiffRoundTrip, StripedAlbersFileReadsBackThroughEveryReader) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("albers.tif");
    const TIFFDir4StripP written = defaultDirectory(40, 30);
    const std::vector<uint8_t> pixels = pattern(40 * 30);
    ASSERT_TRUE(writeGeoTiff(path, written, nullptr, pixels));

    TiffHandle tif = openGeoTiff(path.c_str(), "r");
    ASSERT_TRUE(tif);
    TIFFDir4StripP dir;
    ASSERT_EQ(getTIFFDirectory(tif.get(), dir), 1);
    EXPECT_EQ(printed([&](FILE *out) { showTIFFDirectory(dir, out); }),
              printed([&](FILE *out) { showTIFFDirectory(written, out); }));
    EXPECT_EQ(std::memcmp(dir.geoTiePoints, written.geoTiePoints, sizeof dir.geoTiePoints), 0);
    EXPECT_EQ(std::memcmp(dir.geoPixScale, written.geoPixScale, sizeof dir.geoPixScale), 0);

    GtifHandle gtif(GTIFNew(tif.get()));
    GTIFKeys keys;
    ASSERT_EQ(getGeoKeys(gtif.get(), keys), 1);
    EXPECT_EQ(printed([&](FILE *out) { showGeoKeys(keys, out); }), kAlbersKeysText);
    EXPECT_EQ(printed([&](FILE *out) { EXPECT_EQ(printBB(gtif.get(), out), 0); }),
              "UL corner coordinates: -3923692.74695, 4132737.27191\nInverse(0.00000,0.00000)\n");

    std::vector<uint8_t> row(40);
    for (uint32_t r = 0; r < 30; ++r) {
        ASSERT_EQ(TIFFReadScanline(tif.get(), row.data(), r, 0), 1);
        ASSERT_EQ(std::memcmp(row.data(), &pixels[r * 40], 40), 0) << "row " << r;
    }
    EXPECT_EQ(testsupport::readByteBand(path), pixels);
}

TEST(GtiffRoundTrip, GdalSeesTheDefaultAlbersSetting) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("albers.tif");
    ASSERT_TRUE(writeGeoTiff(path, defaultDirectory(8, 4), nullptr, pattern(32)));

    GDALAllRegister();
    GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(ds);
    double gt[6] = {};
    ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
    EXPECT_DOUBLE_EQ(gt[0], -3923692.746950168);
    EXPECT_DOUBLE_EQ(gt[3], 4132737.271909759);
    EXPECT_DOUBLE_EQ(gt[1], 231.65211110336315);
    // The stored Y scale is negative; GDAL reads such files as north-up grids all the same.
    EXPECT_DOUBLE_EQ(gt[5], -231.66288347127522);
    const OGRSpatialReference *srs = ds->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_TRUE(srs->IsProjected());
    EXPECT_STREQ(srs->GetAttrValue("PROJECTION"), SRS_PT_ALBERS_CONIC_EQUAL_AREA);
    EXPECT_DOUBLE_EQ(srs->GetNormProjParm(SRS_PP_STANDARD_PARALLEL_1), 29.5);
    EXPECT_DOUBLE_EQ(srs->GetNormProjParm(SRS_PP_STANDARD_PARALLEL_2), 45.5);
    EXPECT_DOUBLE_EQ(srs->GetNormProjParm(SRS_PP_LATITUDE_OF_CENTER), 23.0);
    EXPECT_DOUBLE_EQ(srs->GetNormProjParm(SRS_PP_LONGITUDE_OF_CENTER), -96.0);
    EXPECT_DOUBLE_EQ(srs->GetNormProjParm(SRS_PP_FALSE_EASTING, 1), 0.0);
    EXPECT_DOUBLE_EQ(srs->GetNormProjParm(SRS_PP_FALSE_NORTHING, 1), 0.0);
    EXPECT_DOUBLE_EQ(srs->GetLinearUnits(), 1.0);
    EXPECT_STREQ(srs->GetAuthorityCode("GEOGCS"), "4269");

    OGRSpatialReference conus;
    ASSERT_EQ(conus.importFromEPSG(5070), OGRERR_NONE);
    const char *criteria[] = {"CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
    EXPECT_TRUE(srs->IsSame(&conus, criteria));
}

TEST(GtiffRoundTrip, ListgeoSeesTheDefaultAlbersSetting) {
    const std::string listgeo = findOnPath("listgeo");
    if (listgeo.empty()) {
        GTEST_SKIP() << "listgeo is not installed";
    }
    testsupport::TempDir tmp;
    const std::string path = tmp.file("albers.tif");
    ASSERT_TRUE(writeGeoTiff(path, defaultDirectory(8, 4), nullptr, pattern(32)));
    const testsupport::RunResult result = testsupport::run(listgeo, {path});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char *line : {
             "GTModelTypeGeoKey (Short,1): ModelTypeProjected",
             "GTCitationGeoKey (Ascii,39): \"SR-ORG:6630 or SR-ORG:6703 ESRI:102003\"",
             "GeographicTypeGeoKey (Short,1): GCS_NAD83",
             "ProjCoordTransGeoKey (Short,1): CT_AlbersEqualArea",
             "ProjLinearUnitsGeoKey (Short,1): Linear_Meter",
             "ProjStdParallel1GeoKey (Double,1): 29.5",
             "ProjStdParallel2GeoKey (Double,1): 45.5",
             "ProjNatOriginLongGeoKey (Double,1): -96",
             "ProjNatOriginLatGeoKey (Double,1): 23",
             "Projection Method: CT_AlbersEqualArea",
             "Datum: 6269/North American Datum 1983",
         }) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line << "\n" << result.out;
    }
}

// The fields of a directory record on one line; the strip form adds its RowsPerStrip.
template <typename Dir> std::string fields(const Dir &d) {
    std::ostringstream line;
    line << std::setprecision(12) << d.imageWidth << 'x' << d.imageLength << " c" << d.compression
         << " p" << d.photometric << " pc" << d.planarConfig << " b" << d.bitsPerSample << " s"
         << d.samplesPerPixel << " f" << d.sampleFormat << " tie";
    for (double value : d.geoTiePoints) {
        line << ' ' << value;
    }
    line << " scale";
    for (double value : d.geoPixScale) {
        line << ' ' << value;
    }
    return line.str();
}
std::string fields(const TIFFDir4StripP &d) {
    return fields<TIFFDir4StripP>(d) + " r" + std::to_string(d.rowsPerStrip);
}

TEST(GtiffDirectory, AbsentTagsTakeTheirDefaultsAndExtraValuesStayOut) {
    const struct {
        const char *name;
        std::vector<RawTag> tags;
        const char *expected;
    } cases[] = {
        {"no optional tags",
         {},
         "3x2 c1 p1 pc1 b1 s1 f1 tie -7 -7 -7 -7 -7 -7 scale -7 -7 -7 r4294967295"},
        {"two tie points, four scales",
         {doublesTag(33922, {0, 0, 0, 500, 900, 0, 3, 2, 0, 590, 840, 0}),
          doublesTag(33550, {30, 30, 0, 1})},
         "3x2 c1 p1 pc1 b1 s1 f1 tie 0 0 0 500 900 0 scale 30 30 0 r4294967295"},
        {"short arrays",
         {doublesTag(33922, {4, 5}), doublesTag(33550, {2})},
         "3x2 c1 p1 pc1 b1 s1 f1 tie 4 5 -7 -7 -7 -7 scale 2 -7 -7 r4294967295"},
        {"tags present",
         {shortTag(258, 8), shortTag(259, 32773), longTag(278, 2), shortTag(284, 2),
          shortTag(339, 2)},
         "3x2 c32773 p1 pc2 b8 s1 f2 tie -7 -7 -7 -7 -7 -7 scale -7 -7 -7 r2"},
    };
    testsupport::TempDir tmp;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tmp.file("raw.tif");
        testsupport::writeFile(path, rawTiff(3, 2, c.tags));
        // "c": no strip chopping, which would invent a RowsPerStrip for one uncompressed strip.
        TiffHandle tif = openGeoTiff(path.c_str(), "rc");
        ASSERT_TRUE(tif);
        struct Guarded {
            TIFFDir4StripP dir;
            double guard[16];
        } read;
        read.dir.imageWidth = read.dir.photometric = 99;
        std::fill_n(read.dir.geoTiePoints, 6, -7.0);
        std::fill_n(read.dir.geoPixScale, 3, -7.0);
        std::fill_n(read.guard, 16, 1.5);
        ASSERT_EQ(getTIFFDirectory(tif.get(), read.dir), 1);
        EXPECT_EQ(fields(read.dir), c.expected);
        EXPECT_EQ(std::count(read.guard, read.guard + 16, 1.5), 16);
    }
}

TEST(GtiffDirectory, TiledAndPlainForms) {
    testsupport::TempDir tmp;
    const std::string tiled = tmp.file("tiled.tif");
    {
        TiffHandle tif = openGeoTiff(tiled.c_str(), "w");
        ASSERT_TRUE(tif);
        TIFFDir4StripP dir = defaultDirectory(40, 20);
        dir.compression = 8; // deflate
        setTIFFDirectory(tif.get(), dir);
        TIFFSetField(tif.get(), TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif.get(), TIFFTAG_TILELENGTH, 32);
        std::vector<uint8_t> tile(16 * 32, 9);
        for (uint32_t t = 0; t < TIFFNumberOfTiles(tif.get()); ++t) {
            ASSERT_GT(TIFFWriteEncodedTile(tif.get(), t, tile.data(), tile.size()), 0);
        }
        ASSERT_TRUE(closeGeoTiff(tif));
    }
    const std::string striped = tmp.file("striped.tif");
    ASSERT_TRUE(writeGeoTiff(striped, defaultDirectory(4, 2), nullptr, pattern(8)));
    const struct {
        std::string path;
        std::string common;
        uint32_t tileWidth; // 77: the record's value, kept for a striped file
        uint32_t tileLength;
    } cases[] = {
        {tiled,
         "40x20 c8 p1 pc1 b8 s1 f1 tie 0 0 0 -3923692.74695 4132737.27191 0 scale 231.652111103 "
         "-231.662883471 0",
         16, 32},
        {striped,
         "4x2 c5 p1 pc1 b8 s1 f1 tie 0 0 0 -3923692.74695 4132737.27191 0 scale 231.652111103 "
         "-231.662883471 0",
         77, 77},
        {kCdl, "2312x2223 c5 p3 pc1 b8 s1 f1 tie 0 0 0 -13058363.526 5913056.04271 0 scale 30 30 0",
         128, 128},
    };
    for (const auto &c : cases) {
        if (!testsupport::fileExists(c.path)) {
            continue; // real test data absent
        }
        TiffHandle tif = openGeoTiff(c.path.c_str(), "r");
        ASSERT_TRUE(tif) << c.path;
        TIFFDir4TileP dir;
        dir.tileWidth = dir.tileLength = 77;
        ASSERT_EQ(getTIFFDirectory(tif.get(), dir), 1);
        EXPECT_EQ(fields(dir), c.common);
        EXPECT_EQ(dir.tileWidth, c.tileWidth) << c.path;
        EXPECT_EQ(dir.tileLength, c.tileLength) << c.path;
        TIFFDir4P plain;
        ASSERT_EQ(getTIFFDirectory(tif.get(), plain), 1);
        EXPECT_EQ(fields(plain), c.common);
    }
}

TEST(GtiffKeys, RealFile) {
    if (!testsupport::fileExists(kCdl)) {
        FAIL() << "real test data missing: " << kCdl;
    }
    TiffHandle tif = openGeoTiff(kCdl.c_str(), "r");
    ASSERT_TRUE(tif);
    GtifHandle gtif(GTIFNew(tif.get()));
    GTIFKeys keys;
    ASSERT_EQ(getGeoKeys(gtif.get(), keys), 1);
    EXPECT_EQ(keys.modelType, 1);
    EXPECT_EQ(keys.projectedCSType, 3857);
    EXPECT_EQ(keys.geographicType, 4326);
    EXPECT_EQ(keys.projLinearUnits, 9001);
    EXPECT_STREQ(keys.citation, "PCS Name = WGS 84 / Pseudo-Mercator");
    EXPECT_EQ(std::strlen(keys.geogCitation), 73u);
}

TEST(GtiffKeys, AbsentWrongTypedLongAndFallbackKeys) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("keys.tif");
    const std::string longCitation(1500, 'L');
    {
        TiffHandle tif = openGeoTiff(path.c_str(), "w");
        ASSERT_TRUE(tif);
        setTIFFDirectory(tif.get(), defaultDirectory(2, 2));
        GtifHandle gtif(GTIFNew(tif.get()));
        GTIFKeySet(gtif.get(), GTModelTypeGeoKey, TYPE_DOUBLE, 1, 2.0); // wrong type
        GTIFKeySet(gtif.get(), GTCitationGeoKey, TYPE_ASCII, 0, longCitation.c_str());
        GTIFKeySet(gtif.get(), ProjCenterLongGeoKey, TYPE_DOUBLE, 1, -100.25);
        GTIFKeySet(gtif.get(), ProjLinearUnitsGeoKey, TYPE_SHORT, 1, 9002);
        GTIFWriteKeys(gtif.get());
        writeBlankImageByStrip(tif.get(), 2, 2);
        gtif.reset();
        ASSERT_TRUE(closeGeoTiff(tif));
    }
    TiffHandle tif = openGeoTiff(path.c_str(), "r");
    GtifHandle gtif(GTIFNew(tif.get()));
    int size = 0;
    tagtype_t type = TYPE_UNKNOWN;
    ASSERT_EQ(GTIFKeyInfo(gtif.get(), GTModelTypeGeoKey, &size, &type), 1);
    ASSERT_EQ(type, TYPE_DOUBLE);
    GTIFKeys keys = albersKeys();
    keys.modelType = 42;
    ASSERT_EQ(getGeoKeys(gtif.get(), keys), 1);
    EXPECT_EQ(keys.modelType, 42);
    EXPECT_EQ(std::string(keys.citation), std::string(1022, 'L'));
    EXPECT_DOUBLE_EQ(keys.projNatOriginLong, -100.25);
    EXPECT_EQ(keys.projLinearUnits, 9002);
    // Keys absent from the file keep the record's values.
    EXPECT_STREQ(keys.geogCitation, "GCS_NAD83");
    EXPECT_EQ(keys.geographicType, 4269);
    EXPECT_DOUBLE_EQ(keys.projStdParallel2, 45.5);
}

TEST(GtiffKeys, GeographicExampleReadsBack) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("geog.tif");
    {
        TiffHandle tif = openGeoTiff(path.c_str(), "w");
        TIFFDir4StripP dir = defaultDirectory(4, 4);
        dir.geoTiePoints[3] = 10;
        dir.geoTiePoints[4] = 50;
        dir.geoPixScale[0] = 0.5;
        dir.geoPixScale[1] = 0.5;
        setTIFFDirectory(tif.get(), dir);
        GtifHandle gtif(GTIFNew(tif.get()));
        setGeoKeysExampleGeog1(gtif.get());
        GTIFWriteKeys(gtif.get());
        writeBlankImageByStrip(tif.get(), 4, 4);
        gtif.reset();
        ASSERT_TRUE(closeGeoTiff(tif));
    }
    GDALAllRegister();
    GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(ds);
    const OGRSpatialReference *srs = ds->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_TRUE(srs->IsGeographic());
    EXPECT_DOUBLE_EQ(srs->GetSemiMajor(), 6377298.556);
    EXPECT_NEAR(srs->GetInvFlattening(), 300.8017, 1e-9);
    EXPECT_EQ(testsupport::readByteBand(path), std::vector<uint8_t>(16, 0));

    TiffHandle tif = openGeoTiff(path.c_str(), "r");
    GtifHandle gtif(GTIFNew(tif.get()));
    GTIFKeys keys;
    getGeoKeys(gtif.get(), keys);
    EXPECT_EQ(keys.modelType, 2);
    EXPECT_STREQ(keys.citation, "Just An Example");
    EXPECT_STREQ(keys.geogCitation, "Everest Ellipsoid Used.");
    EXPECT_EQ(keys.geographicType, 32767);
}

TEST(GtiffWriters, RowsAreWholeAndCallerDataIsUntouched) {
    testsupport::TempDir tmp;
    // A big-endian 16-bit file makes libtiff swap each row before it is written.
    const std::string path = tmp.file("be16.tif");
    std::vector<uint16_t> image(6 * 3);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint16_t>(0x0102 + i * 0x0101);
    }
    const std::vector<uint16_t> original = image;
    {
        TiffHandle tif = openGeoTiff(path.c_str(), "wb");
        TIFFDir4StripP dir = defaultDirectory(6, 3);
        dir.bitsPerSample = 16;
        dir.compression = 1;
        setTIFFDirectory(tif.get(), dir);
        writeImageScanlineByStripForWhole(tif.get(), image.data(), 3);
        ASSERT_TRUE(closeGeoTiff(tif));
    }
    EXPECT_EQ(image, original);
    TiffHandle tif = openGeoTiff(path.c_str(), "r");
    std::vector<uint16_t> row(6);
    for (uint32_t r = 0; r < 3; ++r) {
        ASSERT_EQ(TIFFReadScanline(tif.get(), row.data(), r, 0), 1);
        EXPECT_TRUE(std::equal(row.begin(), row.end(), original.begin() + r * 6)) << "row " << r;
    }

    // A row length shorter than the scanline still writes whole rows of zeros.
    const std::string blank = tmp.file("blank.tif");
    TiffHandle out = openGeoTiff(blank.c_str(), "w");
    setTIFFDirectory(out.get(), defaultDirectory(50, 3));
    writeBlankImageByStrip(out.get(), 1, 3);
    ASSERT_TRUE(closeGeoTiff(out));
    EXPECT_EQ(testsupport::readByteBand(blank), std::vector<uint8_t>(150, 0));
}

TEST(GtiffWriters, FailedRowsAreReportedAndTheRestFollow) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("ro.tif");
    ASSERT_TRUE(writeGeoTiff(path, defaultDirectory(4, 3), nullptr, pattern(12)));
    TiffHandle tif = openGeoTiff(path.c_str(), "r");
    ASSERT_TRUE(tif);
    const std::vector<uint8_t> pixels = pattern(12);
    for (int form = 0; form < 2; ++form) {
        TiffErrors errors;
        if (form == 0) {
            writeBlankImageByStrip(tif.get(), 4, 3);
        } else {
            writeImageScanlineByStripForWhole(tif.get(), pixels.data(), 3);
        }
        EXPECT_EQ(std::count(errors.lines().begin(), errors.lines().end(),
                             "WriteImage: failure in WriteScanline\n"),
                  3)
            << "form " << form;
    }
}

TEST(GtiffExtents, ProjCompatibility) {
    struct Case {
        const char *name;
        void (*change)(GTIFKeys &);
        int expected;
    };
    const Case cases[] = {
        {"same", [](GTIFKeys &) {}, 1},
        {"citation", [](GTIFKeys &k) { std::strcpy(k.citation, "other"); }, 1},
        {"geog citation", [](GTIFKeys &k) { k.geogCitation[0] = '\0'; }, 1},
        {"projected CS type", [](GTIFKeys &k) { k.projectedCSType = 5070; }, 1},
        {"projection code", [](GTIFKeys &k) { k.projection = 16001; }, 1},
        {"parallel within 1e-13", [](GTIFKeys &k) { k.projStdParallel1 += 1e-14; }, 1},
        {"linear units", [](GTIFKeys &k) { k.projLinearUnits = 9002; }, 0},
        {"model type", [](GTIFKeys &k) { k.modelType = 2; }, 0},
        {"raster type", [](GTIFKeys &k) { k.rasterType = 2; }, 0},
        {"geographic type", [](GTIFKeys &k) { k.geographicType = 4326; }, 0},
        {"coordinate transformation", [](GTIFKeys &k) { k.projCoordTrans = 1; }, 0},
        {"parallel 1", [](GTIFKeys &k) { k.projStdParallel1 += 1e-12; }, 0},
        {"parallel 2", [](GTIFKeys &k) { k.projStdParallel2 = 45.0; }, 0},
        {"origin longitude", [](GTIFKeys &k) { k.projNatOriginLong = -96.5; }, 0},
        {"origin latitude", [](GTIFKeys &k) { k.projNatOriginLat = 0; }, 0},
        {"false easting", [](GTIFKeys &k) { k.projFalseEasting = 1; }, 0},
        {"false northing", [](GTIFKeys &k) { k.projFalseNorthing = -1; }, 0},
        {"undefined origin", [](GTIFKeys &k) { k.projNatOriginLat = std::nan(""); }, 0},
    };
    for (const Case &c : cases) {
        GTIFKeys changed = albersKeys();
        c.change(changed);
        EXPECT_EQ(isProjCompatible(albersKeys(), changed), c.expected) << c.name;
        EXPECT_EQ(isProjCompatible(changed, albersKeys()), c.expected) << c.name;
    }
}

TEST(GtiffExtents, RectangleOverlapAndRatio) {
    struct Case {
        double r[8];
        double overlap;
        double ratio;
    };
    const Case cases[] = {
        {{0, 0, 10, 10, 5, 5, 20, 20}, 25, 0.25},
        {{5, 5, 20, 20, 0, 0, 10, 10}, 25, 25.0 / 225},
        {{0, 0, 10, 10, 10, 0, 20, 10}, 0, 0},    // touching
        {{0, 0, 10, 10, 10.5, 0, 20, 10}, 0, 0},  // apart in x
        {{0, 0, 10, 10, 0, -8, 10, -0.1}, 0, 0},  // apart in y
        {{0, 0, 10, 10, -5, -5, 30, 30}, 100, 1}, // inside rectangle 2
        {{2, 3, 4, 7, 0, 0, 10, 10}, 8, 1},
        {{0, 0, 10, 10, 2, 3, 4, 7}, 8, 0.08},
        {{3, 3, 3, 3, 0, 0, 10, 10}, 0, 0}, // rectangle 1 without area
        {{3, 3, 3, 8, 0, 0, 10, 10}, 0, 0},
        {{0, 0, 1e-7, 1e-7, 0, 0, 1, 1}, 1e-14, 1e-14}, // too small to divide by
    };
    for (const Case &c : cases) {
        const double *r = c.r;
        EXPECT_DOUBLE_EQ(getRectangleOverlap(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]),
                         c.overlap);
        EXPECT_DOUBLE_EQ(getRectangleOverlapRatio(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]),
                         c.ratio);
    }
}

TEST(GtiffExtents, MaxDoubleIndex) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::vector<double> values;
        int64_t expected;
    };
    const Case cases[] = {
        {{3, 7, 7, 1}, 1},
        {{}, -1},
        {{5}, 0},
        {{-1e308}, -1},
        {{-1e308, -5}, 1},
        {{-inf, -inf}, -1},
        {{std::nan(""), 2}, 1},
        {{1, 2, inf, 3}, 2},
        {{-3, -2, -9}, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(maxDoubleIndex(c.values.data(), c.values.size()), c.expected);
    }
    EXPECT_EQ(maxDoubleIndex(nullptr, 4), -1);
}

TEST(GtiffExtents, BoundingBoxOfRealFiles) {
    if (!testsupport::fileExists(kCdl)) {
        FAIL() << "real test data missing: " << kCdl;
    }
    TiffHandle big = openGeoTiff(kCdl.c_str(), "r");
    ASSERT_TRUE(big);
    TIFFDir4TileP bigDir;
    getTIFFDirectory(big.get(), bigDir);
    GtifHandle bigGtif(GTIFNew(big.get()));
    GTIFKeys bigKeys;
    getGeoKeys(bigGtif.get(), bigKeys);
    EXPECT_EQ(isBoundingBox1Contains2(bigGtif.get(), bigKeys, bigDir.imageWidth, bigDir.imageLength,
                                      bigGtif.get(), bigKeys, bigDir.imageWidth,
                                      bigDir.imageLength),
              1);

    struct Case {
        const char *name;
        double column; // upper-left corner of the window, in pixels of the real file
        double row;
        uint32_t width;
        uint32_t height;
        int expected;
    };
    const Case cases[] = {
        {"window inside", 100, 200, 50, 40, 1},
        {"whole file", 0, 0, 2312, 2223, 1},
        {"a part pixel to the left", -0.4, 0, 10, 10, 1},
        {"a pixel to the left", -1, 0, 10, 10, 0},
        {"above", 10, -3, 10, 10, 0},
        {"past the right edge", 2300, 0, 50, 10, 0},
        {"past the bottom", 0, 2220, 10, 10, 0},
        {"ends on the last column", 2302, 2213, 10, 10, 1},
        {"ends inside the last column", 2302.3, 0, 10, 10, 1},
    };
    testsupport::TempDir tmp;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TIFFDir4StripP dir = defaultDirectory(c.width, c.height);
        dir.compression = 1;
        std::copy_n(bigDir.geoTiePoints, 6, dir.geoTiePoints);
        std::copy_n(bigDir.geoPixScale, 3, dir.geoPixScale);
        dir.geoTiePoints[3] += c.column * bigDir.geoPixScale[0];
        dir.geoTiePoints[4] -= c.row * bigDir.geoPixScale[1];
        const std::string path = tmp.file("window.tif");
        ASSERT_TRUE(writeGeoTiff(path, dir, &bigKeys, std::vector<uint8_t>(c.width * c.height)));
        TiffHandle small = openGeoTiff(path.c_str(), "r");
        GtifHandle smallGtif(GTIFNew(small.get()));
        EXPECT_EQ(isBoundingBox1Contains2(bigGtif.get(), bigKeys, bigDir.imageWidth,
                                          bigDir.imageLength, smallGtif.get(), bigKeys, c.width,
                                          c.height),
                  c.expected);
        // The real file's keys, written from the record, read back the same.
        GTIFKeys readBack;
        ASSERT_EQ(getGeoKeys(smallGtif.get(), readBack), 1);
        EXPECT_EQ(printed([&](FILE *out) { showGeoKeys(readBack, out); }),
                  printed([&](FILE *out) { showGeoKeys(bigKeys, out); }));
    }
}

TEST(GtiffExtents, UnplacedImagesAreNotContained) {
    testsupport::TempDir tmp;
    const std::string path = tmp.file("raw.tif");
    testsupport::writeFile(path, rawTiff(3, 2, {}));
    TiffHandle tif = openGeoTiff(path.c_str(), "r");
    GtifHandle gtif(GTIFNew(tif.get()));
    ASSERT_TRUE(gtif);
    const std::string placedPath = tmp.file("placed.tif");
    ASSERT_TRUE(writeGeoTiff(placedPath, defaultDirectory(4, 4), nullptr, pattern(16)));
    TiffHandle placed = openGeoTiff(placedPath.c_str(), "r");
    GtifHandle placedGtif(GTIFNew(placed.get()));
    const GTIFKeys keys = albersKeys();
    EXPECT_EQ(isBoundingBox1Contains2(placedGtif.get(), keys, 4, 4, gtif.get(), keys, 1, 1), 0);
    EXPECT_EQ(isBoundingBox1Contains2(gtif.get(), keys, 4, 4, placedGtif.get(), keys, 1, 1), 0);
    EXPECT_EQ(printed([&](FILE *out) { EXPECT_EQ(printBB(gtif.get(), out), -1); }), "");
}

TEST(GtiffFiles, FileExists) {
    testsupport::TempDir tmp;
    const std::string present = tmp.file("present.txt");
    testsupport::writeFile(present, "x");
    EXPECT_EQ(FileExists(present.c_str()), 1);
    EXPECT_EQ(FileExists(tmp.file("absent.txt").c_str()), 0);
    EXPECT_EQ(FileExists(nullptr), 0);
    if (geteuid() != 0) { // the superuser reads everything
        const std::string locked = tmp.file("locked.txt");
        testsupport::writeFile(locked, "x");
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        EXPECT_EQ(FileExists(locked.c_str()), 0);
    }
}

} // namespace
