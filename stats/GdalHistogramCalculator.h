// Histogram of an 8-bit raster by the breaks of a HistogramConfig, with acreage, shares and the
// mean of the scaled values; optionally split by the categories of a crop mask laid over it.
#pragma once

#include "AppIni.h"
#include "GdalUint8Reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

// Acres per square metre; acreage = count x pixel width x pixel height x kAcresPerSquareMetre, so
// the negative pixel height of a north-up raster gives a positive area.
constexpr double kAcresPerSquareMetre = -0.000247105;
// Most raster data held in one block read, in bytes.
constexpr int64_t kMaxBlockBytes = 300000000;
// Entries of the pair table of mask mode: (fine value, coarse value).
constexpr size_t kPairTableSize = 256 * 256;

// One histogram row.
class GdalHistogramBin {
  public:
    int id = 0;
    std::string name;
    std::string color;
    double low = 0;
    double high = 0;
    uint64_t count = 0;
    double acreage = 0;
    double percentage = 0; // share of the total acreage, 0..1
};

// The rows of one mask category.
class GdalHistogramBinsByCat {
  public:
    int ordinal = 0; // 1-based position in the category list
    int code = 0;    // the mask value
    std::string name;
    std::vector<GdalHistogramBin> bins;
};

class GdalHistogramCalculator {
  public:
    // Plain mode over the data raster; 1 done, 0 not done (see `failure`).
    int calc(std::string data);
    // Mask mode over every mask value that occurs under the data raster.
    int calc(std::string data, std::string mask);
    // Mask mode restricted to one mask value, which alone is reported.
    int calc(std::string data, std::string mask, int number);
    int calc();
    int calc2();
    // Pair counting: every pixel of the fine raster adds 1 to table[fine value * 256 + value of the
    // coarse pixel holding its upper-left corner]. Returns 0 when a read fails.
    int calc21(GdalUint8Reader &coarse, GdalUint8Reader &fine, uint64_t *table);
    int setHbins(double min, double max);
    int setHcatbins(int n, double min, double max);
    void reset();
    static bool FileExists(const std::string &path);

    // Report writers; the file is written under a temporary name and renamed into place. False
    // when the file can't be written completely (nothing is left at path then).
    bool saveAsCSV(std::string path);
    bool saveAsJSON(std::string path);

    std::string dataFile;
    std::string maskFile;
    int maskNumber = -1;
    std::vector<GdalHistogramBin> bins;
    std::vector<GdalHistogramBinsByCat> categories;
    app::HistogramConfig config;
    std::string workid = "NONE";
    double mean = 0;

    // Result of the last calc form (true before any) and, when it failed, why.
    bool success = true;
    std::string failure;
    // Lines for standard output from the last calc form (the configuration's and the readers'
    // lines included), in order, until the program takes them.
    veg::stats::MessageLog messages;

    // Rows with a zero pixel count are left out of both reports.
    bool eliminateZeroRows = false;
    // Most raster data held in one block read; blocks hold at least one row whatever its width.
    int64_t blockBytes = kMaxBlockBytes;

  private:
    int fail(const std::string &reason);
    int startCalc(const char *line, const std::string &data, const std::string *mask);
    // Regenerates the breaks from [min, max] when the configuration has no range, and checks
    // that their number is breakCount.
    bool prepareBreaks(double min, double max);
    // One bin per break, ids 1..N, filled from the break with the same id.
    std::vector<GdalHistogramBin> binsFromBreaks(bool printIndex);
    // Counts the byte values of the whole band in blocks of rows; false when a read fails.
    bool readByteCounts(GdalUint8Reader &reader, uint64_t counts[256]);
};

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
