// The run of peakcomposite: the list file, the inputs folded one by one in list order, and the
// composite grid written under a temporary name and renamed into place when complete.
#include "peakcomposite.h"

#include "compositerules.h"
#include "gridio.h"
#include "products.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <new>

namespace peakcomposite {
namespace {

constexpr int kEarlyStop = 255;
constexpr int kOutputFailed = 1;

void printUsage(std::FILE *out, const char *name) {
    std::fprintf(out,
                 "Usage: %s <input NDVI list filename> <output filename> {grid name} {ndvi field "
                 "name - 16bit} {ndvi field name - 8bit} {qc field name}\n",
                 name);
    std::fprintf(out, "     {grid name} - used for input and output. Default - '%s'\n",
                 veg::grid::kGridName);
    std::fprintf(out,
                 "     {ndvi field name - 16bit} - used for input and output. Default - '%s'\n",
                 veg::grid::kNdviField);
    std::fprintf(out, "     {ndvi field name - 8bit} - used for input and output. Default - '%s'\n",
                 veg::grid::kNdvi8Field);
    std::fprintf(out, "     {qc field name} - used for output qc layer. Default - '%s'\n",
                 veg::grid::kQcField);
}

// One array of `cells` values, uninitialised; null when memory runs out.
template <typename T> std::unique_ptr<T[]> allocateCells(size_t cells) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[cells]);
}

// The composite under construction and the per-input buffers, all of one cell count.
struct Composite {
    veg::grid::Edge edge; // (rows, columns) of the first readable input
    size_t cells = 0;     // 0 until the first readable input
    std::unique_ptr<int16_t[]> ndvi16;
    std::unique_ptr<uint8_t[]> ndvi8;
    std::unique_ptr<uint8_t[]> quality;
    std::unique_ptr<int16_t[]> input16;
    std::unique_ptr<uint8_t[]> input8;
    veg::grid::GridGeometry geometry; // of the last input folded in
    std::string dimList;              // of that input's 8-bit field

    bool exists() const { return cells != 0; }
};

enum class AllocationResult { Done, TooLarge, OutOfMemory };

AllocationResult allocate(Composite &c, const veg::grid::GridGeometry &g) {
    const std::optional<size_t> bytes16 =
        veg::grid::checkedCellCount(g.rows, g.columns, sizeof(int16_t));
    if (!bytes16) {
        return AllocationResult::TooLarge;
    }
    const size_t cells = *bytes16 / sizeof(int16_t);
    c.ndvi16 = allocateCells<int16_t>(cells);
    c.ndvi8 = allocateCells<uint8_t>(cells);
    c.quality = allocateCells<uint8_t>(cells);
    c.input16 = allocateCells<int16_t>(cells);
    c.input8 = allocateCells<uint8_t>(cells);
    if (!c.ndvi16 || !c.ndvi8 || !c.quality || !c.input16 || !c.input8) {
        return AllocationResult::OutOfMemory;
    }
    std::fill_n(c.ndvi16.get(), cells, veg::grid::kNoData16);
    std::fill_n(c.ndvi8.get(), cells, veg::grid::kNoData8);
    std::fill_n(c.quality.get(), cells, veg::grid::kNoData8);
    c.cells = cells;
    c.edge = veg::grid::rowsColumns(g);
    return AllocationResult::Done;
}

enum class InputResult { Folded, Skipped, Stop };

// Opens one list entry, checks it against the composite and folds it in. Prints the warning for an
// entry that is skipped and the failure message for one that ends the run.
InputResult foldInput(const Options &options, const std::string &path, uint8_t position,
                      Composite &composite, std::FILE *err) {
    const auto warn = [&] {
        std::fprintf(err, "Warning: failed at opening file or get info for %s from %s.\n",
                     path.c_str(), options.listPath.c_str());
        return InputResult::Skipped;
    };
    if (path.size() > kMaxPathLength) {
        std::fprintf(err, "Warning: path %s from %s is longer than %zu characters.\n", path.c_str(),
                     options.listPath.c_str(), kMaxPathLength);
        return InputResult::Skipped;
    }
    veg::grid::GridReader reader;
    if (!reader.open(path, options.gridName)) {
        return warn();
    }
    const veg::grid::GridGeometry &g = reader.geometry();
    const std::optional<veg::grid::FieldInfo> info16 = reader.fieldInfo(options.ndvi16Field);
    const std::optional<veg::grid::FieldInfo> info8 =
        info16 ? reader.fieldInfo(options.ndvi8Field) : std::nullopt;
    if (!info8 || g.rows < 1 || g.columns < 1) {
        return warn();
    }
    if (!composite.exists()) {
        switch (allocate(composite, g)) {
        case AllocationResult::Done:
            break;
        case AllocationResult::TooLarge:
            return warn();
        case AllocationResult::OutOfMemory:
            std::fprintf(err, "Error: not enough memory for a grid of %d x %d cells from %s.\n",
                         g.columns, g.rows, path.c_str());
            return InputResult::Stop;
        }
    } else if (g.rows != composite.edge.first || g.columns != composite.edge.second) {
        // An input on another grid cannot be folded cell by cell.
        return warn();
    }
    const size_t n = composite.cells;
    if (!reader.readField(options.ndvi16Field, composite.edge, composite.input16.get(), n) ||
        !reader.readField(options.ndvi8Field, composite.edge, composite.input8.get(), n)) {
        std::fprintf(err, "read data from %s failed.\n", path.c_str());
        return InputResult::Stop;
    }
    foldNdvi16(composite.input16.get(), composite.ndvi16.get(), composite.quality.get(), n,
               position);
    foldNdvi8(composite.input8.get(), composite.ndvi8.get(), n);
    composite.geometry = g;
    composite.dimList = info8->dimList;
    return InputResult::Folded;
}

// Writes the composite grid; prints the failure message and returns false when any step fails, in
// which case nothing appears under the output name.
bool writeComposite(const Options &options, const Composite &composite,
                    const std::string &lastEntry, std::FILE *err) {
    const veg::grid::ProductLayout layout =
        veg::grid::compositeLayout(options.ndvi16Field, options.ndvi8Field, options.qcField);
    const char *output = options.outputPath.c_str();
    veg::grid::GridWriter writer;
    if (!writer.create(options.outputPath, options.gridName, composite.geometry) ||
        !writer.defineFields(layout, composite.dimList)) {
        std::fprintf(err, "create output file/grid/field %s for %s failed.\n", output,
                     lastEntry.c_str());
        return false;
    }
    const size_t n = composite.cells;
    if (!writer.writeField(options.ndvi16Field, composite.edge, composite.ndvi16.get(), n)) {
        std::fprintf(err, "write 16bit NDVI data to %s failed.\n", output);
        return false;
    }
    if (!writer.writeField(options.ndvi8Field, composite.edge, composite.ndvi8.get(), n)) {
        std::fprintf(err, "write 8bit NDVI data to %s failed.\n", output);
        return false;
    }
    if (!writer.writeField(options.qcField, composite.edge, composite.quality.get(), n)) {
        std::fprintf(err, "write NDVI Quality data to %s failed.\n", output);
        return false;
    }
    if (!writer.writeLayoutAttributes(layout)) {
        std::fprintf(err, "write attributes to %s failed.\n", output);
        return false;
    }
    if (!writer.commit()) {
        std::fprintf(err, "close output file %s failed.\n", output);
        return false;
    }
    return true;
}

} // namespace

bool parseArguments(int argc, const char *const *argv, Options &options) {
    if (argc < 3) {
        return false;
    }
    options.listPath = argv[1];
    options.outputPath = argv[2];
    if (argc > 3)
        options.gridName = argv[3];
    if (argc > 4)
        options.ndvi16Field = argv[4];
    if (argc > 5)
        options.ndvi8Field = argv[5];
    if (argc > 6)
        options.qcField = argv[6];
    return true;
}

bool readListFile(const std::string &path, size_t maxEntries, std::vector<std::string> &entries) {
    entries.clear();
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> owner(file, &std::fclose);
    std::string token;
    int ch;
    while ((ch = std::getc(file)) != EOF) {
        if (std::isspace(ch)) {
            if (!token.empty()) {
                entries.push_back(token);
                token.clear();
                if (entries.size() > maxEntries) {
                    return true;
                }
            }
        } else {
            token.push_back(static_cast<char>(ch));
        }
    }
    if (std::ferror(file)) {
        return false;
    }
    if (!token.empty()) {
        entries.push_back(token);
    }
    return true;
}

int runPeakComposite(int argc, const char *const *argv, std::FILE *out, std::FILE *err) {
    std::fprintf(out, "Inn\n");
    Options options;
    if (!parseArguments(argc, argv, options)) {
        printUsage(out, argc > 0 ? argv[0] : "peakcomposite");
        return kEarlyStop;
    }
    std::vector<std::string> entries;
    if (!readListFile(options.listPath, kMaxListEntries, entries)) {
        std::fprintf(out, "Error: file %s cannot be openned for reading.\n",
                     options.listPath.c_str());
        return kEarlyStop;
    }
    if (entries.size() > kMaxListEntries) {
        std::fprintf(err,
                     "Error: list %s has more than %zu entries; the quality layer cannot record "
                     "their positions.\n",
                     options.listPath.c_str(), kMaxListEntries);
        return kEarlyStop;
    }

    Composite composite;
    uint8_t position = 0;
    for (const std::string &path : entries) {
        position = nextListPosition(position);
        std::fprintf(out, "%d processing %s\n", position, path.c_str());
        std::fflush(out);
        if (foldInput(options, path, position, composite, err) == InputResult::Stop) {
            return kEarlyStop;
        }
    }
    if (!composite.exists()) {
        std::fprintf(err, "Error: no input of %s could be opened and read; no output written.\n",
                     options.listPath.c_str());
        return kEarlyStop;
    }
    if (!writeComposite(options, composite, entries.back(), err)) {
        std::fprintf(err, "Failed.\n");
        return kOutputFailed;
    }
    std::fprintf(out, "O.K.\n");
    return 0;
}

} // namespace peakcomposite
