// The grid module: product tables, the 8-bit mapping, checked reads, the geometry copy, attributes
// and outputs that only appear when complete. Files are built and read back with the test support
// writer, which uses the library calls directly.
#include "gridio.h"
#include "memorycheck.h"
#include "productio.h"
#include "products.h"

#include "support/hdfeos.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

using namespace veg::grid;
using testsupport::EosGridSpec;
using testsupport::TempDir;

uint32_t floatBits(const Attribute &a) {
    uint32_t bits = 0;
    EXPECT_EQ(a.bytes.size(), 4u);
    std::memcpy(&bits, a.bytes.data(), 4);
    return bits;
}

const Attribute &attributeOf(const FieldLayout &f, const std::string &name) {
    for (const Attribute &a : f.attributes) {
        if (a.name == name) {
            return a;
        }
    }
    throw std::runtime_error("no attribute " + name);
}

std::vector<std::string> namesOf(const std::vector<Attribute> &attributes) {
    std::vector<std::string> names;
    for (const Attribute &a : attributes) {
        names.push_back(a.name);
    }
    return names;
}

TEST(Ndvi8Mapping, ValidValuesAndSentinels) {
    struct Case {
        int16_t n;
        int expected;
    };
    const Case cases[] = {
        {-10000, 0},   {-9999, 0},   {-1, 124},     {0, 125},     {1, 125},
        {80, 126},     {79, 125},    {9999, 249},   {10000, 250}, {-28672, 254},
        {-28673, 255}, {10001, 254}, {-10001, 254}, {32767, 254}, {-32768, 254},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ndvi8FromNdvi16(c.n), c.expected) << "n = " << c.n;
    }
}

TEST(CellCount, OverflowAndNegativeSizesAreRefused) {
    struct Case {
        int64_t a, b;
        size_t element;
        bool ok;
        size_t expected;
    };
    const Case cases[] = {
        {4800, 4800, 2, true, 46080000},
        {0, 99, 8, true, 0},
        {-1, 5, 1, false, 0},
        {5, -1, 1, false, 0},
        {int64_t(1) << 32, int64_t(1) << 32, 1, false, 0},
        {int64_t(1) << 31, int64_t(1) << 31, 4, false, 0},
        {int64_t(1) << 31, int64_t(1) << 31, 2, true, size_t(1) << 63},
    };
    for (const Case &c : cases) {
        const std::optional<size_t> got = checkedCellCount(c.a, c.b, c.element);
        EXPECT_EQ(got.has_value(), c.ok) << c.a << " x " << c.b << " x " << c.element;
        if (got && c.ok) {
            EXPECT_EQ(*got, c.expected);
        }
    }
}

// The memory wall: what fits, what does not, and where the available figure comes from.
TEST(MemoryCheck, FitsOrNamesTheShortfall) {
    struct Case {
        uint64_t needed;
        std::optional<uint64_t> available;
        bool fits;
    };
    const Case cases[] = {
        {100, 100, true},
        {101, 100, false},
        {0, 0, true},
        {130000000000, std::nullopt, true},
        {130000000000, 2000000000, false},
    };
    for (const Case &c : cases) {
        const std::optional<MemoryShortfall> got = checkMemory(c.needed, c.available);
        EXPECT_EQ(!got, c.fits) << c.needed;
        if (got) {
            EXPECT_EQ(got->needed, c.needed);
            EXPECT_EQ(got->available, *c.available);
        }
    }
    EXPECT_EQ(memoryShortfallMessage("x.hdf", 100000, 100000, {130000000000, 2000000000}),
              "grid of x.hdf (100000 x 100000) needs 130000000000 bytes of memory; 2000000000 "
              "are available.\n");

    const std::pair<const char *, std::optional<uint64_t>> meminfo[] = {
        {"MemTotal:       24000000 kB\nMemAvailable:    2000000 kB\n", 2048000000},
        {"MemTotal:       24000000 kB\n", std::nullopt},
        {"MemAvailable:   lots kB\n", std::nullopt},
        {"MemAvailable:   99999999999999999999 kB\n", std::nullopt},
    };
    for (const auto &m : meminfo) {
        EXPECT_EQ(memAvailableFromMeminfo(m.first), m.second) << m.first;
    }
    EXPECT_EQ(availableMemory("12345"), 12345u);
    EXPECT_EQ(availableMemory("12x").has_value(), availableMemory(nullptr).has_value());
}

// Which size limit a failed write ran into: the file with the field being written within a
// megabyte (an eighth of a small limit) of HDF4's 2 GiB or of a lower process limit.
TEST(FileLimits, FailedWritesNearALimit) {
    constexpr uint64_t kHdf4 = kHdf4FileLimit;
    struct Case {
        WriteResult result;
        std::optional<uint64_t> processLimit;
        std::optional<uint64_t> limit; // nothing: no limit reached
        bool ofFormat;
    };
    const Case cases[] = {
        {{WriteStep::None, 0, kHdf4, 0}, std::nullopt, std::nullopt, true},
        {{WriteStep::Create, 0, kHdf4, 0}, std::nullopt, std::nullopt, true},
        {{WriteStep::Field, 0, 35212, 2312000000}, std::nullopt, kHdf4, true},
        {{WriteStep::Commit, 0, 2400035523, 0}, std::nullopt, kHdf4, true},
        {{WriteStep::Field, 1, kHdf4 - (1 << 20), 0}, std::nullopt, kHdf4, true},
        {{WriteStep::Field, 1, kHdf4 - (1 << 20) - 1, 0}, std::nullopt, std::nullopt, true},
        {{WriteStep::Field, 1, 1000000, 2000000}, std::nullopt, std::nullopt, true},
        {{WriteStep::Attributes, 0, 65536, 0}, 65536, 65536, false},
        {{WriteStep::Field, 0, 50000, 0}, 65536, std::nullopt, false},
        {{WriteStep::Field, 0, 35212, 2312000000}, uint64_t{1} << 40, kHdf4, true},
        {{WriteStep::Field, 0, UINT64_MAX - 1, UINT64_MAX - 1}, std::nullopt, kHdf4, true},
    };
    for (const Case &c : cases) {
        const std::optional<FileLimit> got = limitReached(c.result, c.processLimit);
        SCOPED_TRACE(std::to_string(c.result.fileBytes) + " + " +
                     std::to_string(c.result.pendingBytes));
        ASSERT_EQ(got.has_value(), c.limit.has_value());
        if (got) {
            EXPECT_EQ(got->bytes, *c.limit);
            EXPECT_EQ(got->ofFormat, c.ofFormat);
        }
    }
    EXPECT_EQ(fileLimitAdvice({WriteStep::Commit, 0, 2400035523, 0}, "vci.hdf", std::nullopt),
              "vci.hdf reached the size limit of an HDF4 file (2 GiB, 2147483647 bytes); cut the "
              "area into smaller regions and run each on its own.\n");
    EXPECT_EQ(fileLimitAdvice({WriteStep::Field, 0, 50000, 0}, "vci.hdf", std::nullopt), "");
}

TEST(ProductLayouts, FieldsInOrderWithTypesAndCompression) {
    struct Case {
        ProductKind kind;
        Compression compression;
        std::vector<std::pair<std::string, int32_t>> fields;
    };
    const Case cases[] = {
        {ProductKind::DailyNdvi,
         Compression::Deflate9,
         {{"num_observations", 20},
          {"sur_refl_b01_1", 22},
          {"sur_refl_b02_1", 22},
          {"QC_250m_1", 23},
          {"obscov_1", 20},
          {"iobs_res_1", 21},
          {"orbit_pnt_1", 20},
          {"granule_pnt_1", 21},
          {"sur_ndvi_b02_b01", 22},
          {"sur_ndvi_b02_b01_8bit", 21}}},
        {ProductKind::Composite,
         Compression::Deflate9,
         {{"sur_ndvi_b02_b01", 22}, {"sur_ndvi_b02_b01_8bit", 21}, {"sur_ndvi_b02_b01_qc", 21}}},
        {ProductKind::Extremes,
         Compression::Deflate9,
         {{"ndvi_min", 22}, {"ndvi_max", 22}, {"ndvi_min2", 22}, {"ndvi_min3", 22}}},
        {ProductKind::Vci,
         Compression::Deflate9,
         {{"sur_vci_b02_b01", 22}, {"sur_vci_b02_b01_8bit", 21}}},
        {ProductKind::Mask, Compression::None, {{"sur_ndvi_b02_b01", 21}}},
        {ProductKind::DailyCondition, Compression::None, {{"sur_ndvi_b02_b01", 21}}},
    };
    for (const Case &c : cases) {
        const ProductLayout &p = productLayout(c.kind);
        EXPECT_EQ(p.kind, c.kind);
        EXPECT_EQ(p.compression, c.compression);
        ASSERT_EQ(p.fields.size(), c.fields.size());
        for (size_t i = 0; i < c.fields.size(); ++i) {
            EXPECT_EQ(p.fields[i].name, c.fields[i].first);
            EXPECT_EQ(p.fields[i].numberType, c.fields[i].second) << c.fields[i].first;
        }
    }
    // Only the eight carried fields of the daily grid take their attributes from a tile.
    const ProductLayout &daily = productLayout(ProductKind::DailyNdvi);
    for (size_t i = 0; i < daily.fields.size(); ++i) {
        EXPECT_EQ(daily.fields[i].copiesInputAttributes, i < 8) << daily.fields[i].name;
    }
}

TEST(ProductLayouts, AttributeNamesInOrder) {
    using Names = std::vector<std::string>;
    const ProductLayout &daily = productLayout(ProductKind::DailyNdvi);
    const ProductLayout &composite = productLayout(ProductKind::Composite);
    const Names dailyNames{"long_name", "valid_range", "_FillValue", "units",
                           "scale",     "offset",      "true_value"};
    const Names compositeNames{"long_name", "valid_range", "_NodataFillValue", "_FillValue",
                               "units",     "scale",       "offset",           "true_value"};
    struct Case {
        const FieldLayout *field;
        Names names;
    };
    const Case cases[] = {
        {&daily.fields[8], dailyNames},
        {&daily.fields[9], dailyNames},
        {&composite.fields[0], compositeNames},
        {&composite.fields[1], compositeNames},
        {&composite.fields[2], {"long_name", "valid_range", "_NodataFillValue", "_FillValue"}},
        {&productLayout(ProductKind::Mask).fields[0],
         {"long_name", "valid_range", "_FillValue", "Units", "scale", "offset", "true_value"}},
        {&productLayout(ProductKind::DailyCondition).fields[0],
         {"valid_range", "_Fillvalue", "_BadQuality", "Units", "scale", "offset", "true_value"}},
        {&productLayout(ProductKind::Vci).fields[0], {}},
        {&productLayout(ProductKind::Extremes).fields[3], {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(namesOf(c.field->attributes), c.names) << c.field->name;
    }
}

TEST(ProductLayouts, AttributeValuesKeepExactBytes) {
    const ProductLayout &daily = productLayout(ProductKind::DailyNdvi);
    const ProductLayout &composite = productLayout(ProductKind::Composite);
    const FieldLayout &mask = productLayout(ProductKind::Mask).fields[0];
    const FieldLayout &condition = productLayout(ProductKind::DailyCondition).fields[0];
    struct Case {
        const FieldLayout *field;
        std::string attribute;
        int32_t type;
        int32_t count;
        std::vector<uint8_t> bytes;
    };
    auto textBytes = [](const std::string &s, size_t n) {
        std::vector<uint8_t> b(n, 0);
        std::memcpy(b.data(), s.data(), std::min(n, s.size()));
        return b;
    };
    auto i16 = [](std::vector<int16_t> v) { return testsupport::toBytes(v); };
    const std::string trueValue = " field_value * scale + offset";
    const Case cases[] = {
        {&daily.fields[8], "long_name", 4, 19, textBytes("Daily NDVI at 250 m", 19)},
        {&daily.fields[9], "long_name", 4, 27, textBytes("Daily NDVI at 250 m - 8bits", 27)},
        {&daily.fields[8], "units", 4, 8, textBytes("NoUnits", 8)},
        {&daily.fields[9], "true_value", 4, 30, textBytes(trueValue, 30)},
        {&daily.fields[8], "valid_range", 22, 2, i16({-10000, 10000})},
        {&daily.fields[8], "_FillValue", 22, 1, i16({-28673})},
        {&daily.fields[9], "valid_range", 21, 2, {0, 250}},
        {&daily.fields[9], "_FillValue", 21, 1, {255}},
        {&composite.fields[0], "_NodataFillValue", 22, 1, i16({-28672})},
        {&composite.fields[1], "_NodataFillValue", 21, 1, {254}},
        {&composite.fields[2], "long_name", 4, 55,
         textBytes("Quality Layer for NDVI Maximum Value Composite at 250 m", 55)},
        {&mask, "long_name", 4, 4, textBytes("Mask", 4)},
        {&mask, "valid_range", 21, 2, {0, 254}},
        {&mask, "_FillValue", 21, 1, {0}},
        {&mask, "Units", 4, 8, textBytes("NoUnits", 8)},
        {&condition, "_Fillvalue", 21, 1, {255}},
        {&condition, "_BadQuality", 21, 1, {253}},
    };
    for (const Case &c : cases) {
        const Attribute &a = attributeOf(*c.field, c.attribute);
        EXPECT_EQ(a.numberType, c.type) << c.field->name << " " << c.attribute;
        EXPECT_EQ(a.count, c.count) << c.field->name << " " << c.attribute;
        EXPECT_EQ(a.bytes, c.bytes) << c.field->name << " " << c.attribute;
    }
    struct FloatCase {
        const FieldLayout *field;
        std::string attribute;
        uint32_t bits;
    };
    const FloatCase floats[] = {
        {&daily.fields[8], "scale", 0x38D1B717u}, {&daily.fields[8], "offset", 0u},
        {&daily.fields[9], "offset", 0u},         {&composite.fields[1], "offset", 0xBF800000u},
        {&composite.fields[0], "offset", 0u},     {&mask, "scale", 0x42FE0000u},
        {&mask, "offset", 0x42FE0000u},           {&condition, "scale", 0x3B83126Fu},
    };
    for (const FloatCase &c : floats) {
        const Attribute &a = attributeOf(*c.field, c.attribute);
        EXPECT_EQ(a.numberType, 5);
        EXPECT_EQ(floatBits(a), c.bits) << c.field->name << " " << c.attribute;
    }
}

TEST(ProductLayouts, CompositeTakesTheUsersFieldNames) {
    const ProductLayout p = compositeLayout("a16", "b8", "q");
    ASSERT_EQ(p.fields.size(), 3u);
    EXPECT_EQ(p.fields[0].name, "a16");
    EXPECT_EQ(p.fields[1].name, "b8");
    EXPECT_EQ(p.fields[2].name, "q");
    EXPECT_EQ(p.fields[2].attributes, productLayout(ProductKind::Composite).fields[2].attributes);
    EXPECT_NE(p.field("b8"), nullptr);
    EXPECT_EQ(p.field("sur_ndvi_b02_b01"), nullptr);
}

// A 4 x 3 input grid with fields of several types and dimension orders.
EosGridSpec sampleGrid() {
    EosGridSpec g = testsupport::sinusoidalGrid(4, 3);
    std::vector<int16_t> ndvi(12);
    for (int i = 0; i < 12; ++i) {
        ndvi[i] = static_cast<int16_t>(i * 100 - 500);
    }
    g.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosInt16, ndvi));
    g.fields.push_back(
        testsupport::eosField("bytes", testsupport::kEosUInt8, std::vector<uint8_t>(12, 7)));
    testsupport::EosField swapped =
        testsupport::eosField("swapped", testsupport::kEosInt16, std::vector<int16_t>(12, 3));
    swapped.dimList = "XDim,YDim";
    g.fields.push_back(swapped);
    g.fields.push_back(
        testsupport::eosField("wide", testsupport::kEosInt32, std::vector<int32_t>(12, -5)));
    return g;
}

TEST(GridReader, OpenFailsOnMissingFileWrongGridOrForeignFile) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    testsupport::writeFile(dir.file("text.hdf"), "not an HDF file\n");
    struct Case {
        std::string path;
        std::string grid;
        bool ok;
    };
    const Case cases[] = {
        {dir.file("in.hdf"), "MODIS_Grid_2D", true},
        {dir.file("in.hdf"), "Other_Grid", false},
        {dir.file("missing.hdf"), "MODIS_Grid_2D", false},
        {dir.file("text.hdf"), "MODIS_Grid_2D", false},
        {dir.path(), "MODIS_Grid_2D", false},
    };
    for (const Case &c : cases) {
        GridReader r;
        EXPECT_EQ(r.open(c.path, c.grid), c.ok) << c.path << " " << c.grid;
        EXPECT_EQ(r.file().isOpen(), c.ok);
        EXPECT_EQ(r.grid().isAttached(), c.ok);
    }
}

TEST(GridReader, ReadsOnlyIntoBuffersOfTheFieldsTypeAndSize) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    GridReader r;
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));
    EXPECT_EQ(r.geometry().columns, 4);
    EXPECT_EQ(r.geometry().rows, 3);
    const Edge rc = rowsColumns(r.geometry());

    std::vector<int16_t> i16(13, 42);
    std::vector<uint8_t> u8(13, 42);
    std::vector<int32_t> i32(12, 42);
    struct Case {
        const char *what;
        bool expected;
        bool got;
    };
    const Case cases[] = {
        {"int16 field into int16 buffer", true,
         r.readField("sur_ndvi_b02_b01", rc, i16.data(), 12)},
        {"int16 field into uint8 buffer", false,
         r.readField("sur_ndvi_b02_b01", rc, u8.data(), 12)},
        {"uint8 field into int16 buffer", false, r.readField("bytes", rc, i16.data(), 12)},
        {"uint8 field into uint8 buffer", true, r.readField("bytes", rc, u8.data(), 12)},
        {"int32 field", true, r.readField("wide", rc, i32.data(), 12)},
        {"buffer one cell short", false, r.readField("sur_ndvi_b02_b01", rc, i16.data(), 11)},
        {"edge of another size", false,
         r.readField("sur_ndvi_b02_b01", Edge{2, 4}, i16.data(), 13)},
        {"XDim,YDim field with (rows, columns)", false, r.readField("swapped", rc, i16.data(), 12)},
        {"XDim,YDim field with (columns, rows)", true,
         r.readField("swapped", Edge{4, 3}, i16.data(), 12)},
        {"missing field", false, r.readField("nothing", rc, i16.data(), 12)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.what;
    }
    // Cell (row 2, column 1) is element 9, and nothing was written past the field.
    ASSERT_TRUE(r.readField("sur_ndvi_b02_b01", rc, i16.data(), 13));
    EXPECT_EQ(i16[9], 400);
    EXPECT_EQ(i16[12], 42);
    EXPECT_EQ(u8[12], 42);

    const std::optional<FieldInfo> info = r.fieldInfo("swapped");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dimList, "XDim,YDim");
    EXPECT_EQ(info->dims, (std::vector<int32_t>{4, 3}));
    EXPECT_EQ(info->numberType, kInt16);
}

TEST(GridReader, WindowReadsStayInsideTheField) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    GridReader r;
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));
    struct Case {
        const char *what;
        Edge start;
        Edge edge;
        size_t count;
        bool ok;
        std::vector<int16_t> values;
    };
    // Cell (r, c) of the sample holds (4 r + c) x 100 - 500.
    const Case cases[] = {
        {"middle 2 x 2", {1, 1}, {2, 2}, 4, true, {0, 100, 400, 500}},
        {"last row", {2, 0}, {1, 4}, 4, true, {300, 400, 500, 600}},
        {"whole field", {0, 0}, {3, 4}, 12, true, {}},
        {"one row too many", {2, 0}, {2, 4}, 8, false, {}},
        {"one column too many", {0, 1}, {1, 4}, 4, false, {}},
        {"negative start", {-1, 0}, {1, 1}, 1, false, {}},
        {"empty window", {0, 0}, {0, 4}, 4, false, {}},
        {"buffer too small", {0, 0}, {2, 2}, 3, false, {}},
    };
    for (const Case &c : cases) {
        std::vector<int16_t> buffer(c.count + 1, 42);
        EXPECT_EQ(
            readFieldWindow(r.grid(), "sur_ndvi_b02_b01", c.start, c.edge, buffer.data(), c.count),
            c.ok)
            << c.what;
        if (c.ok && !c.values.empty()) {
            EXPECT_EQ(std::vector<int16_t>(buffer.begin(), buffer.begin() + c.values.size()),
                      c.values)
                << c.what;
        }
        EXPECT_EQ(buffer.back(), 42) << c.what;
    }
    std::vector<uint8_t> bytes(4);
    EXPECT_FALSE(readFieldWindow(r.grid(), "sur_ndvi_b02_b01", Edge{0, 0}, Edge{2, 2}, bytes.data(),
                                 bytes.size()));
}

TEST(GridWriter, CopiesGeometryAndDimensionListAndCompression) {
    TempDir dir;
    EosGridSpec in = sampleGrid();
    in.zoneCode = 7;
    in.originCode = 3;
    in.projectionParameters[4] = 1.25;
    testsupport::writeEosFile(dir.file("in.hdf"), in);

    GridReader r;
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));
    const std::optional<FieldInfo> swapped = r.fieldInfo("swapped");
    ASSERT_TRUE(swapped);

    const std::string out = dir.file("out.hdf");
    GridWriter w;
    ASSERT_TRUE(w.create(out, "MODIS_Grid_2D", r.geometry()));
    const std::vector<int16_t> a{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::vector<uint8_t> b{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 255, 254};
    ASSERT_TRUE(w.defineField("a", swapped->dimList, kInt16, Compression::Deflate9));
    ASSERT_TRUE(w.defineField("b", "YDim,XDim", kUInt8, Compression::None));
    EXPECT_FALSE(w.writeField("a", Edge{4, 3}, a.data(), 11)); // one value short
    ASSERT_TRUE(w.writeField("a", Edge{4, 3}, a.data(), a.size()));
    ASSERT_TRUE(w.writeField("b", rowsColumns(r.geometry()), b.data(), b.size()));
    EXPECT_FALSE(testsupport::fileExists(out)); // nothing under the target name before commit
    ASSERT_TRUE(w.commit());
    r.close();

    // Compared with the input as the library reads it back (corners pass through metadata text).
    const testsupport::EosGridRead src = testsupport::readEosGrid(dir.file("in.hdf"));
    const testsupport::EosGridRead got = testsupport::readEosGrid(out);
    EXPECT_EQ(got.columns, 4);
    EXPECT_EQ(got.rows, 3);
    EXPECT_EQ(got.upperLeft, src.upperLeft);
    EXPECT_EQ(got.lowerRight, src.lowerRight);
    EXPECT_NEAR(got.lowerRight[0], in.lowerRight[0], 1e-5);
    EXPECT_NEAR(got.lowerRight[1], in.lowerRight[1], 1e-5);
    EXPECT_EQ(got.projectionCode, 16);
    EXPECT_EQ(got.zoneCode, src.zoneCode);
    EXPECT_EQ(got.sphereCode, -1);
    EXPECT_EQ(got.projectionParameters, src.projectionParameters);
    EXPECT_EQ(got.projectionParameters[0], 6371007.181);
    EXPECT_EQ(got.projectionParameters[4], 1.25);
    EXPECT_EQ(got.originCode, 3);
    EXPECT_EQ(testsupport::geometryDifferences(got, src), "");
    testsupport::EosGridRead moved = src;
    moved.upperLeft[0] += 1e-9;
    moved.originCode = 1;
    EXPECT_EQ(testsupport::geometryDifferences(moved, src),
              "upper-left corner differs\norigin code differs\n");
    EXPECT_EQ(testsupport::readEosGridNames(out), std::vector<std::string>{"MODIS_Grid_2D"});
    ASSERT_EQ(got.fields.size(), 2u);
    EXPECT_EQ(got.fields[0].name, "a");
    EXPECT_EQ(got.fields[0].dimList, "XDim,YDim");
    EXPECT_EQ(got.fields[0].compression, 4);
    EXPECT_EQ(got.fields[0].compressionLevel, 9);
    EXPECT_EQ(testsupport::fromBytes<int16_t>(got.fields[0].data), a);
    EXPECT_EQ(got.fields[1].name, "b");
    EXPECT_EQ(got.fields[1].numberType, kUInt8);
    EXPECT_EQ(got.fields[1].compression, 0);
    EXPECT_EQ(got.fields[1].data, b);
    // No dimension beyond those that creating the grid defines.
    EXPECT_EQ(got.dimNames, src.dimNames);
}

TEST(GridWriter, LayoutFieldsAndAttributesRoundTrip) {
    TempDir dir;
    GridReader r;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));
    const ProductLayout &layout = productLayout(ProductKind::Composite);
    GridWriter w;
    ASSERT_TRUE(w.create(dir.file("c.hdf"), kGridName, r.geometry()));
    ASSERT_TRUE(w.defineFields(layout, "YDim,XDim"));
    const std::vector<int16_t> n(12, 1);
    const std::vector<uint8_t> v(12, 2);
    ASSERT_TRUE(w.writeField(layout.fields[0].name, Edge{3, 4}, n.data(), n.size()));
    ASSERT_TRUE(w.writeField(layout.fields[1].name, Edge{3, 4}, v.data(), v.size()));
    ASSERT_TRUE(w.writeField(layout.fields[2].name, Edge{3, 4}, v.data(), v.size()));
    ASSERT_TRUE(w.writeLayoutAttributes(layout));
    EXPECT_FALSE(w.writeAttributes("no_such_field", {textAttribute("x", "y", 2)}));
    ASSERT_TRUE(w.commit());

    for (const FieldLayout &f : layout.fields) {
        const std::vector<testsupport::EosAttribute> got =
            testsupport::readSdAttributes(dir.file("c.hdf"), f.name);
        ASSERT_EQ(got.size(), f.attributes.size()) << f.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].name, f.attributes[i].name);
            EXPECT_EQ(got[i].numberType, f.attributes[i].numberType);
            EXPECT_EQ(got[i].count, f.attributes[i].count);
            EXPECT_EQ(got[i].bytes, f.attributes[i].bytes) << f.name << " " << got[i].name;
        }
    }
    const testsupport::EosGridRead got = testsupport::readEosGrid(dir.file("c.hdf"));
    ASSERT_EQ(got.fields.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(got.fields[i].name, layout.fields[i].name);
        EXPECT_EQ(got.fields[i].compression, 4);
    }
}

TEST(Attributes, ReadsAtMostTheLimitAndSaysSo) {
    TempDir dir;
    EosGridSpec g = sampleGrid();
    for (int i = 0; i < 40; ++i) {
        g.fields[1].attributes.push_back(testsupport::eosValues(
            "a" + std::to_string(i), testsupport::kEosInt32, std::vector<int32_t>{i, -i}));
    }
    g.fields[0].attributes = {testsupport::eosText("units", "reflectance", 11),
                              testsupport::eosValues("valid_range", testsupport::kEosInt16,
                                                     std::vector<int16_t>{-100, 16000}),
                              testsupport::eosValues("scale_factor", testsupport::kEosFloat64,
                                                     std::vector<double>{10000.0})};
    testsupport::writeEosFile(dir.file("in.hdf"), g);
    GridReader r;
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));

    struct Case {
        std::string field;
        size_t max;
        size_t count;
        bool reachedMax;
    };
    const Case cases[] = {
        {"bytes", 32, 32, true},  {"bytes", 40, 40, true},
        {"bytes", 41, 40, false}, {"sur_ndvi_b02_b01", 32, 3, false},
        {"wide", 32, 0, false},   {"missing", 32, 0, false},
    };
    for (const Case &c : cases) {
        bool reached = !c.reachedMax;
        const std::vector<Attribute> got = r.readAttributes(c.field, c.max, &reached);
        EXPECT_EQ(got.size(), c.count) << c.field << " " << c.max;
        EXPECT_EQ(reached, c.reachedMax) << c.field << " " << c.max;
    }
    const std::vector<Attribute> first = r.readAttributes("sur_ndvi_b02_b01");
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0], textAttribute("units", "reflectance", 11));
    EXPECT_EQ(first[1], int16Attribute("valid_range", {-100, 16000}));
    EXPECT_EQ(first[2].numberType, kFloat64);
    EXPECT_EQ(first[2].bytes, testsupport::toBytes(std::vector<double>{10000.0}));

    // Copied attributes are written back byte for byte, as a tile's are onto the daily grid.
    GridWriter w;
    ASSERT_TRUE(w.create(dir.file("copy.hdf"), kGridName, r.geometry()));
    ASSERT_TRUE(w.defineField("copy", "YDim,XDim", kInt16, Compression::Deflate9));
    const std::vector<int16_t> zeros(12, 0);
    ASSERT_TRUE(w.writeField("copy", Edge{3, 4}, zeros.data(), zeros.size()));
    ASSERT_TRUE(w.writeAttributes("copy", first));
    ASSERT_TRUE(w.commit());
    SdInterface sd;
    ASSERT_TRUE(sd.start(dir.file("copy.hdf")));
    EXPECT_EQ(veg::grid::readAttributes(sd, "copy"), first);
}

TEST(GridWriter, TargetOnlyReplacedWhenComplete) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    GridReader r;
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));
    const std::string target = dir.file("out.hdf");
    testsupport::writeFile(target, "earlier output");

    auto entries = [&] {
        size_t n = 0;
        for (const auto &e : std::filesystem::directory_iterator(dir.path())) {
            (void)e;
            ++n;
        }
        return n;
    };
    {
        GridWriter w; // abandoned by its destructor
        ASSERT_TRUE(w.create(target, kGridName, r.geometry()));
        // Written under its own name in a private folder beside the target.
        const std::filesystem::path temporary(w.temporaryPath());
        EXPECT_TRUE(testsupport::fileExists(w.temporaryPath()));
        EXPECT_EQ(temporary.parent_path().parent_path(), std::filesystem::path(dir.path()));
        EXPECT_EQ(temporary.parent_path().filename().string().rfind(".tmp", 0), 0u);
        EXPECT_EQ(temporary.filename(), "out.hdf");
    }
    EXPECT_EQ(testsupport::readFile(target), "earlier output");
    EXPECT_EQ(entries(), 2u);
    {
        GridWriter w;
        ASSERT_TRUE(w.create(target, kGridName, r.geometry()));
        w.abandon();
        EXPECT_FALSE(w.commit());
    }
    EXPECT_EQ(testsupport::readFile(target), "earlier output");
    EXPECT_EQ(entries(), 2u);

    // A target that is a folder cannot be replaced: commit fails and leaves nothing behind.
    std::filesystem::create_directory(dir.file("folder.hdf"));
    {
        GridWriter w;
        ASSERT_TRUE(w.create(dir.file("folder.hdf"), kGridName, r.geometry()));
        EXPECT_FALSE(w.commit());
    }
    EXPECT_EQ(entries(), 3u);

    GridWriter missing;
    EXPECT_FALSE(missing.create(dir.file("no/such/folder/out.hdf"), kGridName, r.geometry()));
    // A name no folder entry can have is refused at once, not after the whole file was written.
    GridWriter overlong;
    EXPECT_FALSE(overlong.create(dir.file(std::string(300, 'n')), kGridName, r.geometry()));
    EXPECT_EQ(entries(), 3u);

    GridWriter w;
    ASSERT_TRUE(w.create(target, kGridName, r.geometry()));
    ASSERT_TRUE(w.commit());
    EXPECT_EQ(testsupport::readEosGrid(target).columns, 4);
    EXPECT_EQ(entries(), 3u);
}

// The commit's check of a closed file: a file counts only when every element its index lists lies
// inside it, and when it lists any.
TEST(GridWriter, IndexCheckRefusesCutAndEmptyFiles) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    const std::string whole = testsupport::readFile(dir.file("in.hdf"));
    // An HDF4 file whose one block of the index holds 16 empty entries and lists no element.
    std::string noElements("\x0e\x03\x13\x01\x00\x10\x00\x00\x00\x00", 10);
    for (int i = 0; i < 16; ++i) {
        noElements += std::string("\x00\x01\x00\x00", 4) + std::string(8, '\xff');
    }
    const struct {
        const char *what;
        std::string bytes;
        bool complete;
    } cases[] = {
        {"whole", whole, true},
        // HDF4 writes one byte past the last element it lists: two cut bytes cut into the element.
        {"last element short of a byte", whole.substr(0, whole.size() - 2), false},
        {"last 100 bytes cut", whole.substr(0, whole.size() - 100), false},
        {"no elements", noElements, false},
        {"not HDF", "plain text", false},
    };
    for (const auto &c : cases) {
        testsupport::writeFile(dir.file("check.hdf"), c.bytes);
        EXPECT_EQ(holdsEveryElement(dir.file("check.hdf")), c.complete) << c.what;
    }
    EXPECT_FALSE(holdsEveryElement(dir.file("missing.hdf")));
}

// writeProduct names the step that failed, and a field handed over with another number type or
// too few cells is never written: the target keeps what it held.
TEST(WriteProduct, FailedStepsLeaveTheTargetUntouched) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    GridReader r;
    ASSERT_TRUE(r.open(dir.file("in.hdf"), "MODIS_Grid_2D"));
    const std::vector<int16_t> vci16(12, 5000);
    const std::vector<uint8_t> vci8(12, 125);
    struct Case {
        const char *what;
        std::string path;
        std::vector<FieldCells> fields;
        WriteStep failedAt;
        size_t field;
    };
    const Case cases[] = {
        {"written",
         dir.file("out.hdf"),
         {cellsOf(vci16.data(), 12), cellsOf(vci8.data(), 12)},
         WriteStep::None,
         0},
        {"8-bit field given as 16-bit",
         dir.file("out.hdf"),
         {cellsOf(vci16.data(), 12), cellsOf(vci16.data(), 12)},
         WriteStep::Field,
         1},
        {"too few cells", dir.file("out.hdf"), {cellsOf(vci16.data(), 11)}, WriteStep::Field, 0},
        {"one field missing",
         dir.file("out.hdf"),
         {cellsOf(vci16.data(), 12)},
         WriteStep::Field,
         1},
        {"no such folder", dir.file("none/out.hdf"), {}, WriteStep::Create, 0},
    };
    for (const Case &c : cases) {
        testsupport::writeFile(dir.file("out.hdf"), "earlier output");
        const ProductTarget target{c.path,
                                   kGridName,
                                   r.geometry(),
                                   "YDim,XDim",
                                   productLayout(ProductKind::Vci),
                                   rowsColumns(r.geometry())};
        const WriteResult result = writeProduct(target, c.fields);
        EXPECT_EQ(result.failedAt, c.failedAt) << c.what;
        EXPECT_EQ(result.field, c.field) << c.what;
        if (result.ok()) {
            EXPECT_EQ(testsupport::readEosGrid(c.path).columns, 4) << c.what;
        } else {
            EXPECT_EQ(testsupport::readFile(dir.file("out.hdf")), "earlier output") << c.what;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  2)
            << c.what;
    }
}

TEST(Handles, MoveLeavesTheSourceEmpty) {
    TempDir dir;
    testsupport::writeEosFile(dir.file("in.hdf"), sampleGrid());
    EosFile file;
    ASSERT_TRUE(file.open(dir.file("in.hdf"), EosFile::Access::Read));
    EosGrid grid;
    ASSERT_TRUE(grid.attach(file, "MODIS_Grid_2D"));
    EosGrid movedGrid(std::move(grid));
    EXPECT_FALSE(grid.isAttached());
    EXPECT_TRUE(movedGrid.isAttached());
    EXPECT_TRUE(readGeometry(movedGrid).has_value());
    EXPECT_FALSE(readGeometry(grid).has_value());
    EXPECT_TRUE(movedGrid.detach());
    EXPECT_FALSE(movedGrid.detach());
    EosFile movedFile;
    movedFile = std::move(file);
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(movedFile.close());
    EXPECT_FALSE(movedFile.close());
}

} // namespace
