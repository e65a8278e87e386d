// The compositing rules of the period maximum-value composite, as sequences of daily values per
// cell, and the list position counter.
#include "compositerules.h"
#include "peakcomposite.h"
#include "support/tempdir.h"
#include "textinput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int16_t kNoData = -28672;
constexpr int16_t kFill = -28673;

struct Kept16 {
    int16_t value;
    uint8_t quality;
};

// Folds a cell's inputs in list order, the k-th input (from 0) at list position k + 1.
Kept16 fold16(const std::vector<int16_t> &inputs) {
    Kept16 kept{kNoData, 254};
    uint8_t position = 0;
    for (int16_t v : inputs) {
        position = veg::peakcomposite::nextListPosition(position);
        veg::peakcomposite::foldNdvi16(&v, &kept.value, &kept.quality, 1, position);
    }
    return kept;
}

TEST(Composite16, Sequences) {
    struct Case {
        const char *name;
        std::vector<int16_t> inputs;
        int16_t value;
        int quality;
    } cases[] = {
        {"larger later value wins", {3000, 5000}, 5000, 2},
        {"equal values keep the earliest", {5000, 5000}, 5000, 1},
        {"smaller later value loses", {5000, 3000}, 5000, 1},
        {"fill replaces, later value replaces fill", {5000, kFill, 3000}, 3000, 3},
        {"fill at the end keeps the quality", {5000, kFill}, kFill, 1},
        {"no data everywhere records the last", {kNoData, kNoData, kNoData}, kNoData, 3},
        {"fill everywhere", {kFill, kFill}, kFill, 254},
        {"no data does not replace a value", {4000, kNoData}, 4000, 1},
        {"no data does not replace fill", {kFill, kNoData}, kFill, 254},
        {"value after no data", {kNoData, -200}, -200, 2},
        {"negative values compete", {-5000, -4000, -6000}, -4000, 2},
        {"out-of-range values compete", {9000, 12000}, 12000, 2},
        {"empty cell takes even the lowest", {-32768}, -32768, 1},
        {"empty", {}, kNoData, 254},
    };
    for (const auto &c : cases) {
        const Kept16 kept = fold16(c.inputs);
        EXPECT_EQ(kept.value, c.value) << c.name;
        EXPECT_EQ(kept.quality, c.quality) << c.name;
    }
}

TEST(Composite8, Sequences) {
    struct Case {
        std::vector<uint8_t> inputs;
        uint8_t value;
    } cases[] = {
        {{200, 255, 210}, 255},
        {{254, 120}, 120},
        {{120, 254}, 120},
        {{100, 130, 110}, 130},
        {{254, 254}, 254},
        {{255, 254}, 255},
        {{0}, 0},
        {{250, 251}, 251},
        {{}, 254},
        {{3, 3}, 3},
    };
    for (const auto &c : cases) {
        uint8_t kept = 254;
        for (uint8_t v : c.inputs)
            veg::peakcomposite::foldNdvi8(&v, &kept, 1);
        EXPECT_EQ(kept, c.value) << ::testing::PrintToString(c.inputs);
    }
}

TEST(Composite8, LeavesQualityAlone) {
    // The 8-bit rule runs on its own arrays: a whole-array fold of both fields where the 8-bit
    // maximum comes from another input than the 16-bit maximum.
    const std::vector<std::vector<int16_t>> in16 = {{100, 7000}, {900, 100}};
    const std::vector<std::vector<uint8_t>> in8 = {{200, 20}, {10, 220}};
    std::vector<int16_t> c16(2, kNoData);
    std::vector<uint8_t> c8(2, 254), qc(2, 254);
    for (size_t k = 0; k < in16.size(); ++k) {
        veg::peakcomposite::foldNdvi16(in16[k].data(), c16.data(), qc.data(), 2,
                                       static_cast<uint8_t>(k + 1));
        veg::peakcomposite::foldNdvi8(in8[k].data(), c8.data(), 2);
    }
    EXPECT_EQ(c16, (std::vector<int16_t>{900, 7000}));
    EXPECT_EQ(qc, (std::vector<uint8_t>{2, 1}));
    EXPECT_EQ(c8, (std::vector<uint8_t>{200, 220}));
}

TEST(ListPosition, WrapsAfter255) {
    uint8_t position = 0;
    std::vector<int> seen;
    for (int entry = 1; entry <= 257; ++entry) {
        position = veg::peakcomposite::nextListPosition(position);
        if (entry == 1 || entry == 255 || entry == 256 || entry == 257)
            seen.push_back(position);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 255, 0, 1}));
}

TEST(ListFile, TokensSeparatedByAnyWhiteSpace) {
    testsupport::TempDir t;
    struct Case {
        const char *name;
        std::string text;
        std::vector<std::string> entries;
    } cases[] = {
        {"one per line", "a.hdf\nb.hdf\n", {"a.hdf", "b.hdf"}},
        {"no final line end", "a.hdf\nb.hdf", {"a.hdf", "b.hdf"}},
        {"blanks and tabs", "  a.hdf \t b.hdf\t\tc.hdf  ", {"a.hdf", "b.hdf", "c.hdf"}},
        {"carriage returns", "a.hdf\r\nb.hdf\r\n", {"a.hdf", "b.hdf"}},
        {"blank lines", "\n\na.hdf\n\n\n", {"a.hdf"}},
        {"empty", "", {}},
        {"stops after one entry too many", "1 2 3 4 5 6", {"1", "2", "3", "4"}},
    };
    for (const auto &c : cases) {
        testsupport::writeFile(t.file("list.txt"), c.text);
        std::vector<std::string> entries{"left over"};
        ASSERT_TRUE(veg::fileio::readPathList(t.file("list.txt"), 3, entries)) << c.name;
        EXPECT_EQ(entries, c.entries) << c.name;
    }
    std::vector<std::string> entries;
    EXPECT_FALSE(veg::fileio::readPathList(t.file("missing.txt"), 3, entries));
    EXPECT_FALSE(veg::fileio::readPathList(t.path(), 3, entries)); // a folder
}

TEST(PeakCompositeArguments, OptionalNamesByPosition) {
    const veg::cli::Args all = {"prog", "list.txt", "out.hdf", "G", "n16", "n8", "qc"};
    struct Case {
        int argc;
        bool ok;
        const char *grid;
        const char *qc;
    } cases[] = {{2, false, "", ""},
                 {3, true, "MODIS_Grid_2D", "sur_ndvi_b02_b01_qc"},
                 {4, true, "G", "sur_ndvi_b02_b01_qc"},
                 {7, true, "G", "qc"}};
    for (const auto &c : cases) {
        veg::peakcomposite::Options o;
        const veg::cli::Args args(all.begin(), all.begin() + c.argc);
        ASSERT_EQ(veg::peakcomposite::parseArguments(args, o), c.ok) << c.argc;
        if (!c.ok)
            continue;
        EXPECT_EQ(o.listPath, "list.txt");
        EXPECT_EQ(o.outputPath, "out.hdf");
        EXPECT_EQ(o.gridName, c.grid);
        EXPECT_EQ(o.qcField, c.qc);
    }
}

} // namespace
