// Deflated grid fields compressed by libdeflate: every product reads back, through HDF4 and through
// GDAL, to the very values written, and the other users of zlib in the process (GDAL's GeoTIFF and
// PNG writers) still write the bytes that a process without the replacement writes.
#include "hdfdeflate.h"
#include "productio.h"
#include "products.h"

#include "support/geotiff.h"
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gtest/gtest.h>

#include <libdeflate.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <thread>

namespace {

using namespace veg::grid;
using testsupport::TempDir;

constexpr int kColumns = 300;
constexpr int kRows = 200;

GridGeometry sinusoidalGeometry() {
    const testsupport::EosGridSpec grid = testsupport::sinusoidalGrid(kColumns, kRows);
    GridGeometry g;
    g.columns = grid.columns;
    g.rows = grid.rows;
    g.upperLeft = grid.upperLeft;
    g.lowerRight = grid.lowerRight;
    g.projectionCode = grid.projectionCode;
    g.sphereCode = grid.sphereCode;
    g.projectionParameters = grid.projectionParameters;
    return g;
}

enum class Content { Mixed, Empty, Full };

// One field's cells in host order. Empty: the fill value's bits everywhere. Full: valid values
// only (a noisy walk, so that the compressed field spans many of HDF4's output buffers). Mixed:
// the walk with each sentinel and the type's extremes every few cells.
std::vector<uint8_t> cellBytes(int32_t numberType, Content content, unsigned seed) {
    const size_t cells = static_cast<size_t>(kColumns) * kRows;
    std::mt19937 random(seed);
    std::vector<int32_t> values(cells);
    int32_t walk = 0;
    for (size_t i = 0; i < cells; ++i) {
        walk =
            std::clamp<int32_t>(walk + static_cast<int32_t>(random() % 401) - 200, -10000, 10000);
        values[i] = walk;
    }
    const bool wide = numberTypeSize(numberType) == 2;
    const std::vector<int32_t> specials =
        wide ? std::vector<int32_t>{kFill16, kNoData16, -32768, 32767, kNdviMin, kNdviMax}
             : std::vector<int32_t>{kFill8, kNoData8, 0, kNdvi8Max, -128, 127};
    for (size_t i = 0; i < cells; ++i) {
        int32_t v = wide ? values[i] : (values[i] + 10000) / 80; // 0..250
        if (content == Content::Empty) {
            v = wide ? kFill16 : kFill8;
        } else if (content == Content::Mixed && i % 7 == 0) {
            v = specials[(i / 7) % specials.size()];
        }
        values[i] = v;
    }
    std::vector<uint8_t> bytes(cells * numberTypeSize(numberType));
    for (size_t i = 0; i < cells; ++i) {
        if (wide) {
            const uint16_t bits = static_cast<uint16_t>(values[i]);
            std::memcpy(&bytes[2 * i], &bits, 2);
        } else {
            bytes[i] = static_cast<uint8_t>(values[i]);
        }
    }
    return bytes;
}

// A field read through GDAL's HDF-EOS driver, as the bytes of its own type.
std::vector<uint8_t> readThroughGdal(const std::string &path, const std::string &field,
                                     int32_t numberType) {
    GDALAllRegister();
    const std::string name = "HDF4_EOS:EOS_GRID:\"" + path + "\":" + kGridName + ":" + field;
    GDALDatasetUniquePtr ds(GDALDataset::Open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (!ds) {
        return {};
    }
    const GDALDataType type = numberType == kInt16    ? GDT_Int16
                              : numberType == kUInt16 ? GDT_UInt16
                                                      : GDT_Byte;
    std::vector<uint8_t> bytes(static_cast<size_t>(kColumns) * kRows * numberTypeSize(numberType));
    if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kColumns, kRows, bytes.data(), kColumns,
                                       kRows, type, 0, 0) != CE_None) {
        return {};
    }
    return bytes;
}

TEST(HdfDeflate, EveryProductReadsBackThroughHdf4AndGdal) {
    TempDir dir;
    const ProductKind kinds[] = {ProductKind::DailyNdvi, ProductKind::Composite,
                                 ProductKind::Extremes, ProductKind::Vci};
    const Content contents[] = {Content::Mixed, Content::Empty, Content::Full};
    const char *contentNames[] = {"mixed", "empty", "full"};
    unsigned seed = 1;
    for (ProductKind kind : kinds) {
        for (Content content : contents) {
            const std::string what = "product " + std::to_string(static_cast<int>(kind)) + ", " +
                                     contentNames[static_cast<int>(content)] + " fields";
            const ProductLayout &layout = productLayout(kind);
            std::vector<std::vector<uint8_t>> written;
            std::vector<FieldCells> fields;
            for (const FieldLayout &f : layout.fields) {
                written.push_back(cellBytes(f.numberType, content, seed++));
                fields.push_back(
                    FieldCells{f.numberType, written.back().data(), written.back().size()});
            }
            const std::string path = dir.file("product.hdf");
            const uint64_t streamsBefore = deflateCounts().hdfStreams;
            const ProductTarget target{path,        kGridName, sinusoidalGeometry(),
                                       "YDim,XDim", layout,    Edge{kRows, kColumns}};
            ASSERT_TRUE(writeProduct(target, fields).ok()) << what;
            EXPECT_EQ(deflateCounts().hdfStreams - streamsBefore, layout.fields.size()) << what;
            // Each field's stream ends before the next field's write: one field's compressed
            // bytes are held at a time.
            EXPECT_EQ(deflateCounts().mostOpenHdfStreams, 1u) << what;

            const testsupport::EosGridRead back = testsupport::readEosGrid(path);
            for (size_t i = 0; i < layout.fields.size(); ++i) {
                const FieldLayout &f = layout.fields[i];
                const testsupport::EosFieldRead &read = testsupport::eosFieldOf(back, f.name);
                EXPECT_EQ(read.compression, 4) << what << ", " << f.name; // still deflate
                EXPECT_EQ(read.data, written[i]) << what << ", " << f.name << " through HDF4";
                EXPECT_EQ(readThroughGdal(path, f.name, f.numberType), written[i])
                    << what << ", " << f.name << " through GDAL";
            }
        }
    }
}

// The stream calls as HDF4 sees them: input in one or several pieces, output space of any size
// (HDF4 hands out 4096 bytes at a time); the output is one zlib stream of exactly the input.
TEST(HdfDeflate, StreamHandsOutEveryByte) {
    const std::vector<uint8_t> data = cellBytes(kInt16, Content::Mixed, 11);
    struct Case {
        std::vector<size_t> pieces; // sizes of the Z_NO_FLUSH calls' input
        size_t outputSpace;         // per call
    };
    const Case cases[] = {
        {{}, 1},
        {{}, 4096},
        {{data.size()}, 1},
        {{data.size()}, 4096},
        {{1000, 0, 50000, data.size() - 51000}, 7},
        {{1000, 0, 50000, data.size() - 51000}, 4096},
    };
    for (const Case &c : cases) {
        const std::string what = std::to_string(c.pieces.size()) + " pieces, output space " +
                                 std::to_string(c.outputSpace);
        z_stream strm{};
        ASSERT_EQ(hdfStreamInit(&strm, 9), Z_OK);
        std::vector<uint8_t> input, packed, space(c.outputSpace);
        strm.next_out = space.data();
        strm.avail_out = static_cast<uInt>(space.size());
        for (size_t piece : c.pieces) {
            strm.next_in = const_cast<uint8_t *>(data.data() + input.size());
            strm.avail_in = static_cast<uInt>(piece);
            input.insert(input.end(), strm.next_in, strm.next_in + piece);
            ASSERT_EQ(hdfStreamDeflate(&strm, Z_NO_FLUSH), Z_OK) << what;
            EXPECT_EQ(strm.avail_in, 0u) << what;
        }
        int status = Z_OK;
        while (status == Z_OK) {
            strm.next_out = space.data();
            strm.avail_out = static_cast<uInt>(space.size());
            status = hdfStreamDeflate(&strm, Z_FINISH);
            packed.insert(packed.end(), space.data(), strm.next_out);
        }
        ASSERT_EQ(status, Z_STREAM_END) << what;
        strm.next_out = space.data(); // asked again with fresh space, as HDF4 does
        strm.avail_out = static_cast<uInt>(space.size());
        EXPECT_EQ(hdfStreamDeflate(&strm, Z_FINISH), Z_STREAM_END) << what;
        EXPECT_EQ(strm.total_in, input.size()) << what;
        EXPECT_EQ(strm.total_out, packed.size()) << what;
        EXPECT_EQ(strm.adler, adler32(1, input.data(), static_cast<uInt>(input.size()))) << what;
        EXPECT_EQ(hdfStreamEnd(&strm), Z_OK) << what;
        std::vector<uint8_t> back(input.size() + 1);
        uLongf backSize = back.size();
        ASSERT_EQ(uncompress(back.data(), &backSize, packed.data(), packed.size()), Z_OK) << what;
        back.resize(backSize);
        EXPECT_EQ(back, input) << what;
    }
    // What HDF4 never asks is refused, and a stream ended early says so.
    z_stream strm{};
    ASSERT_EQ(hdfStreamInit(&strm, 9), Z_OK);
    std::vector<uint8_t> space(16);
    strm.next_in = const_cast<uint8_t *>(data.data());
    strm.avail_in = 100;
    strm.next_out = space.data();
    strm.avail_out = 16;
    EXPECT_EQ(hdfStreamDeflate(&strm, Z_SYNC_FLUSH), Z_STREAM_ERROR);
    EXPECT_EQ(hdfStreamDeflate(&strm, Z_NO_FLUSH), Z_OK);
    EXPECT_EQ(hdfStreamEnd(&strm), Z_DATA_ERROR);
}

// GDAL's writers that deflate (libtiff's and libpng's) go through the replaced calls and hand
// them on: the file written here equals the one that gdal_translate, a process without the
// replacement, writes with the same options.
TEST(HdfDeflate, OtherWritersKeepZlibsBytes) {
    TempDir dir;
    testsupport::RasterSpec shape;
    shape.width = kColumns;
    shape.height = kRows;
    const std::vector<uint8_t> ndvi16 = cellBytes(kInt16, Content::Mixed, 7);
    testsupport::writeInt16GeoTiff(dir.file("int16.tif"), shape,
                                   testsupport::fromBytes<int16_t>(ndvi16));
    testsupport::writeByteGeoTiff(dir.file("byte.tif"), shape,
                                  cellBytes(kUInt8, Content::Mixed, 8));
    struct Case {
        const char *source;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"int16.tif", {"-of", "GTiff", "-co", "COMPRESS=DEFLATE", "-co", "ZLEVEL=9"}},
        {"int16.tif", {"-of", "GTiff", "-co", "COMPRESS=DEFLATE", "-co", "PREDICTOR=2"}},
        {"byte.tif", {"-of", "PNG", "-co", "ZLEVEL=9"}},
    };
    for (const Case &c : cases) {
        const std::string what = c.source + (" " + c.options[1] + " " + c.options.back());
        const std::string source = dir.file(c.source);
        std::vector<std::string> args{"-q"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {source, dir.file("child.out")});
        const testsupport::RunResult child = testsupport::run(GDAL_TRANSLATE_BIN, args);
        ASSERT_EQ(child.status, 0) << what << ": " << child.err;

        std::vector<char *> argv;
        for (const std::string &o : c.options) {
            argv.push_back(const_cast<char *>(o.c_str()));
        }
        argv.push_back(nullptr);
        GDALTranslateOptions *options = GDALTranslateOptionsNew(argv.data(), nullptr);
        const uint64_t callsBefore = deflateCounts().zlibCalls;
        GDALDatasetH in = GDALOpen(source.c_str(), GA_ReadOnly);
        GDALDatasetH out = GDALTranslate(dir.file("here.out").c_str(), in, options, nullptr);
        ASSERT_NE(out, nullptr) << what;
        GDALClose(out);
        GDALClose(in);
        GDALTranslateOptionsFree(options);
        EXPECT_GT(deflateCounts().zlibCalls, callsBefore) << what << ": zlib calls not seen";
        EXPECT_EQ(testsupport::readFile(dir.file("here.out")),
                  testsupport::readFile(dir.file("child.out")))
            << what;
    }
}

} // namespace

// A field whose data is that of a stream handed to StreamReuse is written with that stream, and
// the file is byte for byte the one a plain write makes (the streams came from such a write, or
// were compressed ahead as HDF4 would); a field whose data differs in any way is compressed.
TEST(HdfDeflate, ReusedStreamsWriteTheSameFile) {
    TempDir dir;
    const ProductLayout &layout = productLayout(ProductKind::DailyNdvi);
    const size_t ndvi = layout.fields.size() - 2; // the 16-bit NDVI field
    std::vector<std::vector<uint8_t>> original;
    for (const FieldLayout &f : layout.fields) {
        original.push_back(cellBytes(f.numberType, Content::Mixed, 40 + original.size()));
    }
    const auto write = [&](const std::string &folder, const std::vector<std::vector<uint8_t>> &d) {
        std::vector<FieldCells> fields;
        for (size_t i = 0; i < layout.fields.size(); ++i) {
            fields.push_back(FieldCells{layout.fields[i].numberType, d[i].data(), d[i].size()});
        }
        ::mkdir(dir.file(folder).c_str(), 0755);
        const ProductTarget target{
            dir.file(folder + "/day.hdf"), kGridName, sinusoidalGeometry(), "YDim,XDim", layout,
            Edge{kRows, kColumns}};
        return writeProduct(target, fields).ok();
    };
    ASSERT_TRUE(write("first", original));
    // Two 16-bit values changed so that the sum checks of zlib's own stream stay the same: only
    // the CRC-32 tells the data apart.
    std::vector<std::vector<uint8_t>> sameAdler = original;
    sameAdler[ndvi][1000] += 1;
    sameAdler[ndvi][1000 + 65521] -= 1;
    ASSERT_EQ(adler32(1, sameAdler[ndvi].data(), static_cast<uInt>(sameAdler[ndvi].size())),
              adler32(1, original[ndvi].data(), static_cast<uInt>(original[ndvi].size())));
    struct Case {
        const char *name;
        const std::vector<std::vector<uint8_t>> *data;
        bool aheadOfNdvi; // NDVI's stream compressed ahead on a thread, reserved first
        bool aheadFails;  // that reservation handed an empty stream
        uint64_t reused;
    };
    const Case cases[] = {
        {"every field unchanged", &original, false, false, 10},
        {"NDVI changed, adler32 alike", &sameAdler, false, false, 9},
        {"NDVI changed and compressed ahead", &sameAdler, true, false, 10},
        {"NDVI changed, compressing ahead failed", &sameAdler, true, true, 9},
    };
    int folder = 0;
    for (const Case &c : cases) {
        const std::string plain = "plain" + std::to_string(folder);
        const std::string reused = "reused" + std::to_string(folder++);
        ASSERT_TRUE(write(plain, *c.data)) << c.name;
        GridReader first;
        ASSERT_TRUE(first.open(dir.file("first/day.hdf"), kGridName)) << c.name;
        StreamReuse reuse;
        ASSERT_TRUE(reuse.registered()) << c.name;
        EXPECT_FALSE(StreamReuse().registered()) << c.name << ": one at a time";
        std::vector<uint8_t> scratch(original[ndvi].size());
        for (const FieldLayout &f : layout.fields) {
            KeptStream kept;
            ASSERT_TRUE(readFieldBytes(first.grid(), f.name, f.numberType, Edge{kRows, kColumns},
                                       scratch.data(), scratch.size(), &kept))
                << c.name << ", " << f.name;
            reuse.add(std::move(kept));
        }
        std::thread ahead;
        if (c.aheadOfNdvi) {
            const std::vector<uint8_t> &values = (*c.data)[ndvi];
            std::vector<uint8_t> stored(values.size());
            for (size_t i = 0; i < values.size(); i += 2) { // the file's byte order
                stored[i] = values[i + 1];
                stored[i + 1] = values[i];
            }
            const size_t reservation =
                reuse.reserve(stored.size(), libdeflate_crc32(0, stored.data(), stored.size()),
                              adler32(1, stored.data(), static_cast<uInt>(stored.size())));
            ahead = std::thread([&reuse, reservation, stored, fails = c.aheadFails] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the write waits
                reuse.fulfil(reservation,
                             fails ? KeptStream{}
                                   : compressLikeHdf(stored.data(), stored.size(), kDeflateLevel));
            });
        }
        const uint64_t before = deflateCounts().reusedStreams;
        EXPECT_TRUE(write(reused, *c.data)) << c.name;
        if (ahead.joinable()) {
            ahead.join();
        }
        EXPECT_EQ(deflateCounts().reusedStreams - before, c.reused) << c.name;
        EXPECT_EQ(testsupport::readFile(dir.file(reused + "/day.hdf")),
                  testsupport::readFile(dir.file(plain + "/day.hdf")))
            << c.name;
    }
}
