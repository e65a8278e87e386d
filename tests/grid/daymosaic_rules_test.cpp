// Unit tests of the daily NDVI mosaic rules: cell NDVI, finishing, window placement and copies,
// and the tile list file.
#include "file_list.h"
#include "mosaic_rules.h"
#include "products.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "support/tempdir.h"

namespace {

using namespace veg::daymosaic;

// The sentinels of the daily NDVI grid, written out here as an independent copy.
constexpr int16_t kNdviNoData = -28672;
constexpr int16_t kNdviFill = -28673;

struct NdviCase {
    int16_t nir;
    int16_t red;
    int16_t expected;
};

TEST(DaymosaicCellNdvi, TableOfCells) {
    const NdviCase cases[] = {
        {3000, 1000, 4761},            // S = 4200, D = 2000
        {500, 800, -2000},             // S = 1500, D = -300
        {-100, -100, 0},               // S = 0, D = 0
        {16001, 1000, kNdviNoData},    // near infrared above the usable range
        {1000, -101, kNdviNoData},     // red below it
        {-28672, -28672, kNdviNoData}, // the tiles' own fill
        {16000, -100, 10000},          // extremes of the usable range
        {-100, 16000, -10000},
        {16000, 16000, 0},
        {100, 0, 3333},  // 10000 * 100 / 300 truncated
        {0, 100, -3333}, // truncation toward zero, not downward
        {32767, 32767, kNdviNoData},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(cellNdvi(c.nir, c.red), c.expected) << "nir " << c.nir << " red " << c.red;
    }
}

// Over the usable range the NDVI agrees with the exact rational value truncated toward zero,
// up to the last unit where double rounding meets an exact quotient.
TEST(DaymosaicCellNdvi, AgreesWithExactQuotientOverUsableRange) {
    for (int nir = -100; nir <= 16000; nir += 37) {
        for (int red = -100; red <= 16000; red += 41) {
            const int64_t sum = nir + red + 200;
            const int64_t exact = sum == 0 ? 0 : 10000LL * (nir - red) / sum;
            const int got = cellNdvi(static_cast<int16_t>(nir), static_cast<int16_t>(red));
            ASSERT_LE(std::abs(got - exact), 1) << nir << " " << red;
            ASSERT_GE(got, -10000);
            ASSERT_LE(got, 10000);
        }
    }
}

TEST(DaymosaicCellNdvi, WindowAppliesCellRuleToEveryCell) {
    const std::vector<int16_t> nir = {3000, 500, -100, 16001};
    const std::vector<int16_t> red = {1000, 800, -100, 0};
    std::vector<int16_t> ndvi(4, 7);
    windowNdvi(nir.data(), red.data(), ndvi.data(), ndvi.size());
    EXPECT_EQ(ndvi, (std::vector<int16_t>{4761, -2000, 0, kNdviNoData}));
}

struct FinishCase {
    uint8_t mask;
    int16_t ndvi;
    int16_t ndviOut;
    uint8_t ndvi8Out;
};

TEST(DaymosaicFinish, EightBitMappingNoDataAndFill) {
    const FinishCase cases[] = {
        {1, -10000, -10000, 0},
        {1, -1, -1, 124},
        {1, 0, 0, 125},
        {1, 1, 1, 125},
        {1, 9999, 9999, 249},
        {1, 10000, 10000, 250},
        {1, 4761, 4761, 184},
        {255, -79, -79, 124},
        {1, kNdviNoData, kNdviNoData, 254},
        {0, 4761, kNdviFill, 255},
        {0, kNdviNoData, kNdviFill, 255},
    };
    std::vector<uint8_t> mask;
    std::vector<int16_t> ndvi;
    for (const auto &c : cases) {
        mask.push_back(c.mask);
        ndvi.push_back(c.ndvi);
    }
    std::vector<uint8_t> ndvi8(ndvi.size(), 77);
    finishDailyNdvi(mask.data(), ndvi.data(), ndvi8.data(), ndvi.size());
    for (size_t i = 0; i < ndvi.size(); ++i) {
        EXPECT_EQ(ndvi[i], cases[i].ndviOut) << "case " << i;
        EXPECT_EQ(ndvi8[i], cases[i].ndvi8Out) << "case " << i;
    }
}

// Inside the mask the 8-bit NDVI is the product's 8-bit mapping of every 16-bit value.
TEST(DaymosaicFinish, AgreesWithTheProductMappingForEveryValue) {
    std::vector<int16_t> ndvi;
    for (int n = -32768; n <= 32767; ++n) {
        if (n != kNdviFill) {
            ndvi.push_back(static_cast<int16_t>(n));
        }
    }
    const std::vector<int16_t> before = ndvi;
    const std::vector<uint8_t> mask(ndvi.size(), 1);
    std::vector<uint8_t> ndvi8(ndvi.size());
    finishDailyNdvi(mask.data(), ndvi.data(), ndvi8.data(), ndvi.size());
    EXPECT_EQ(ndvi, before);
    for (size_t i = 0; i < ndvi.size(); ++i) {
        ASSERT_EQ(ndvi8[i], veg::grid::ndvi8FromNdvi16(before[i])) << before[i];
    }
}

struct OffsetCase {
    double from;
    double to;
    double cell;
    bool ok;
    int64_t offset;
};

TEST(DaymosaicPlacement, CellOffsetRoundsToNearestCell) {
    const double tile = 1111950.519666667; // width of a 250 m sinusoidal tile
    const double cell = tile / 4800;
    const OffsetCase cases[] = {
        {0, 100, 10, true, 10},
        {0, 104.9, 10, true, 10},
        {0, 105.1, 10, true, 11},
        {0, -104.9, 10, true, -10},
        {-20015109.354, -20015109.354 + 18 * tile, cell, true,
         18 * 4800},                               // whole tiles land exactly
        {0, tile - cell * 1e-7, cell, true, 4800}, // a hair short still lands on the cell
        {0, 1, 0, false, 0},
        {0, 1e300, 1e-300, false, 0},
    };
    for (const auto &c : cases) {
        int64_t offset = -999;
        EXPECT_EQ(cellOffset(c.from, c.to, c.cell, &offset), c.ok) << c.to;
        if (c.ok) {
            EXPECT_EQ(offset, c.offset) << c.to;
        }
    }
}

// Independent oracle: walk every mask cell and ask which tile cell lies on it.
AxisWindow bruteForceAxis(int64_t offset, int64_t tileCells, int64_t maskCells) {
    AxisWindow w;
    bool started = false;
    for (int64_t cell = 0; cell < maskCells; ++cell) {
        const int64_t tileCell = cell - offset;
        if (tileCell < 0 || tileCell >= tileCells) {
            continue;
        }
        if (!started) {
            started = true;
            w.outputStart = cell;
            w.tileStart = tileCell;
        }
        ++w.count;
    }
    if (!started) {
        w = AxisWindow{};
    }
    return w;
}

struct AxisCase {
    const char *name;
    int64_t offset;
    int64_t tileCells;
    int64_t maskCells;
    AxisWindow expected;
};

TEST(DaymosaicPlacement, OverlapOfOneAxis) {
    const AxisCase cases[] = {
        {"mask edge cuts the tile's start", -3, 10, 20, {3, 0, 7}},
        {"mask edge cuts the tile's end", 15, 10, 20, {0, 15, 5}},
        {"tile inside the mask", 5, 10, 20, {0, 5, 10}},
        {"tile flush with both mask edges", 0, 20, 20, {0, 0, 20}},
        {"mask narrower than the tile, inside it", -4, 10, 3, {4, 0, 3}},
        {"mask narrower, meeting the tile's start", 0, 10, 3, {0, 0, 3}},
        {"mask narrower, meeting the tile's end", -7, 10, 3, {7, 0, 3}},
        {"tile ends where the mask starts", -10, 10, 20, {0, 0, 0}},
        {"tile starts where the mask ends", 20, 10, 20, {0, 0, 0}},
        {"tile far away", -100000, 4800, 9600, {0, 0, 0}},
        {"one cell of overlap", 19, 10, 20, {0, 19, 1}},
    };
    for (const auto &c : cases) {
        const AxisWindow w = overlapAxis(c.offset, c.tileCells, c.maskCells);
        EXPECT_EQ(w.count, c.expected.count) << c.name;
        if (c.expected.count > 0) {
            EXPECT_EQ(w.tileStart, c.expected.tileStart) << c.name;
            EXPECT_EQ(w.outputStart, c.expected.outputStart) << c.name;
        }
    }
}

TEST(DaymosaicPlacement, OverlapMatchesCellByCellWalk) {
    for (int64_t mask = 1; mask <= 9; ++mask) {
        for (int64_t tile = 1; tile <= 9; ++tile) {
            for (int64_t offset = -12; offset <= 12; ++offset) {
                const AxisWindow got = overlapAxis(offset, tile, mask);
                const AxisWindow want = bruteForceAxis(offset, tile, mask);
                ASSERT_EQ(got.count, want.count) << offset << " " << tile << " " << mask;
                if (want.count > 0) {
                    ASSERT_EQ(got.tileStart, want.tileStart);
                    ASSERT_EQ(got.outputStart, want.outputStart);
                }
            }
        }
    }
}

TEST(DaymosaicPlacement, CellSizeAgreement) {
    struct Case {
        double span;
        int64_t cells;
        double maskCell;
        bool same;
    } cases[] = {
        {1000, 100, 10, true},
        {1004.9, 100, 10, true}, // far edge 4.9 units (under half a cell) away
        {1005.1, 100, 10, false},
        {2000, 100, 10, false}, // a tile of twice the cell size
        {1000, 0, 10, false},
        {1000, 100, 0, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(sameCellSize(c.span, c.cells, c.maskCell), c.same) << c.span << " " << c.cells;
    }
}

// Independent oracle for the copies: cell by cell through (row, column) coordinates.
template <typename T>
std::vector<T> bruteForceCopy(std::vector<T> full, int64_t columns, int64_t rows, int64_t row0,
                              int64_t column0, int64_t m, int64_t k, const std::vector<T> &window,
                              int order) {
    for (int64_t r = 0; r < m; ++r) {
        for (int64_t c = 0; c < k; ++c) {
            if (order == 1) {
                full[(row0 + r) * columns + column0 + c] = window[r * k + c];
            } else {
                full[(column0 + c) * rows + row0 + r] = window[c * m + r];
            }
        }
    }
    return full;
}

TEST(DaymosaicCopy, WindowsLandCellExactInBothOrders) {
    const int64_t columns = 7, rows = 5;
    struct Case {
        int64_t row0, column0, m, k;
    } cases[] = {{0, 0, 5, 7}, {1, 2, 3, 4}, {4, 6, 1, 1},
                 {0, 3, 5, 4}, {2, 0, 3, 7}, {0, 0, 0, 0}};
    for (int order = 1; order <= 2; ++order) {
        for (const auto &c : cases) {
            std::vector<int16_t> window(static_cast<size_t>(c.m * c.k));
            for (size_t i = 0; i < window.size(); ++i) {
                window[i] = static_cast<int16_t>(1000 + i);
            }
            std::vector<int16_t> full(columns * rows, -1);
            const int64_t start[2] = {c.row0, c.column0};
            const int64_t edge[2] = {c.m, c.k};
            ASSERT_TRUE(
                writeFieldBufInt16(full.data(), columns, rows, start, edge, window.data(), order));
            EXPECT_EQ(full, bruteForceCopy(std::vector<int16_t>(columns * rows, -1), columns, rows,
                                           c.row0, c.column0, c.m, c.k, window, order))
                << "order " << order << " start " << c.row0 << "," << c.column0;
        }
    }
}

TEST(DaymosaicCopy, AllElementTypesCopyAndRefuseBadWindows) {
    const int64_t start[2] = {1, 1};
    const int64_t edge[2] = {1, 2};
    std::vector<uint16_t> u16(9, 0);
    const uint16_t w16[2] = {65535, 40000};
    EXPECT_TRUE(writeFieldBufUInt16(u16.data(), 3, 3, start, edge, w16, 1));
    EXPECT_EQ(u16, (std::vector<uint16_t>{0, 0, 0, 0, 65535, 40000, 0, 0, 0}));
    std::vector<int8_t> i8(9, 0);
    const int8_t w8[2] = {-1, -128};
    EXPECT_TRUE(writeFieldBufInt8(i8.data(), 3, 3, start, edge, w8, 2));
    EXPECT_EQ(i8, (std::vector<int8_t>{0, 0, 0, 0, -1, 0, 0, -128, 0}));
    std::vector<uint8_t> u8(9, 0);
    const uint8_t wu8[2] = {200, 201};
    EXPECT_TRUE(writeFieldBufUInt8(u8.data(), 3, 3, start, edge, wu8, 1));

    // Windows reaching outside the grid are refused and leave it untouched.
    const int64_t outside[][4] = {{2, 2, 2, 1}, {0, 2, 1, 2}, {-1, 0, 1, 1}, {0, 0, 4, 1}};
    for (const auto &o : outside) {
        const int64_t s[2] = {o[0], o[1]};
        const int64_t e[2] = {o[2], o[3]};
        std::vector<uint8_t> grid(9, 9);
        EXPECT_FALSE(writeFieldBufUInt8(grid.data(), 3, 3, s, e, wu8, 1));
        EXPECT_EQ(grid, std::vector<uint8_t>(9, 9));
    }

    for (int order : {0, 3, -1}) {
        EXPECT_FALSE(writeFieldBufUInt8(u8.data(), 3, 3, start, edge, wu8, order)) << order;
    }
}

struct ListCase {
    const char *name;
    std::string content;
    int count;
    std::vector<std::string> first;
    int extra;
};

TEST(DaymosaicFileList, ReadsPathsSeparatedByWhiteSpace) {
    std::string thirtyTwo, thirtyFour;
    for (int i = 1; i <= 34; ++i) {
        const std::string path = "tile" + std::to_string(i) + ".hdf\n";
        if (i <= 32) {
            thirtyTwo += path;
        }
        thirtyFour += path;
    }
    const std::string longPath(300, 'p');
    const ListCase cases[] = {
        {"one per line", "a.hdf\nb.hdf\n", 2, {"a.hdf", "b.hdf"}, 0},
        {"blanks, tabs, no final break",
         "  a.hdf\t b.hdf\r\n\n c.hdf",
         3,
         {"a.hdf", "b.hdf", "c.hdf"},
         0},
        {"empty", "", 0, {}, 0},
        {"only white space", " \n\t\n", 0, {}, 0},
        {"exactly 32", thirtyTwo, 32, {"tile1.hdf", "tile2.hdf"}, 0},
        {"34 paths", thirtyFour, 32, {"tile1.hdf"}, 2},
        {"a path longer than 255 characters", longPath + "\n", 1, {longPath}, 0},
    };
    testsupport::TempDir dir;
    for (const auto &c : cases) {
        const std::string path = dir.file("list.txt");
        testsupport::writeFile(path, c.content);
        FileList list;
        EXPECT_EQ(readFileList(list, path), c.count) << c.name;
        ASSERT_GE(list.paths.size(), c.first.size()) << c.name;
        for (size_t i = 0; i < c.first.size(); ++i) {
            EXPECT_EQ(list.paths[i], c.first[i]) << c.name;
        }
        EXPECT_EQ(list.extra, c.extra) << c.name;
    }
}

TEST(DaymosaicFileList, MissingListReadsAsMinusOne) {
    testsupport::TempDir dir;
    FileList list;
    EXPECT_EQ(readFileList(list, dir.file("absent.txt")), -1);
    EXPECT_TRUE(list.paths.empty());
}

} // namespace
