// Every product writer under file size limits just below the size of its whole output (every byte
// for the last 64, then coarser): each run either fails cleanly (the program's failure status, no
// signal, a message naming the output, the target absent or as it was, no temporary left) or
// leaves the whole product, byte for byte that of a run without a limit.
#include "battery.h"
#include "gridfixtures.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

constexpr int kSide = 40; // cells of the generated tile's side

// One writer: the program, its arguments for an output path, its statuses.
struct Writer {
    const char *name;
    std::string program;
    std::function<std::vector<std::string>(const std::string &output)> args;
    int success;
    int failure;
};

// Inputs of every writer, made by the programs themselves along the chain: a generated tile, a
// mask on its grid, the day's NDVI, a composite, extremes over two years; and 8-bit daily files
// for the daily condition builder.
struct Chain {
    TempDir dir;
    std::string tile = dir.file("tile.hdf");
    std::string raster = dir.file("area.tif");
    std::string mask = dir.file("mask.hdf");
    std::string tiles = dir.file("tiles.txt");
    std::string daily = dir.file("daily.hdf");
    std::string days = dir.file("days.txt");
    std::string composite = dir.file("composite.hdf");
    std::string extremes = dir.file("extremes.hdf");

    std::vector<Writer> writers() const {
        return {
            {"modis-tilegen", MODIS_TILEGEN_BIN,
             [](const std::string &o) {
                 return std::vector<std::string>{"--size", std::to_string(kSide), o};
             },
             0, 1},
            {"zonegrid", ZONEGRID_BIN,
             [this](const std::string &o) {
                 return std::vector<std::string>{raster, o, tile};
             },
             0, 255},
            {"daymosaic", DAYMOSAIC_BIN,
             [this](const std::string &o) {
                 return std::vector<std::string>{tiles, mask, o};
             },
             1, 255},
            {"peakcomposite", PEAKCOMPOSITE_BIN,
             [this](const std::string &o) {
                 return std::vector<std::string>{days, o};
             },
             0, 1},
            {"basicextremes", BASICEXTREMES_BIN,
             [this](const std::string &o) {
                 return std::vector<std::string>{dir.file("ndvi"), "1", "7", "2019", "2020", o};
             },
             0, 255},
            {"conditionmap", CONDITIONMAP_BIN,
             [this](const std::string &o) {
                 return std::vector<std::string>{extremes, composite, o};
             },
             0, 255},
            {"dailyvci", DAILYVCI_BIN,
             [this](const std::string &o) {
                 return std::vector<std::string>{dir.file("bytes"), "2020.01.01", "2020.01.01", "1",
                                                 o};
             },
             0, 255},
        };
    }

    // Runs writer `i` without a limit to make the next link of the chain.
    void make(size_t i, const std::string &output) const {
        const Writer w = writers()[i];
        const testsupport::RunResult r = battery::run(w.program, w.args(output));
        ASSERT_EQ(r.status, w.success) << w.name << "\n" << r.out << r.err;
    }

    Chain() {
        make(0, tile);
        testsupport::RasterSpec area;
        area.width = kSide;
        area.height = kSide;
        const double cell = 1111950.5197665 / kSide; // tile h18v04 of the sinusoidal grid
        area.geoTransform = {{-1111950.5197665, cell, 0, 5559752.5988330, 0, -cell}};
        area.wkt = "+proj=sinu +R=6371007.181 +units=m";
        testsupport::writeByteGeoTiff(raster, area, std::vector<uint8_t>(kSide * kSide, 255));
        make(1, mask);
        testsupport::writeFile(tiles, tile + "\n");
        make(2, daily);
        testsupport::writeFile(days, daily + "\n" + daily + "\n");
        make(3, composite);
        for (const char *year : {"2019", "2020"}) {
            const std::string folder = dir.file(std::string("ndvi/") + year);
            fs::create_directories(folder);
            fs::copy_file(composite, folder + "/ndvi_01_" + year + ".01.01_" + year + ".01.07.hdf");
        }
        make(4, extremes);
        for (const char *date : {"2019.01.01", "2020.01.01"}) {
            const std::string folder = dir.file(std::string("bytes/") + date);
            fs::create_directories(folder);
            testsupport::EosGridSpec bytes =
                battery::uint8Grid({"sur_ndvi_b02_b01"}, kSide, kSide, 0);
            for (size_t i = 0; i < bytes.fields[0].data.size(); ++i) {
                bytes.fields[0].data[i] = static_cast<uint8_t>((i * 37 + date[3]) % 251);
            }
            testsupport::writeEosFile(folder + "/NDVI" + date + ".hdf", bytes);
        }
    }
};

// Bytes short of the whole size at which a writer is run: every one of the last 64, then steps
// growing by half down to half the size.
std::vector<int64_t> limitsBelow(int64_t whole) {
    std::vector<int64_t> limits;
    for (int64_t d = 1; d <= 64 && d < whole; ++d) {
        limits.push_back(whole - d);
    }
    for (int64_t d = 96; d < whole / 2; d += d / 2) {
        limits.push_back(whole - d);
    }
    return limits;
}

std::vector<std::string> temporariesIn(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder)) {
        if (e.path().filename().string().rfind(".tmp", 0) == 0) {
            names.push_back(e.path().filename().string());
        }
    }
    return names;
}

TEST(SizeLimitSweep, EveryWriterFailsCleanlyOrLeavesTheWholeProduct) {
    const Chain chain;
    for (const Writer &w : chain.writers()) {
        SCOPED_TRACE(w.name);
        const TempDir out;
        const std::string output = out.file("product.hdf");
        ASSERT_EQ(battery::run(w.program, w.args(output)).status, w.success);
        const std::string whole = testsupport::readFile(output);
        size_t failed = 0;
        size_t written = 0;
        bool earlier = false; // every other run finds an earlier file at the output name
        for (const int64_t limit : limitsBelow(static_cast<int64_t>(whole.size()))) {
            SCOPED_TRACE("file size limit " + std::to_string(limit));
            fs::remove(output);
            earlier = !earlier;
            if (earlier) {
                testsupport::writeFile(output, "earlier");
            }
            std::vector<std::string> args = {"--fsize=" + std::to_string(limit), "--", w.program};
            for (const std::string &a : w.args(output)) {
                args.push_back(a);
            }
            const testsupport::RunResult r = battery::run("/usr/bin/prlimit", args);
            ASSERT_GE(r.status, 0) << "killed by signal " << -r.status << "\n" << r.err;
            EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
            EXPECT_TRUE(temporariesIn(out.path()).empty());
            if (r.status == w.success) {
                ++written;
                EXPECT_TRUE(testsupport::readFile(output) == whole) << "an incomplete product";
                continue;
            }
            ++failed;
            EXPECT_EQ(r.status, w.failure) << r.out << r.err;
            EXPECT_NE((r.out + r.err).find(output), std::string::npos) << r.out << r.err;
            if (earlier) {
                EXPECT_EQ(testsupport::readFile(output), "earlier");
            } else {
                EXPECT_FALSE(testsupport::fileExists(output));
            }
        }
        EXPECT_GT(failed, 64u) << written << " runs wrote the product";
    }
}

} // namespace
