// County crop share: clipping through gdalwarp, block shares, the percentage raster and the mean.
#include "cropshare.h"

#include "atomicfile.h"
#include "gdaldataset.h"
#include "resultfile.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <locale>
#include <sstream>

extern char **environ;

namespace veg {
namespace cropshare {

namespace {

// Largest strip of the crop clip read in one call, in bytes (rounded to whole NDVI rows).
constexpr size_t kStripBytes = size_t{2} << 20;
constexpr uint8_t kFullRejected = 255;
constexpr uint8_t kBasicRejected = 0;
const char *const kCountyLayer = "conus_counties";

// Zero bytes of `x` as a count: the high bit of each byte of the mask marks a zero byte exactly.
inline uint32_t zeroBytes(uint64_t x) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    uint64_t y = (x & kLow7) + kLow7;
    y = ~(y | x | kLow7);
    // one bit per zero byte moved to the low end of its byte, then the bytes summed by a multiply
    return static_cast<uint32_t>((((y >> 7) * 0x0101010101010101ULL) >> 56));
}

// The executable `name` as the shell would find it through PATH; empty when there is none.
std::string findOnPath(const std::string &name) {
    const char *path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

// Runs a program found through PATH with an argument vector (no shell), inheriting standard
// output and error. Returns an empty text on success, otherwise why it failed.
std::string runProgram(const std::vector<std::string> &arguments) {
    const std::string program = findOnPath(arguments.front());
    if (program.empty())
        return "was not found on the search path (PATH)";
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0)
        return std::string("could not be started: ") + std::strerror(rc);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return std::string("could not be waited for: ") + std::strerror(errno);
    }
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) == 0)
            return "";
        return "ended with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status))
        return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "ended abnormally";
}

void printUsage(std::ostream &out, Form form) {
    out << "Usage: cropshare\n";
    if (form == Form::Full)
        out << "countyShapeFilePath countyFIPSCode ndviFilePath cdlFilePath cropCode "
               "tempFolderPath "
               "filterNumber fileAverageNDVIpath\n";
    else
        out << "countyShapeFilePath countyFIPSCode ndviFilePath cdlFilePath cropCode "
               "tempFolderPath\n";
}

void printFailedOpen(std::ostream &out, const std::string &path) {
    out << "GDAL failed to open the input file " << path << ", please check the path.\n";
}

// The clips live only for one run of the full form; the basic form leaves them for the caller.
class ClipFiles {
  public:
    ClipFiles(Form form, std::string ndvi, std::string crop)
        : remove_(form == Form::Full), ndvi_(std::move(ndvi)), crop_(std::move(crop)) {}
    ~ClipFiles() { remove(); }
    // Deletes the NDVI clip, then the crop clip (full form only).
    void remove() {
        if (remove_) {
            ::unlink(ndvi_.c_str());
            ::unlink(crop_.c_str());
        }
        remove_ = false;
    }
    ClipFiles(const ClipFiles &) = delete;
    ClipFiles &operator=(const ClipFiles &) = delete;

  private:
    bool remove_;
    std::string ndvi_;
    std::string crop_;
};

// Flushes our own lines before a child writes to the same standard output.
void flushAll(std::ostream &out) {
    out.flush();
    std::cout.flush();
    std::fflush(stdout);
}

bool clip(std::ostream &out, const char *label, const std::string &countyPath,
          const std::string &countyCode, const std::string &resolution,
          const std::string &inputPath, const std::string &clipPath) {
    out << "command for clipping " << label
        << " data: " << clipCommandText(countyPath, countyCode, resolution, inputPath, clipPath)
        << "\n";
    out << "Executing the " << label << " clipping command.\n";
    flushAll(out);
    std::string failure =
        runProgram(clipArguments(countyPath, countyCode, resolution, inputPath, clipPath));
    if (failure.empty())
        return true;
    out << "The " << label << " clipping command failed: gdalwarp " << failure << "; " << clipPath
        << " was not written.\n";
    return false;
}

// Copies the finished in-memory raster to a GeoTIFF under a temporary name beside `path` and
// renames it into place once GDAL has closed it.
bool writeGeoTiff(GDALDriver &driver, GDALDataset &raster, const std::string &path) {
    fileio::AtomicFile file;
    if (!file.create(path) || !file.releaseDescriptor())
        return false;
    CPLErrorReset();
    fileio::GdalDataset copy(
        driver.CreateCopy(file.temporaryPath().c_str(), &raster, FALSE, nullptr, nullptr, nullptr));
    if (!copy)
        return false;
    copy->FlushCache(true);
    copy.reset();
    // Closing reports a failed write only through GDAL's error state.
    const bool ok = CPLGetLastErrorType() != CE_Failure && CPLGetLastErrorType() != CE_Fatal;
    return ok && file.commit();
}

} // namespace

int parseWholeNumber(const std::string &text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    int value = 0;
    in >> value; // a failed read leaves 0; out of range gives the nearest int
    return value;
}

std::string baseName(const std::string &path) { return CPLGetBasename(path.c_str()); }

std::string clipName(const std::string &tempFolder, const std::string &rasterPath,
                     const std::string &countyCode) {
    return tempFolder + baseName(rasterPath) + "-" + countyCode + ".tif";
}

std::string percentName(const std::string &tempFolder, const std::string &countyCode,
                        const std::string &cropCodeText, const std::string &filterText) {
    return tempFolder + "generatedPercent-FIPS-" + countyCode + "-CropCode-" + cropCodeText +
           "-PercentFilter-" + filterText + ".tif";
}

std::vector<std::string> clipArguments(const std::string &countyPath, const std::string &countyCode,
                                       const std::string &resolution, const std::string &inputPath,
                                       const std::string &clipPath) {
    return {"gdalwarp",
            "-overwrite",
            "-cutline",
            countyPath,
            "-cl",
            kCountyLayer,
            "-crop_to_cutline",
            "-cwhere",
            "FIPS='" + countyCode + "'",
            "-tr",
            resolution,
            resolution,
            inputPath,
            clipPath};
}

std::string clipCommandText(const std::string &countyPath, const std::string &countyCode,
                            const std::string &resolution, const std::string &inputPath,
                            const std::string &clipPath) {
    return "gdalwarp -overwrite -cutline " + countyPath + " -cl " + kCountyLayer +
           " -crop_to_cutline -cwhere \"FIPS='" + countyCode + "'\" -tr " + resolution + " " +
           resolution + " " + inputPath + " " + clipPath;
}

void countBlocks(const uint8_t *cropRows, size_t stride, size_t blocks, int cropCode,
                 uint8_t *counts) {
    std::fill(counts, counts + blocks, uint8_t{0});
    if (cropCode < 0 || cropCode > 255)
        return;
    const uint64_t pattern = 0x0101010101010101ULL * static_cast<uint64_t>(cropCode);
    for (int r = 0; r < kBlockSide; ++r) {
        const uint8_t *row = cropRows + static_cast<size_t>(r) * stride;
        for (size_t k = 0; k < blocks; ++k) {
            uint64_t word;
            std::memcpy(&word, row + k * kBlockSide, sizeof word);
            counts[k] = static_cast<uint8_t>(counts[k] + zeroBytes(word ^ pattern));
        }
    }
}

void shareRow(const uint8_t *counts, size_t blocks, size_t width, int filter, uint8_t rejected,
              const uint8_t *ndviRow, uint8_t *out, WeightedSum &total) {
    const uint32_t lowest = static_cast<uint32_t>(filter);
    uint64_t sum = 0, weight = 0;
    for (size_t k = 0; k < blocks; ++k) {
        const uint32_t pct = sharePercent(counts[k]);
        const bool kept = pct >= lowest;
        out[k] = kept ? static_cast<uint8_t>(pct) : rejected;
        if (ndviRow && kept) {
            sum += pct * uint32_t{ndviRow[k]};
            weight += pct;
        }
    }
    std::fill(out + std::min(blocks, width), out + width, rejected);
    total.sum += sum;
    total.weight += weight;
}

std::string formatAverage(const WeightedSum &total) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << static_cast<double>(total.sum) / static_cast<double>(total.weight);
    return text.str();
}

StripLayout stripLayout(int width, int height, int cropWidth, int cropHeight) {
    StripLayout layout;
    layout.width = width;
    layout.height = height;
    layout.blocks = static_cast<size_t>(std::max(0, std::min(width, cropWidth / kBlockSide)));
    layout.evaluatedRows = std::max(0, std::min(height, cropHeight / kBlockSide));
    layout.cropSpan = layout.blocks * kBlockSide;
    // NDVI rows per strip: the crop rows under them and the NDVI rows both stay near kStripBytes.
    const size_t widestRow =
        std::max(layout.cropSpan * kBlockSide, static_cast<size_t>(std::max(0, width)));
    const size_t rowsPerStrip = std::max<size_t>(1, kStripBytes / std::max<size_t>(1, widestRow));
    layout.ndviRows = std::min<size_t>(rowsPerStrip, static_cast<size_t>(std::max(0, height)));
    return layout;
}

void shareStrip(const StripLayout &layout, const uint8_t *cropStrip, int cropRows,
                const uint8_t *ndviStrip, int rows, const ShareRule &rule, uint8_t *counts,
                uint8_t *percentStrip, WeightedSum &total) {
    const size_t w = static_cast<size_t>(layout.width);
    for (int r = 0; r < rows; ++r) {
        uint8_t *outRow = percentStrip + static_cast<size_t>(r) * w;
        const uint8_t *ndviRow = ndviStrip ? ndviStrip + static_cast<size_t>(r) * w : nullptr;
        if (r < cropRows) {
            countBlocks(cropStrip + static_cast<size_t>(r) * layout.cropSpan * kBlockSide,
                        layout.cropSpan, layout.blocks, rule.cropCode, counts);
            shareRow(counts, layout.blocks, w, rule.filter, rule.rejected, ndviRow, outRow, total);
        } else {
            std::fill(outRow, outRow + w, rule.rejected);
        }
    }
}

namespace {

// The two clips opened for the share stage.
struct Clips {
    fileio::GdalDataset ndvi;
    fileio::GdalDataset crop;
    GDALRasterBand *ndviBand = nullptr;
    GDALRasterBand *cropBand = nullptr;
};

// Opens both clips and their first bands; false after printing which one failed.
bool openClips(const ShareJob &job, std::ostream &out, Clips &clips) {
    clips.ndvi = fileio::openRaster(job.ndviClip);
    if (!clips.ndvi)
        printFailedOpen(out, job.ndviClip);
    clips.crop = fileio::openRaster(job.cropClip);
    if (!clips.crop)
        printFailedOpen(out, job.cropClip);
    if (!clips.ndvi || !clips.crop)
        return false;
    clips.ndviBand = clips.ndvi->GetRasterBand(1);
    clips.cropBand = clips.crop->GetRasterBand(1);
    if (!clips.ndviBand)
        printFailedOpen(out, job.ndviClip);
    if (!clips.cropBand)
        printFailedOpen(out, job.cropClip);
    return clips.ndviBand && clips.cropBand;
}

// Fills the in-memory percentage raster strip by strip: reads the crop rows (and, for the full
// form, the NDVI rows) of a strip, computes its shares and writes them. False after printing why.
bool fillPercentRaster(const ShareJob &job, const StripLayout &layout, Clips &clips,
                       GDALRasterBand &percentBand, WeightedSum &total, std::ostream &out) {
    const bool full = job.form == Form::Full;
    const int width = layout.width, height = layout.height;
    const int cropSpan = static_cast<int>(layout.cropSpan);
    std::vector<uint8_t> cropStrip(layout.cropSpan * kBlockSide * layout.ndviRows);
    std::vector<uint8_t> ndviStrip(full ? static_cast<size_t>(width) * layout.ndviRows : 0);
    std::vector<uint8_t> percentStrip(static_cast<size_t>(width) * layout.ndviRows);
    std::vector<uint8_t> counts(layout.blocks);
    out << "pData was allocated\n";

    ShareRule rule;
    rule.cropCode = job.cropCode;
    rule.filter = job.filter;
    rule.rejected = full ? kFullRejected : kBasicRejected;
    const int stripRows = static_cast<int>(layout.ndviRows);
    for (int row = 0; row < height; row += stripRows) {
        const int rows = std::min(stripRows, height - row);
        const int cropRows = std::max(0, std::min(rows, layout.evaluatedRows - row));
        if (cropRows > 0 && layout.blocks > 0 &&
            clips.cropBand->RasterIO(GF_Read, 0, row * kBlockSide, cropSpan, cropRows * kBlockSide,
                                     cropStrip.data(), cropSpan, cropRows * kBlockSide, GDT_Byte, 0,
                                     0, nullptr) != CE_None) {
            out << "GDAL failed to read " << job.cropClip << "; " << job.percentPath
                << " was not written.\n";
            return false;
        }
        // The strip is read once: dropping its cached blocks keeps memory small, and the block
        // memory is reused for the next strip instead of being faulted in afresh.
        clips.crop->FlushCache(false);
        if (full && clips.ndviBand->RasterIO(GF_Read, 0, row, width, rows, ndviStrip.data(), width,
                                             rows, GDT_Byte, 0, 0, nullptr) != CE_None) {
            out << "GDAL failed to read " << job.ndviClip << "; " << job.percentPath
                << " was not written.\n";
            return false;
        }
        shareStrip(layout, cropStrip.data(), cropRows, full ? ndviStrip.data() : nullptr, rows,
                   rule, counts.data(), percentStrip.data(), total);
        if (percentBand.RasterIO(GF_Write, 0, row, width, rows, percentStrip.data(), width, rows,
                                 GDT_Byte, 0, 0, nullptr) != CE_None) {
            out << "GDAL failed to fill the in-memory raster for " << job.percentPath << ".\n";
            return false;
        }
    }
    return true;
}

// Writes the average file (full form) and the percentage GeoTIFF; false after printing why.
bool writeShareOutputs(const ShareJob &job, GDALDriver &gtiff, GDALDataset &percent,
                       const WeightedSum &total, std::ostream &out) {
    if (job.form == Form::Full) {
        std::string error;
        if (!resultfile::writeResultFile(job.averagePath, formatAverage(total), error)) {
            out << "Can not write the average file " << job.averagePath << ": " << error << "\n";
            return false;
        }
    }
    if (!writeGeoTiff(gtiff, percent, job.percentPath)) {
        out << "GDAL failed to write " << job.percentPath << ".\n";
        return false;
    }
    return true;
}

} // namespace

bool shareFromClips(const ShareJob &job, std::ostream &out) {
    Clips clips;
    if (!openClips(job, out, clips))
        return false;
    GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDriver *mem = GetGDALDriverManager()->GetDriverByName("MEM");
    out << "generatedPercentFile=" << job.percentPath << "\n";
    const StripLayout layout =
        stripLayout(clips.ndvi->GetRasterXSize(), clips.ndvi->GetRasterYSize(),
                    clips.crop->GetRasterXSize(), clips.crop->GetRasterYSize());
    out << "nXSize=" << layout.width << ", nYSize=" << layout.height << "\n";
    out << "cXSize=" << clips.crop->GetRasterXSize() << ", cYSize=" << clips.crop->GetRasterYSize()
        << "\n";
    if (!gtiff || !mem) {
        out << "GDAL has no GTiff or MEM driver; " << job.percentPath << " was not written.\n";
        return false;
    }
    fileio::GdalDataset percent(mem->Create("", layout.width, layout.height, 1, GDT_Byte, nullptr));
    if (!percent) {
        out << "GDAL failed to create the in-memory raster for " << job.percentPath << ".\n";
        return false;
    }
    percent->SetProjection(clips.ndvi->GetProjectionRef());
    double gt[6];
    if (clips.ndvi->GetGeoTransform(gt) == CE_None)
        percent->SetGeoTransform(gt);

    WeightedSum total;
    if (!fillPercentRaster(job, layout, clips, *percent->GetRasterBand(1), total, out))
        return false;
    return writeShareOutputs(job, *gtiff, *percent, total, out);
}

int runForm(Form form, const cli::Args &args, std::ostream &out) {
    const bool full = form == Form::Full;
    const size_t argc = args.size();
    if (full)
        out << "argc=" << argc << "\n";
    if (argc < (full ? 9u : 8u)) {
        printUsage(out, form);
        return cli::kExitSuccess;
    }
    const std::string &countyPath = args[1], &countyCode = args[2];
    const std::string &ndviPath = args[3], &cropPath = args[4];
    const std::string &cropCodeText = args[5], &tempFolder = args[6], &filterText = args[7];
    const std::string averagePath = full ? args[8] : "";
    if (full) {
        for (size_t i = 0; i < argc; ++i)
            out << i << ": " << args[i] << "\n";
        out << averagePath << "\n";
    }
    const int cropCode = parseWholeNumber(cropCodeText);
    const int filter = parseWholeNumber(filterText);
    const std::string ndviClip = clipName(tempFolder, ndviPath, countyCode);
    const std::string cropClip = clipName(tempFolder, cropPath, countyCode);
    if (full) {
        std::string error;
        if (!resultfile::emptyResultFile(averagePath, error)) {
            out << "Can not open the average file " << averagePath << ": " << error << "\n";
            return cli::kExitFailure;
        }
    }

    ClipFiles clips(form, ndviClip, cropClip);
    if (!clip(out, "NDVI", countyPath, countyCode, "240", ndviPath, ndviClip))
        return cli::kExitFailure;
    if (!clip(out, "CDL", countyPath, countyCode, "30", cropPath, cropClip))
        return cli::kExitFailure;
    ShareJob job;
    job.form = form;
    job.ndviClip = ndviClip;
    job.cropClip = cropClip;
    job.percentPath = percentName(tempFolder, countyCode, cropCodeText, filterText);
    job.averagePath = averagePath;
    job.cropCode = cropCode;
    job.filter = filter;
    if (!shareFromClips(job, out))
        return cli::kExitFailure;
    clips.remove();
    out << "Bye\n";
    return cli::kExitSuccess;
}

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    return runForm(Form::Full, args, out);
}

} // namespace cropshare

namespace cropshare_basic {

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    return cropshare::runForm(cropshare::Form::Basic, args, out);
}

} // namespace cropshare_basic
} // namespace veg
