// Whole products on top of the grid I/O: writing a product grid in one call (create, define,
// write every field, attributes, commit) and reading a series of inputs that must all lie on the
// grid of the first readable one. Nothing here prints; results say what happened and the
// calling program turns them into its messages.
#pragma once

#include "gridio.h"
#include "memorycheck.h"
#include "products.h"
#include "readguard.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace veg::grid {

// An array of `cells` values, left uninitialised; null when the byte count overflows or memory
// runs out, so that a program can name the grid that did not fit.
template <typename T> std::unique_ptr<T[]> allocateCells(size_t cells) {
    if (cells > std::numeric_limits<size_t>::max() / sizeof(T)) {
        return nullptr;
    }
    return std::unique_ptr<T[]>(new (std::nothrow) T[cells]);
}

// The cells of one field to be written: number type, address and size in bytes.
struct FieldCells {
    int32_t numberType = 0;
    const void *data = nullptr;
    size_t bytes = 0;
};

template <typename T> FieldCells cellsOf(const T *data, size_t count) {
    return FieldCells{NumberTypeOf<T>::value, data, count * sizeof(T)};
}

// An array that one field is read into: number type, address and size in bytes.
struct FieldBuffer {
    int32_t numberType = 0;
    void *data = nullptr;
    size_t bytes = 0;
};

template <typename T> FieldBuffer bufferOf(T *data, size_t count) {
    return FieldBuffer{NumberTypeOf<T>::value, data, count * sizeof(T)};
}

// Attributes written on a field after those of the layout (the daily grid's carried fields take
// their first tile's attributes this way). An empty list writes nothing.
struct FieldAttributes {
    std::string field;
    std::vector<Attribute> attributes;
};

// Where a product grid goes and what it looks like.
struct ProductTarget {
    std::string path;
    std::string gridName = kGridName;
    GridGeometry geometry; // copied unchanged onto the new grid
    std::string dimList;   // of every field, e.g. "YDim,XDim"
    ProductLayout layout;  // fields in the order they are defined and written
    Edge edge;             // of every whole-field write, in the order of the dimension list
};

// The step at which writing a product stopped; None when the product was written and renamed
// into place.
enum class WriteStep { None, Create, Field, Attributes, Commit };

struct WriteResult {
    WriteStep failedAt = WriteStep::None;
    size_t field = 0; // with WriteStep::Field: the layout index of the field that failed
    // After a failure: the size the file had reached, and the bytes of the field being written
    // (0 past the fields), to tell a file that ran into a size limit.
    uint64_t fileBytes = 0;
    uint64_t pendingBytes = 0;

    bool ok() const { return failedAt == WriteStep::None; }
};

// HDF4 keeps file offsets in 32 bits: none of its files can pass 2 GiB.
constexpr uint64_t kHdf4FileLimit = 2147483647;

// A size limit that a write ran into: HDF4's own, or the process's file size limit (ulimit -f)
// when that is lower.
struct FileLimit {
    uint64_t bytes = kHdf4FileLimit;
    bool ofFormat = true;
};

// The process's file size limit in bytes; nothing when there is none.
std::optional<uint64_t> processFileSizeLimit();

// The limit that a failed write ran into: the write stopped once the file, with the field it
// was writing, came within a megabyte of HDF4's limit or of `processLimit` when lower. Nothing
// for a write that did not fail or failed short of every limit.
std::optional<FileLimit> limitReached(const WriteResult &result,
                                      std::optional<uint64_t> processLimit);

// The line a program adds after its message for a failed write that reached a limit (empty when
// it did not): which limit, and to cut the area into smaller regions.
std::string fileLimitAdvice(const WriteResult &result, const std::string &path,
                            std::optional<uint64_t> processLimit = processFileSizeLimit());

// A product written in two steps, for a program that makes its output before it reads its
// inputs: create() makes the file, the grid and every field of the layout; write() writes the
// fields, the layout's attributes, the extra attributes and renames the file onto the target.
// Any failure removes the temporary file; an existing file of the target's name stays untouched.
class ProductWriter {
  public:
    // WriteStep::Create when the file, the grid or a field cannot be made.
    WriteResult create(const ProductTarget &target);
    // `fields` holds one entry per layout field, in layout order, of the field's number type and
    // edge. A missing or mismatched entry fails as that field's write.
    WriteResult write(const std::vector<FieldCells> &fields,
                      const std::vector<FieldAttributes> &extraAttributes = {});
    void abandon() { writer_.abandon(); }
    std::vector<std::string> leftovers() const { return writer_.leftovers(); }

  private:
    GridWriter writer_;
    ProductTarget target_;
};

// create() and write() of a ProductWriter in one call.
WriteResult writeProduct(const ProductTarget &target, const std::vector<FieldCells> &fields,
                         const std::vector<FieldAttributes> &extraAttributes = {});

// How one input of a series compares with the first readable input.
enum class InputStatus {
    First,            // the first readable input: it fixes the grid; allocate the arrays now
    Same,             // on the grid of the first input
    Unreadable,       // the file, the grid or a field cannot be opened or queried, or no cells
    TooLarge,         // the first readable input has more cells than any array can hold
    DiffersFromFirst, // another size or another dimension list than the first input
};

// A series of inputs folded cell by cell into one set of arrays (the compositor, the extremes
// builders, the daily condition builder): every input is probed after the inputs before it
// (SequenceProbe), opened, its fields queried, and its size and the dimension list of each field
// compared with the first readable input's, so that an input whose cells are laid out differently
// is never folded in as if they matched (a square grid of "XDim,YDim" against one of "YDim,XDim"
// differs like a grid of another size).
class InputSeries {
  public:
    // `fields`: the fields read from every input, in the order they are queried and read.
    // `bytesPerCell`: the bytes that the program's arrays take per cell, for the size check.
    InputSeries(std::string gridName, std::vector<std::string> fields, size_t bytesPerCell);

    // Opens an input and compares it with the first. The input stays open for readFields()
    // until the next open().
    InputStatus open(const std::string &path);
    // Reads every field of the open input whole, field i into buffers[i] (one entry per field,
    // holding the series' cell count). False, with the read stopped, when a field is not of its
    // buffer's number type or a read fails. On success the input's geometry and dimension list
    // become those of the output.
    bool readFields(const std::vector<FieldBuffer> &buffers);

    bool started() const { return cells_ != 0; }
    // Nothing when the program's arrays for the first input's cells fit into `available` bytes
    // (or the figure is unknown); else what they need and what is there.
    std::optional<MemoryShortfall> memoryShortfall(std::optional<uint64_t> available) const {
        return checkMemory(static_cast<uint64_t>(cells_) * bytesPerCell_, available);
    }
    size_t cells() const { return cells_; }
    Edge edge() const { return edge_; }
    // The geometry of the input just opened (for messages), and of the first readable input.
    const GridGeometry &inputGeometry() const { return reader_.geometry(); }
    const GridGeometry &firstGeometry() const { return first_; }
    // Geometry and dimension list (of the last field) of the last input read whole.
    const GridGeometry &outputGeometry() const { return output_; }
    const std::string &outputDimList() const { return outputDimList_; }

  private:
    std::string gridName_;
    std::vector<std::string> fields_;
    size_t bytesPerCell_;
    SequenceProbe probe_; // the inputs are probed in the order the series opens them
    GridReader reader_;
    std::vector<FieldInfo> infos_;      // of the input just opened
    std::vector<std::string> dimLists_; // of the first readable input, one per field
    GridGeometry first_;
    Edge edge_;
    size_t cells_ = 0;
    GridGeometry output_;
    std::string outputDimList_;
};

} // namespace veg::grid
