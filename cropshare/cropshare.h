// County crop share: the full form (`cropshare`) and the older basic form (`cropshare-basic`) share
// the clipping, the clip names, the 8x8 block shares and the percentage raster kept here.
#pragma once

#include "program.h"

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

// How the NDVI clip is walked: its size, the cells that have a whole 8x8 crop block under them
// and the number of NDVI rows read and computed together.
struct StripLayout {
    int width = 0;
    int height = 0;
    size_t blocks = 0;     // columns 0..blocks-1 have a whole crop block (of each evaluated row)
    int evaluatedRows = 0; // rows 0..evaluatedRows-1 have whole crop blocks
    size_t cropSpan = 0;   // crop columns read per crop row: blocks * 8
    size_t ndviRows = 0;   // NDVI rows per strip (at least 1 unless the clip has no rows)
};

// The layout of an NDVI clip of width x height over a crop clip of cropWidth x cropHeight.
StripLayout stripLayout(int width, int height, int cropWidth, int cropHeight);

// The share rule of one run: the crop code counted, the lowest share kept, and the value of cells
// whose share is rejected or that have no whole crop block (255 full form, 0 basic form).
struct ShareRule {
    int cropCode = 0;
    int filter = 0;
    uint8_t rejected = 255;
};

// Computes one strip of `rows` percentage rows (layout.width bytes each) into percentStrip. The
// first `cropRows` rows have 8 crop rows each in cropStrip (layout.cropSpan bytes per crop row);
// later rows are all `rule.rejected`. With ndviStrip (the strip's NDVI rows) kept cells add to
// `total`. `counts` is scratch space of layout.blocks bytes.
void shareStrip(const StripLayout &layout, const uint8_t *cropStrip, int cropRows,
                const uint8_t *ndviStrip, int rows, const ShareRule &rule, uint8_t *counts,
                uint8_t *percentStrip, WeightedSum &total);

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

// The run of either form: arguments with the program name first, lines printed on `out`; returns
// the exit status.
int runForm(Form form, const cli::Args &args, std::ostream &out);

// Entry of cropshare (the full form).
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace cropshare

namespace cropshare_basic {
// Entry of cropshare-basic (the basic form, which keeps its clips).
int run(const cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace cropshare_basic

} // namespace veg
