// Whole deflated fields decoded by libdeflate: every field type, dimension order and product kind,
// and every field of the real files, reads to the bytes HDF4's own read gives; the fields that
// must go to HDF4 do, and a damaged stream fails the read.
#include "fieldinflate.h"
#include "gridio.h"
#include "productio.h"
#include "products.h"

#include "support/hdfeos.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

namespace {

using namespace veg::grid;
using testsupport::TempDir;

constexpr int32_t kColumns = 301;
constexpr int32_t kRows = 203;

// Noisy bytes that compress somewhat, as real fields do.
std::vector<uint8_t> noisyBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    uint8_t walk = 0;
    for (uint8_t &b : bytes) {
        walk = static_cast<uint8_t>(walk + random() % 5);
        b = random() % 3 == 0 ? static_cast<uint8_t>(random()) : walk;
    }
    return bytes;
}

struct Counted {
    std::vector<uint8_t> bytes;
    bool read = false;
    uint64_t decoded = 0;
    uint64_t readByHdf = 0;
};

// A whole field through readFieldBytes, with the paths it took.
Counted readCounted(const std::string &path, const std::string &grid, const std::string &field) {
    Counted c;
    GridReader reader;
    if (!reader.open(path, grid)) {
        return c;
    }
    const std::optional<FieldInfo> info = reader.fieldInfo(field);
    if (!info || info->rank != 2) {
        return c;
    }
    const Edge edge{info->dims[0], info->dims[1]};
    c.bytes.resize(*checkedCellCount(edge.first, edge.second, numberTypeSize(info->numberType)));
    const FieldReadCounts before = fieldReadCounts();
    c.read = readFieldBytes(reader.grid(), field, info->numberType, edge, c.bytes.data(),
                            c.bytes.size());
    c.decoded = fieldReadCounts().decoded - before.decoded;
    c.readByHdf = fieldReadCounts().readByHdf - before.readByHdf;
    return c;
}

TEST(FieldInflate, EveryTypeAndOrderReadsAsHdf4Reads) {
    TempDir dir;
    const int32_t types[] = {
        testsupport::kEosChar8,  testsupport::kEosInt8,    testsupport::kEosUInt8,
        testsupport::kEosInt16,  testsupport::kEosUInt16,  testsupport::kEosInt32,
        testsupport::kEosUInt32, testsupport::kEosFloat32, testsupport::kEosFloat64};
    testsupport::EosGridSpec grid = testsupport::sinusoidalGrid(kColumns, kRows);
    unsigned seed = 1;
    for (const int32_t type : types) {
        for (const char *dimList : {"YDim,XDim", "XDim,YDim"}) {
            for (const int level : {8, 0}) {
                testsupport::EosField f;
                f.name = "f" + std::to_string(grid.fields.size());
                f.numberType = type;
                f.dimList = dimList;
                f.deflateLevel = level;
                f.data = noisyBytes(static_cast<size_t>(kColumns) * kRows * numberTypeSize(type),
                                    seed++);
                grid.fields.push_back(f);
            }
        }
    }
    // Defined but never written: HDF4 gives the fill value.
    testsupport::EosField unwritten;
    unwritten.name = "unwritten";
    unwritten.deflateLevel = 9;
    grid.fields.push_back(unwritten);
    // The same field name in a second grid of the file, with other values: HDF-EOS tells the
    // two data sets apart, so the read is left to it.
    testsupport::EosGridSpec second = testsupport::sinusoidalGrid(kColumns, kRows);
    second.name = "Second_Grid";
    second.fields.push_back(grid.fields[12]);
    second.fields.back().data = noisyBytes(grid.fields[12].data.size(), 999);
    const std::string path = dir.file("types.hdf");
    testsupport::writeEosFile(path, {grid, second});

    const testsupport::EosGridRead hdf = testsupport::readEosGrid(path, grid.name);
    for (const testsupport::EosField &f : grid.fields) {
        const Counted c = readCounted(path, grid.name, f.name);
        ASSERT_TRUE(c.read) << f.name;
        EXPECT_EQ(c.bytes, testsupport::eosFieldOf(hdf, f.name).data) << f.name;
        const bool decodable = f.deflateLevel > 0 && !f.data.empty() && f.name != "f12";
        EXPECT_EQ(c.decoded, decodable ? 1u : 0u) << f.name;
        EXPECT_EQ(c.readByHdf, decodable ? 0u : 1u) << f.name;
    }
    const Counted other = readCounted(path, second.name, "f12");
    EXPECT_EQ(other.bytes,
              testsupport::eosFieldOf(testsupport::readEosGrid(path, second.name), "f12").data);

    // Windows of a deflated field are cut from the decoded field: the same bytes as HDF4's.
    GridReader reader;
    ASSERT_TRUE(reader.open(path, grid.name));
    const std::vector<uint8_t> &whole =
        testsupport::eosFieldOf(hdf, "f16").data; // uint16, deflated
    const Edge windows[][2] = {
        {{0, 0}, {kRows, kColumns}}, {{17, 5}, {100, 200}}, {{kRows - 1, kColumns - 1}, {1, 1}}};
    for (const auto &w : windows) {
        std::vector<uint16_t> window(static_cast<size_t>(w[1].first) * w[1].second);
        const uint64_t decoded = fieldReadCounts().decoded;
        ASSERT_TRUE(
            readFieldWindow(reader.grid(), "f16", w[0], w[1], window.data(), window.size()));
        EXPECT_EQ(fieldReadCounts().decoded, decoded + 1);
        for (int32_t r = 0; r < w[1].first; ++r) {
            const size_t from = (static_cast<size_t>(w[0].first + r) * kColumns + w[0].second) * 2;
            ASSERT_EQ(std::memcmp(&window[static_cast<size_t>(r) * w[1].second], &whole[from],
                                  static_cast<size_t>(w[1].second) * 2),
                      0)
                << "window row " << r;
        }
    }
}

TEST(FieldInflate, EveryProductAndRealFieldReadsAsHdf4Reads) {
    TempDir dir;
    struct File {
        std::string path;
        std::string grid;
    };
    std::vector<File> files;
    // The products take the geometry of a grid of the test's size.
    const std::string empty = dir.file("empty.hdf");
    testsupport::writeEosFile(empty, testsupport::sinusoidalGrid(kColumns, kRows));
    GridReader geometrySource;
    ASSERT_TRUE(geometrySource.open(empty, kGridName));
    const GridGeometry g = geometrySource.geometry();
    unsigned seed = 100;
    for (const ProductKind kind :
         {ProductKind::DailyNdvi, ProductKind::Composite, ProductKind::Extremes, ProductKind::Vci,
          ProductKind::Mask, ProductKind::DailyCondition}) {
        const ProductLayout &layout = productLayout(kind);
        std::vector<std::vector<uint8_t>> values;
        std::vector<FieldCells> fields;
        for (const FieldLayout &f : layout.fields) {
            values.push_back(noisyBytes(
                static_cast<size_t>(kColumns) * kRows * numberTypeSize(f.numberType), seed++));
            fields.push_back(FieldCells{f.numberType, values.back().data(), values.back().size()});
        }
        files.push_back({dir.file("product" + std::to_string(files.size()) + ".hdf"), kGridName});
        const ProductTarget target{files.back().path, kGridName, g,
                                   "YDim,XDim",       layout,    Edge{kRows, kColumns}};
        ASSERT_TRUE(writeProduct(target, fields).ok());
    }
    const std::string real = VEG_REAL_DATA_DIR;
    for (const auto &entry : std::filesystem::directory_iterator(real)) {
        if (entry.path().extension() == ".hdf") {
            for (const std::string &grid : testsupport::readEosGridNames(entry.path())) {
                files.push_back({entry.path().string(), grid});
            }
        }
    }
    EXPECT_EQ(files.size(), 10u); // six products, four real files of one grid each
    uint64_t decoded = 0;
    for (const File &file : files) {
        const testsupport::EosGridRead hdf = testsupport::readEosGrid(file.path, file.grid);
        for (const testsupport::EosFieldRead &f : hdf.fields) {
            if (f.rank != 2) {
                continue;
            }
            const Counted c = readCounted(file.path, file.grid, f.name);
            ASSERT_TRUE(c.read) << file.path << ": " << f.name;
            EXPECT_EQ(c.bytes, f.data) << file.path << ": " << f.name;
            // Deflated fields are decoded here, whole or in chunks (the real files 1 km fields).
            EXPECT_EQ(c.decoded, f.compression == 4 ? 1u : 0u) << file.path << ": " << f.name;
            decoded += c.decoded;
        }
    }
    EXPECT_GT(decoded, 20u);
}

// The decoder itself: the exact size, host order, and what it leaves to HDF4 or calls damaged.
TEST(FieldInflate, DecodesOnlyAStreamOfTheFieldsSize) {
    const std::vector<uint8_t> stored = {0x12, 0x34, 0xab, 0xcd, 0x00, 0x01, 0x80, 0x00};
    std::vector<uint8_t> packed(compressBound(stored.size()));
    uLongf packedSize = packed.size();
    ASSERT_EQ(compress2(packed.data(), &packedSize, stored.data(), stored.size(), 9), Z_OK);
    packed.resize(packedSize);
    std::vector<uint8_t> corrupt = packed;
    corrupt[packed.size() - 1] ^= 0x40; // the checksum
    std::vector<uint8_t> invalid = packed;
    invalid[2] = 0xff; // a reserved block type
    struct Case {
        const std::vector<uint8_t> *stream;
        int32_t numberType;
        size_t outBytes;
        InflateResult result;
        std::vector<uint8_t> host;
    };
    const Case cases[] = {
        {&packed, kUInt8, 8, InflateResult::Decoded, stored},
        {&packed,
         kInt16,
         8,
         InflateResult::Decoded,
         {0x34, 0x12, 0xcd, 0xab, 0x01, 0x00, 0x00, 0x80}},
        {&packed,
         kFloat32,
         8,
         InflateResult::Decoded,
         {0xcd, 0xab, 0x34, 0x12, 0x00, 0x80, 0x01, 0x00}},
        {&packed,
         kFloat64,
         8,
         InflateResult::Decoded,
         {0x00, 0x80, 0x01, 0x00, 0xcd, 0xab, 0x34, 0x12}},
        {&packed, kInt16, 6, InflateResult::NotMine, {}},          // longer than the field
        {&packed, kInt16, 10, InflateResult::NotMine, {}},         // shorter than the field
        {&packed, kInt16, 7, InflateResult::NotMine, {}},          // not whole values
        {&packed, 0x1000 | kInt16, 8, InflateResult::NotMine, {}}, // stored in native order
        {&corrupt, kInt16, 8, InflateResult::Damaged, {}},
        {&invalid, kInt16, 8, InflateResult::Damaged, {}},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> out(c.outBytes);
        const std::string what =
            "type " + std::to_string(c.numberType) + ", " + std::to_string(c.outBytes) + " bytes";
        EXPECT_EQ(inflateFieldBytes(c.stream->data(), c.stream->size(), c.numberType, out.data(),
                                    out.size()),
                  c.result)
            << what;
        if (c.result == InflateResult::Decoded) {
            EXPECT_EQ(out, c.host) << what;
        }
    }
}

} // namespace
