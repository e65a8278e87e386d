// Reading and writing HDF-EOS grid files: owners of the library handles, the geometry copy, checked
// whole-field reads and writes, field definition with compression, SD attributes, and outputs that
// appear under their name only once they are complete.
//
// Every function reports failure by its return value (false, or an empty optional) and never
// prints; the calling program decides on messages and statuses. Fields are row-major arrays: with
// the usual dimension list "YDim,XDim" the edge is (rows, columns) and cell (r, c) is element r x
// columns + c.
#pragma once

#include "fieldinflate.h"
#include "products.h"

#include "atomicfile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veg::grid {

class SequenceProbe;

// Everything the geometry copy carries from an input grid to an output grid, unchanged.
struct GridGeometry {
    int32_t columns = 0;                // XDim
    int32_t rows = 0;                   // YDim
    std::array<double, 2> upperLeft{};  // projection coordinates (x, y) of the upper-left corner
    std::array<double, 2> lowerRight{}; // and of the lower-right corner
    int32_t projectionCode = 0;         // GCTP projection code (16: sinusoidal)
    int32_t zoneCode = 0;
    int32_t sphereCode = 0; // -1: sphere given by the parameters
    std::array<double, 13> projectionParameters{};
    int32_t originCode = 0; // HDFE_GD_UL = 0
    // Whether the corners are those of the outer cells' corners or of their centres (HDFE_CENTER
    // = 0, HDFE_CORNER = 1); copied with the origin so that the outputs do not shift by half a
    // cell against their input.
    int32_t pixelRegistration = 0;
};

// What GDfieldinfo tells about one field.
struct FieldInfo {
    int32_t rank = 0;
    std::vector<int32_t> dims; // sizes in the order of the dimension list
    int32_t numberType = 0;
    std::string dimList; // e.g. "YDim,XDim"
};

// Two edge lengths of a whole 2-D field, in the order of its dimension list.
struct Edge {
    int32_t first = 0;  // rows for "YDim,XDim"
    int32_t second = 0; // columns for "YDim,XDim"
};

// The edge (rows, columns) of a grid, as used for every whole-field read and write of "YDim,XDim"
// fields.
inline Edge rowsColumns(const GridGeometry &g) { return Edge{g.rows, g.columns}; }

// a x b x elementSize as a size_t, or nothing when a or b is negative or the product overflows.
// Use it before allocating any array of one value per cell.
std::optional<size_t> checkedCellCount(int64_t a, int64_t b, size_t elementSize = 1);

// ---- Owners of library handles (move-only; the destructor releases what close() did not) ----

// Longest file path handed to the HDF-EOS library, in characters. Its open call copies the name,
// after a prefix of its own, into a fixed buffer of 512 bytes and overruns it from about 460
// characters on; longer paths are refused before the call.
constexpr size_t kMaxEosPathLength = 400;

// An HDF-EOS file (GDopen/GDclose).
class EosFile {
  public:
    enum class Access { Read, Create };
    EosFile() = default;
    ~EosFile();
    EosFile(EosFile &&other) noexcept;
    EosFile &operator=(EosFile &&other) noexcept;
    EosFile(const EosFile &) = delete;
    EosFile &operator=(const EosFile &) = delete;

    // Opens (Read) or creates, replacing any file of that name (Create). False on failure, and
    // for a path longer than kMaxEosPathLength, which the library cannot take.
    bool open(const std::string &path, Access access);
    // GDclose; true when the file was open and closed without error. Idempotent.
    bool close();
    bool isOpen() const { return id_ != -1; }
    int32_t id() const { return id_; }

  private:
    int32_t id_ = -1;
};

// A grid inside an open EosFile (GDattach or GDcreate / GDdetach). Must be detached before the
// file is closed: declare it after the file, or call detach() first.
class EosGrid {
  public:
    EosGrid() = default;
    ~EosGrid();
    EosGrid(EosGrid &&other) noexcept;
    EosGrid &operator=(EosGrid &&other) noexcept;
    EosGrid(const EosGrid &) = delete;
    EosGrid &operator=(const EosGrid &) = delete;

    // GDattach of an existing grid by name.
    bool attach(const EosFile &file, const std::string &gridName);
    // GDcreate with the geometry's counts and corners, then GDdefproj, GDdeforigin and
    // GDdefpixreg with its projection, origin and pixel registration, all unchanged. False when any
    // call fails.
    bool create(const EosFile &file, const std::string &gridName, const GridGeometry &geometry);
    bool detach();
    bool isAttached() const { return id_ != -1; }
    int32_t id() const { return id_; }
    // The id of the file the grid was attached in or created in (-1 when detached).
    int32_t fileId() const { return fileId_; }

  private:
    int32_t id_ = -1;
    int32_t fileId_ = -1;
};

// The HDF4 SD interface of a file opened on its own (SDstart/SDend), for reading attributes of
// any HDF4 file. The SD interface of an open EosFile comes from EHidinfo and needs no owner.
class SdInterface {
  public:
    SdInterface() = default;
    ~SdInterface();
    SdInterface(SdInterface &&other) noexcept;
    SdInterface &operator=(SdInterface &&other) noexcept;
    SdInterface(const SdInterface &) = delete;
    SdInterface &operator=(const SdInterface &) = delete;

    bool start(const std::string &path); // read-only
    bool end();
    int32_t id() const { return id_; }

  private:
    int32_t id_ = -1;
};

// One SD data set (SDselect/SDendaccess).
class SdDataSet {
  public:
    SdDataSet() = default;
    ~SdDataSet();
    SdDataSet(SdDataSet &&other) noexcept;
    SdDataSet &operator=(SdDataSet &&other) noexcept;
    SdDataSet(const SdDataSet &) = delete;
    SdDataSet &operator=(const SdDataSet &) = delete;

    // SDnametoindex + SDselect on an SD interface id.
    bool select(int32_t sdId, const std::string &name);
    bool endAccess();
    int32_t id() const { return id_; }

  private:
    int32_t id_ = -1;
};

// ---- Operations on an attached grid ----

// The geometry queries (GDgridinfo, GDprojinfo, GDorigininfo, GDpixreginfo, GDinqdims); nothing
// when any of them fails.
std::optional<GridGeometry> readGeometry(const EosGrid &grid);

// The names of a grid's fields, in the order GDinqfields lists them; empty when the query fails.
std::vector<std::string> readFieldNames(const EosGrid &grid);

// GDfieldinfo of a field; nothing when the call fails.
std::optional<FieldInfo> readFieldInfo(const EosGrid &grid, const std::string &field);

// Reads a whole 2-D field into `buffer` of `bufferBytes` bytes. The field must be of rank 2, with
// exactly the dimension sizes `edge` and the number type `numberType`, and the buffer must hold
// edge.first x edge.second values of that type; otherwise nothing is read and false is returned.
// A field stored as one deflated stream is decoded by libdeflate (fieldinflate.h), any other by
// HDF4's read; the values are the same either way. False, too, when the stream is damaged. With
// `keep`, the stream of a field decoded by libdeflate is kept there (else `keep` is emptied).
bool readFieldBytes(const EosGrid &grid, const std::string &field, int32_t numberType, Edge edge,
                    void *buffer, size_t bufferBytes, KeptStream *keep = nullptr);

// Typed form: the number type follows from T (int16_t: DFNT_INT16, uint8_t: DFNT_UINT8, ...).
template <typename T>
bool readField(const EosGrid &grid, const std::string &field, Edge edge, T *data, size_t count,
               KeptStream *keep = nullptr) {
    return readFieldBytes(grid, field, NumberTypeOf<T>::value, edge, data, count * sizeof(T), keep);
}

// Reads the window of a rank-2 field that starts at `start` and spans `edge`, both in the order of
// the field's dimension list, into `buffer` (edge.first x edge.second values, row-major in that
// order). False, with nothing read, when the field is not of rank 2 or not of `numberType`, when
// the window is empty or reaches outside the field, when the buffer is too small, or when the
// read fails. A window of a field stored as one deflated stream is cut from the whole field,
// decoded by libdeflate into an array of its own (extra memory: the field, decoded and
// compressed); the whole field is read as readFieldBytes reads it.
bool readFieldWindowBytes(const EosGrid &grid, const std::string &field, int32_t numberType,
                          Edge start, Edge edge, void *buffer, size_t bufferBytes);

template <typename T>
bool readFieldWindow(const EosGrid &grid, const std::string &field, Edge start, Edge edge, T *data,
                     size_t count) {
    return readFieldWindowBytes(grid, field, NumberTypeOf<T>::value, start, edge, data,
                                count * sizeof(T));
}

// GDdefcomp (deflate level 9 or none) followed by GDdeffield with the dimension list and number
// type, unmerged.
bool defineField(const EosGrid &grid, const std::string &field, const std::string &dimList,
                 int32_t numberType, Compression compression);

// Defines every field of a layout in its order with the layout's compression; false at the first
// failure.
bool defineFields(const EosGrid &grid, const ProductLayout &layout, const std::string &dimList);

// Writes a whole 2-D field of edge.first x edge.second values (GDwritefield, no start, no stride).
// False when the buffer is smaller than the edge or the call fails.
bool writeFieldBytes(const EosGrid &grid, const std::string &field, Edge edge, const void *buffer,
                     size_t bufferBytes);

template <typename T>
bool writeField(const EosGrid &grid, const std::string &field, Edge edge, const T *data,
                size_t count) {
    return writeFieldBytes(grid, field, edge, data, count * sizeof(T));
}

// Ends HDF4's access to a field's data set once the field is written whole (SDendaccess on the
// field's data set), so that a compressed field's stream is finished and its bytes go to the file
// now instead of waiting, with every other field's, until the grid is detached. The grid keeps
// working: HDF4 opens the data set's access again when it is needed. False when the data set is
// not found or ending the access fails.
bool endFieldAccess(const EosFile &file, const std::string &field);

// ---- SD attributes of grid fields (through EHidinfo of the HDF-EOS file) ----

// Writes the attributes in order on the field's data set (SDsetattr with each attribute's name,
// number type, count and bytes). False when the data set is not found or a write fails; the
// attributes before that point stay written.
bool writeAttributes(const EosFile &file, const std::string &field,
                     const std::vector<Attribute> &attributes);

// Reads the attributes of a field's data set in index order, at most maxCount of them. Reading
// stops at the first attribute whose information or values cannot be read. *reachedMax is set
// when maxCount attributes were read (there may be more). Empty when the data set is not found.
std::vector<Attribute> readAttributes(const EosFile &file, const std::string &field,
                                      size_t maxCount = 32, bool *reachedMax = nullptr);

// The same through a plain SD interface (any HDF4 file).
std::vector<Attribute> readAttributes(const SdInterface &sd, const std::string &dataSet,
                                      size_t maxCount = 32, bool *reachedMax = nullptr);

// ---- Whole files ----

// An input grid: GDopen (read), GDattach and the geometry queries.
class GridReader {
  public:
    // False when the file cannot be opened, the grid not attached or a query fails; everything
    // opened is released again. The file is probed first, on its own, or with `sequence` after
    // the files that the sequence probe found sound before it.
    bool open(const std::string &path, const std::string &gridName,
              SequenceProbe *sequence = nullptr);
    const GridGeometry &geometry() const { return geometry_; }
    std::optional<FieldInfo> fieldInfo(const std::string &field) const {
        return readFieldInfo(grid_, field);
    }
    template <typename T>
    bool readField(const std::string &field, Edge edge, T *data, size_t count,
                   KeptStream *keep = nullptr) const {
        return veg::grid::readField(grid_, field, edge, data, count, keep);
    }
    std::vector<Attribute> readAttributes(const std::string &field, size_t maxCount = 32,
                                          bool *reachedMax = nullptr) const {
        return veg::grid::readAttributes(file_, field, maxCount, reachedMax);
    }
    // Detaches the grid and closes the file.
    void close();
    const EosFile &file() const { return file_; }
    const EosGrid &grid() const { return grid_; }

  private:
    EosFile file_; // declared before the grid: the grid is detached first
    EosGrid grid_;
    GridGeometry geometry_;
};

// Whether the closed HDF4 file at `path` holds every data element that its index lists (and lists
// at least one). HDF4 does not report every failed write (bytes that a field's compression hands
// out when the field's access ends, the last writes before the file closes), so a write stopped
// by a full disk or a size limit can close "successfully" as a truncated file; GridWriter::commit
// refuses such a file before it could take the target's place.
bool holdsEveryElement(const std::string &path);

// An output grid written under the target's own name in a private temporary folder beside the
// target (a veg::fileio::AtomicFile: ".tmp" and eight hexadecimal digits), so that the file
// records that name and no temporary one, and renamed onto the target by commit() once the file
// has been closed without error and its index checked (holdsEveryElement). Until then an existing
// file of the target's name stays untouched; a writer destroyed or abandoned before commit()
// removes its temporary file.
class GridWriter {
  public:
    GridWriter() = default;
    ~GridWriter();
    GridWriter(const GridWriter &) = delete;
    GridWriter &operator=(const GridWriter &) = delete;

    // Creates the temporary file and the grid (GDcreate, GDdefproj, GDdeforigin). False, with
    // nothing left behind, when the target's path is longer than kMaxEosPathLength, its name
    // longer than a folder entry can be, or the temporary file cannot be created or opened.
    bool create(const std::string &target, const std::string &gridName,
                const GridGeometry &geometry);
    bool defineField(const std::string &field, const std::string &dimList, int32_t numberType,
                     Compression compression) {
        return veg::grid::defineField(grid_, field, dimList, numberType, compression);
    }
    bool defineFields(const ProductLayout &layout, const std::string &dimList) {
        return veg::grid::defineFields(grid_, layout, dimList);
    }
    template <typename T>
    bool writeField(const std::string &field, Edge edge, const T *data, size_t count) {
        return veg::grid::writeField(grid_, field, edge, data, count);
    }
    bool writeAttributes(const std::string &field, const std::vector<Attribute> &attributes) {
        return veg::grid::writeAttributes(file_, field, attributes);
    }
    bool endFieldAccess(const std::string &field) {
        return veg::grid::endFieldAccess(file_, field);
    }
    // Writes the fixed attributes of every field of the layout, field by field in its order
    // (fields that carry a tile's attributes are skipped). False at the first failure.
    bool writeLayoutAttributes(const ProductLayout &layout);
    // Detaches, closes and renames onto the target. False (temporary file removed, target
    // untouched) when closing or renaming fails.
    bool commit();
    // Releases everything and removes the temporary file; the target stays untouched.
    void abandon();
    // The size the temporary file had when a failure abandoned it (0 before any), so that a
    // failed write can tell whether the file had reached a size limit.
    uint64_t abandonedBytes() const { return abandonedBytes_; }

    const std::string &target() const { return output_.target(); }
    const std::string &temporaryPath() const { return output_.temporaryPath(); }
    // What a process that must end at once removes: the temporary file, then its folder.
    std::vector<std::string> leftovers() const {
        return {output_.temporaryPath(), output_.privateFolder()};
    }
    const EosFile &file() const { return file_; }
    const EosGrid &grid() const { return grid_; }

  private:
    veg::fileio::AtomicFile output_; // declared first: the file is closed before it is renamed
    EosFile file_;
    EosGrid grid_;
    uint64_t abandonedBytes_ = 0;
};

} // namespace veg::grid
