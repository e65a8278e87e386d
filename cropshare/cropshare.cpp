// County crop share: clipping through gdalwarp, block shares, the percentage raster and the mean.
#include "cropshare.h"

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

// Removes a partly written file unless it was handed over.
class PartialFile {
  public:
    explicit PartialFile(std::string path) : path_(std::move(path)) {}
    ~PartialFile() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;
    void release() { path_.clear(); }

  private:
    std::string path_;
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

GDALDatasetUniquePtr openClip(const std::string &path) {
    return GDALDatasetUniquePtr(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
}

// Copies the finished in-memory raster to a GeoTIFF beside `path` and renames it into place.
bool writeGeoTiff(GDALDriver &driver, GDALDataset &raster, const std::string &path) {
    const std::string temp = temporarySibling(path);
    PartialFile partial(temp);
    CPLErrorReset();
    GDALDatasetUniquePtr copy(
        driver.CreateCopy(temp.c_str(), &raster, FALSE, nullptr, nullptr, nullptr));
    if (!copy)
        return false;
    copy->FlushCache(true);
    copy.reset();
    // Closing reports a failed write only through GDAL's error state.
    const bool ok = CPLGetLastErrorType() != CE_Failure && CPLGetLastErrorType() != CE_Fatal;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0)
        return false;
    partial.release();
    return true;
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

int run(Form form, int argc, const char *const *argv, std::ostream &out) {
    const bool full = form == Form::Full;
    if (full)
        out << "argc=" << argc << "\n";
    if (argc < (full ? 9 : 8)) {
        printUsage(out, form);
        return 0;
    }
    const std::string countyPath = argv[1], countyCode = argv[2];
    const std::string ndviPath = argv[3], cropPath = argv[4];
    const std::string cropCodeText = argv[5], tempFolder = argv[6], filterText = argv[7];
    const std::string averagePath = full ? argv[8] : "";
    if (full) {
        for (int i = 0; i < argc; ++i)
            out << i << ": " << argv[i] << "\n";
        out << averagePath << "\n";
    }
    const int cropCode = parseWholeNumber(cropCodeText);
    const int filter = parseWholeNumber(filterText);
    const std::string ndviClip = clipName(tempFolder, ndviPath, countyCode);
    const std::string cropClip = clipName(tempFolder, cropPath, countyCode);
    if (full) {
        std::string error;
        if (!emptyResultFile(averagePath, error)) {
            out << "Can not open the average file " << averagePath << ": " << error << "\n";
            return 1;
        }
    }

    ClipFiles clips(form, ndviClip, cropClip);
    if (!clip(out, "NDVI", countyPath, countyCode, "240", ndviPath, ndviClip))
        return 1;
    if (!clip(out, "CDL", countyPath, countyCode, "30", cropPath, cropClip))
        return 1;
    ShareJob job;
    job.form = form;
    job.ndviClip = ndviClip;
    job.cropClip = cropClip;
    job.percentPath = percentName(tempFolder, countyCode, cropCodeText, filterText);
    job.averagePath = averagePath;
    job.cropCode = cropCode;
    job.filter = filter;
    if (!shareFromClips(job, out))
        return 1;
    clips.remove();
    out << "Bye\n";
    return 0;
}

bool shareFromClips(const ShareJob &job, std::ostream &out) {
    const bool full = job.form == Form::Full;
    const std::string &ndviClip = job.ndviClip, &cropClip = job.cropClip;
    const std::string &percentPath = job.percentPath, &averagePath = job.averagePath;
    const int cropCode = job.cropCode, filter = job.filter;
    GDALAllRegister();
    GDALDatasetUniquePtr ndvi = openClip(ndviClip);
    if (!ndvi)
        printFailedOpen(out, ndviClip);
    GDALDatasetUniquePtr crop = openClip(cropClip);
    if (!crop)
        printFailedOpen(out, cropClip);
    if (!ndvi || !crop)
        return false;
    GDALRasterBand *ndviBand = ndvi->GetRasterBand(1);
    GDALRasterBand *cropBand = crop->GetRasterBand(1);
    if (!ndviBand)
        printFailedOpen(out, ndviClip);
    if (!cropBand)
        printFailedOpen(out, cropClip);
    if (!ndviBand || !cropBand)
        return false;

    GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDriver *mem = GetGDALDriverManager()->GetDriverByName("MEM");
    out << "generatedPercentFile=" << percentPath << "\n";
    const int width = ndvi->GetRasterXSize(), height = ndvi->GetRasterYSize();
    const int cropWidth = crop->GetRasterXSize(), cropHeight = crop->GetRasterYSize();
    out << "nXSize=" << width << ", nYSize=" << height << "\n";
    out << "cXSize=" << cropWidth << ", cYSize=" << cropHeight << "\n";
    if (!gtiff || !mem) {
        out << "GDAL has no GTiff or MEM driver; " << percentPath << " was not written.\n";
        return false;
    }

    GDALDatasetUniquePtr percent(mem->Create("", width, height, 1, GDT_Byte, nullptr));
    if (!percent) {
        out << "GDAL failed to create the in-memory raster for " << percentPath << ".\n";
        return false;
    }
    percent->SetProjection(ndvi->GetProjectionRef());
    double gt[6];
    if (ndvi->GetGeoTransform(gt) == CE_None)
        percent->SetGeoTransform(gt);
    GDALRasterBand *percentBand = percent->GetRasterBand(1);

    // NDVI cells with a whole 8x8 crop block: `blocks` columns of the first `evaluatedRows` rows.
    const size_t blocks = static_cast<size_t>(std::min(width, cropWidth / kBlockSide));
    const int evaluatedRows = std::min(height, cropHeight / kBlockSide);
    const size_t cropSpan = blocks * kBlockSide; // crop columns read per row
    // NDVI rows per strip: the crop rows under them and the NDVI rows both stay near kStripBytes.
    const size_t widestRow = std::max(cropSpan * kBlockSide, static_cast<size_t>(width));
    const size_t rowsPerStrip = std::max<size_t>(1, kStripBytes / std::max<size_t>(1, widestRow));
    const size_t ndviRows = std::min<size_t>(rowsPerStrip, static_cast<size_t>(height));
    std::vector<uint8_t> cropStrip(cropSpan * kBlockSide * ndviRows);
    std::vector<uint8_t> ndviStrip(full ? static_cast<size_t>(width) * ndviRows : 0);
    std::vector<uint8_t> percentStrip(static_cast<size_t>(width) * ndviRows);
    std::vector<uint8_t> counts(blocks);
    out << "pData was allocated\n";

    const uint8_t rejected = full ? kFullRejected : kBasicRejected;
    WeightedSum total;
    for (int row = 0; row < height; row += static_cast<int>(ndviRows)) {
        const int rows = std::min(static_cast<int>(ndviRows), height - row);
        const int cropRows = std::max(0, std::min(rows, evaluatedRows - row));
        if (cropRows > 0 && blocks > 0 &&
            cropBand->RasterIO(GF_Read, 0, row * kBlockSide, static_cast<int>(cropSpan),
                               cropRows * kBlockSide, cropStrip.data(), static_cast<int>(cropSpan),
                               cropRows * kBlockSide, GDT_Byte, 0, 0, nullptr) != CE_None) {
            out << "GDAL failed to read " << cropClip << "; " << percentPath
                << " was not written.\n";
            return false;
        }
        // The strip is read once: dropping its cached blocks keeps memory small, and the block
        // memory is reused for the next strip instead of being faulted in afresh.
        crop->FlushCache(false);
        if (full && ndviBand->RasterIO(GF_Read, 0, row, width, rows, ndviStrip.data(), width, rows,
                                       GDT_Byte, 0, 0, nullptr) != CE_None) {
            out << "GDAL failed to read " << ndviClip << "; " << percentPath
                << " was not written.\n";
            return false;
        }
        for (int r = 0; r < rows; ++r) {
            const size_t w = static_cast<size_t>(width);
            uint8_t *outRow = percentStrip.data() + static_cast<size_t>(r) * w;
            const uint8_t *ndviRow = full ? ndviStrip.data() + static_cast<size_t>(r) * w : nullptr;
            if (r < cropRows) {
                countBlocks(cropStrip.data() + static_cast<size_t>(r) * cropSpan * kBlockSide,
                            cropSpan, blocks, cropCode, counts.data());
                shareRow(counts.data(), blocks, w, filter, rejected, ndviRow, outRow, total);
            } else {
                std::fill(outRow, outRow + w, rejected);
            }
        }
        if (percentBand->RasterIO(GF_Write, 0, row, width, rows, percentStrip.data(), width, rows,
                                  GDT_Byte, 0, 0, nullptr) != CE_None) {
            out << "GDAL failed to fill the in-memory raster for " << percentPath << ".\n";
            return false;
        }
    }

    if (full) {
        std::string error;
        if (!writeResultFile(averagePath, formatAverage(total), error)) {
            out << "Can not write the average file " << averagePath << ": " << error << "\n";
            return false;
        }
    }
    if (!writeGeoTiff(*gtiff, *percent, percentPath)) {
        out << "GDAL failed to write " << percentPath << ".\n";
        return false;
    }
    ndvi.reset();
    crop.reset();
    percent.reset();
    return true;
}

} // namespace cropshare
} // namespace veg
