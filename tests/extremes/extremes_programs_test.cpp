// The golden transcripts of the extremes builders, run in-process on generated period composites
// of two years and daily 8-bit grids of two years: usage, success and the main failures.
#include "dailyvci.h"
#include "periodextremes.h"
#include "support/golden.h"
#include "support/hdfeos.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using testsupport::eosField;
using testsupport::TempDir;

void writeGrid(const TempDir &dir, const std::string &path, testsupport::EosField field) {
    std::filesystem::create_directories(std::filesystem::path(dir.file(path)).parent_path());
    testsupport::EosGridSpec g = testsupport::sinusoidalGrid(3, 1);
    g.fields = {std::move(field)};
    testsupport::writeEosFile(dir.file(path), g);
}

// Week 1 of 2001 and 2002 (2003 missing), and the days 1 and 2 January of 2019 and 2020.
void extremesInputs(const TempDir &dir) {
    writeGrid(
        dir, "src/2001/ndvi_01_2001.01.01_2001.01.07.hdf",
        eosField<int16_t>("sur_ndvi_b02_b01", testsupport::kEosInt16, {3000, -28672, -28673}));
    writeGrid(dir, "src/2002/ndvi_01_2002.01.01_2002.01.07.hdf",
              eosField<int16_t>("sur_ndvi_b02_b01", testsupport::kEosInt16, {2000, 4000, -28673}));
    const std::pair<const char *, std::vector<uint8_t>> days[] = {{"2019.01.01", {100, 50, 255}},
                                                                  {"2019.01.02", {150, 254, 255}},
                                                                  {"2020.01.01", {120, 60, 255}},
                                                                  {"2020.01.02", {130, 253, 255}}};
    for (const auto &[day, values] : days) {
        writeGrid(dir, "daily/" + std::string(day) + "/NDVI" + day + ".hdf",
                  eosField("sur_ndvi_b02_b01", testsupport::kEosUInt8, values));
    }
}

TEST(ExtremesPrograms, GoldenTranscripts) {
    using testsupport::addGoldenCases;
    std::vector<testsupport::GoldenCase> cases;
    addGoldenCases(cases, "extremes/periodextremes", veg::periodextremes::run, "periodextremes",
                   {{"src", "2001", "2003", "x.hdf", "1", "7", "7"},
                    {"src"},
                    {"src", "2005", "2005", "x.hdf", "1", "7", "7"}},
                   extremesInputs);
    addGoldenCases(cases, "extremes/basicextremes", veg::basicextremes::run, "basicextremes",
                   {{"src", "1", "7", "2001", "2003", "x.hdf"},
                    {"src"},
                    {"src", "1", "7", "2005", "2005", "x.hdf"}},
                   extremesInputs);
    addGoldenCases(cases, "extremes/dailyvci", veg::dailyvci::run, "dailyvci",
                   {{"daily", "2020.01.01", "2020.01.02", "1", "vci.hdf"},
                    {"daily"},
                    {"daily", "2020.1.1", "2020.01.02", "1", "vci.hdf"},
                    {"daily", "2021.01.01", "2021.01.02", "1", "vci.hdf"}},
                   extremesInputs);
    const auto wall = [&](const char *transcript, veg::cli::EntryFunction run,
                          veg::cli::Args args) {
        cases.push_back({transcript, run, std::move(args), extremesInputs});
        cases.back().env = {{"VEG_MEMAVAILABLE_BYTES", "10"}};
    };
    wall("extremes/periodextremes", veg::periodextremes::run,
         {"periodextremes", "src", "2001", "2003", "x.hdf", "1", "7", "7"});
    wall("extremes/basicextremes", veg::basicextremes::run,
         {"basicextremes", "src", "1", "7", "2001", "2003", "x.hdf"});
    wall("extremes/dailyvci", veg::dailyvci::run,
         {"dailyvci", "daily", "2020.01.01", "2020.01.02", "1", "vci.hdf"});
    testsupport::expectGolden(cases);
}

} // namespace
