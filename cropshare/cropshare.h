// County crop share: the full form (`cropshare`) and the older basic form (`cropshare-basic`) share
// the clipping, the clip names, the 8x8 block shares and the percentage raster kept here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace veg {
namespace cropshare {

// The full form reads NDVI values and writes the weighted mean; the basic form only writes the
// percentage raster, marks cells it cannot use with 0 and keeps the clips.
enum class Form { Full, Basic };

// Side of the square block of crop cells under one NDVI cell (240 m over 30 m cells).
constexpr int kBlockSide = 8;
constexpr int kBlockCells = kBlockSide * kBlockSide;

// A whole number read from the start of `text` as a stream reads an int; otherwise 0.
int parseWholeNumber(const std::string &text);

// The base name of `path`: no folders, no extension.
std::string baseName(const std::string &path);

// Clip name: the folder text used as a plain prefix, the raster's base name, "-", the county code.
std::string clipName(const std::string &tempFolder, const std::string &rasterPath,
                     const std::string &countyCode);

// Name of the percentage raster; the crop code and filter appear exactly as typed.
std::string percentName(const std::string &tempFolder, const std::string &countyCode,
                        const std::string &cropCodeText, const std::string &filterText);

// The arguments of one clipping run of gdalwarp (program name first), and the command line
// printed for it; `resolution` is the cell size in metres ("240" or "30").
std::vector<std::string> clipArguments(const std::string &countyPath, const std::string &countyCode,
                                       const std::string &resolution, const std::string &inputPath,
                                       const std::string &clipPath);
std::string clipCommandText(const std::string &countyPath, const std::string &countyCode,
                            const std::string &resolution, const std::string &inputPath,
                            const std::string &clipPath);

// Counts, for each of `blocks` consecutive 8x8 blocks, the crop cells equal to `cropCode`.
// `cropRows` points to 8 rows of `stride` bytes each; a code outside 0..255 never matches.
void countBlocks(const uint8_t *cropRows, size_t stride, size_t blocks, int cropCode,
                 uint8_t *counts);

// Whole percentage of a block with `count` matching cells: count*100/64, truncated.
inline uint32_t sharePercent(uint32_t count) { return count * 100u / kBlockCells; }

// Percentage weighted NDVI: sums of pct*value and of pct over the cells that passed the filter.
struct WeightedSum {
    uint64_t sum = 0;
    uint64_t weight = 0;
};

// One row of the percentage raster. Cells 0..blocks-1 take the share of their count unless it is
// below `filter` (compared as unsigned 32-bit numbers, so a negative filter rejects every share),
// which gives `rejected`; cells from `blocks` to `width`-1 have no whole crop block and also get
// `rejected`. When `ndviRow` is given, each kept cell adds pct*value and pct to `total`.
void shareRow(const uint8_t *counts, size_t blocks, size_t width, int filter, uint8_t rejected,
              const uint8_t *ndviRow, uint8_t *out, WeightedSum &total);

// The weighted mean as the average file holds it: a stream's default format ("166.667");
// with no weight the quotient 0/0 gives a not-a-number text.
std::string formatAverage(const WeightedSum &total);

// What the share stage needs once both clips exist.
struct ShareJob {
    Form form = Form::Full;
    std::string ndviClip;
    std::string cropClip;
    std::string percentPath;
    std::string averagePath; // the full form's average file; unused by the basic form
    int cropCode = 0;
    int filter = 0;
};

// Reads both clips, computes every cell, writes the average file (full form) and the percentage
// raster, printing the lines from "generatedPercentFile=" to "pData was allocated". False after
// printing why it stopped; the percentage raster is then not written.
bool shareFromClips(const ShareJob &job, std::ostream &out);

// The programs' entry function: arguments as main receives them, lines printed on `out`;
// the return value is the exit status.
int run(Form form, int argc, const char *const *argv, std::ostream &out);

} // namespace cropshare
} // namespace veg
