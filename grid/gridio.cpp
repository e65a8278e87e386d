// HDF-EOS grid input and output on top of the HDF-EOS2 grid interface and the HDF4 SD interface.
#include "gridio.h"
#include "fieldinflate.h"
#include "readguard.h"

#include <mfhdf.h>
// HdfEosDef.h needs the HDF4 declarations above.
#include <HdfEosDef.h>
// The file record of an open HDF4 file (its stdio stream), for the writer's unbuffered stream.
#include <hfile.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veg::grid {

namespace {

// The HDF-EOS calls take text as char* without writing to it.
char *text(const std::string &s) { return const_cast<char *>(s.c_str()); }

// HDF4 allows up to 32 dimensions per data set.
constexpr int kMaxRank = 32;

// HDF4 writes through a stdio stream and closes it with a fclose whose failure it does not clear:
// when the last bytes of the buffer cannot be written at the close (a full disk, a file size
// limit one byte short), it closes the same stream a second time and the process aborts with a
// double free. With the stream unbuffered every write of the library reaches the file at once, a
// failed one fails the call that made it, and the close has nothing left to write.
bool unbufferStream(const EosFile &file) {
    int32 hdfId = -1;
    int32 sdId = -1;
    if (!file.isOpen() || EHidinfo(file.id(), &hdfId, &sdId) == FAIL) {
        return false;
    }
    filerec_t *record = static_cast<filerec_t *>(HAPatom_object(hdfId));
    return record != nullptr && record->file != nullptr &&
           std::setvbuf(record->file, nullptr, _IONBF, 0) == 0;
}

// HDF4 records in the file the name the file was created under. A product is created from within
// its private temporary folder under the target's own name, so that it records that name and
// nothing else: the same bytes on every run, whatever the folder or temporary name. The working
// folder is that of the caller again before this returns.
bool createUnderOwnName(EosFile &file, const std::string &folder, const std::string &name) {
    const int here = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (here < 0) {
        return false;
    }
    bool created = false;
    if (::chdir(folder.c_str()) == 0) {
        created = file.open(name, EosFile::Access::Create);
        if (::fchdir(here) != 0) {
            file.close();
            created = false;
        }
    }
    ::close(here);
    return created;
}

} // namespace

std::optional<size_t> checkedCellCount(int64_t a, int64_t b, size_t elementSize) {
    if (a < 0 || b < 0) {
        return std::nullopt;
    }
    const uint64_t ua = static_cast<uint64_t>(a);
    const uint64_t ub = static_cast<uint64_t>(b);
    const uint64_t limit = std::numeric_limits<size_t>::max();
    if (ua != 0 && ub > limit / ua) {
        return std::nullopt;
    }
    const uint64_t cells = ua * ub;
    if (elementSize != 0 && cells > limit / elementSize) {
        return std::nullopt;
    }
    return static_cast<size_t>(cells * elementSize);
}

// ---- EosFile ----

EosFile::~EosFile() { close(); }

EosFile::EosFile(EosFile &&other) noexcept : id_(std::exchange(other.id_, -1)) {}

EosFile &EosFile::operator=(EosFile &&other) noexcept {
    if (this != &other) {
        close();
        id_ = std::exchange(other.id_, -1);
    }
    return *this;
}

bool EosFile::open(const std::string &path, Access access) {
    close();
    if (path.size() > kMaxEosPathLength) {
        return false;
    }
    id_ = GDopen(text(path), access == Access::Read ? DFACC_READ : DFACC_CREATE);
    if (id_ < 0) {
        id_ = -1;
    }
    return id_ != -1;
}

bool EosFile::close() {
    if (id_ == -1) {
        return false;
    }
    const intn status = GDclose(std::exchange(id_, -1));
    return status != FAIL;
}

// ---- EosGrid ----

EosGrid::~EosGrid() { detach(); }

EosGrid::EosGrid(EosGrid &&other) noexcept
    : id_(std::exchange(other.id_, -1)), fileId_(std::exchange(other.fileId_, -1)) {}

EosGrid &EosGrid::operator=(EosGrid &&other) noexcept {
    if (this != &other) {
        detach();
        id_ = std::exchange(other.id_, -1);
        fileId_ = std::exchange(other.fileId_, -1);
    }
    return *this;
}

bool EosGrid::attach(const EosFile &file, const std::string &gridName) {
    detach();
    if (!file.isOpen()) {
        return false;
    }
    id_ = GDattach(file.id(), text(gridName));
    if (id_ < 0) {
        id_ = -1;
        return false;
    }
    fileId_ = file.id();
    return true;
}

bool EosGrid::create(const EosFile &file, const std::string &gridName,
                     const GridGeometry &geometry) {
    detach();
    if (!file.isOpen()) {
        return false;
    }
    float64 upperLeft[2] = {geometry.upperLeft[0], geometry.upperLeft[1]};
    float64 lowerRight[2] = {geometry.lowerRight[0], geometry.lowerRight[1]};
    id_ =
        GDcreate(file.id(), text(gridName), geometry.columns, geometry.rows, upperLeft, lowerRight);
    if (id_ < 0) {
        id_ = -1;
        return false;
    }
    fileId_ = file.id();
    float64 parameters[16] = {};
    for (size_t i = 0; i < geometry.projectionParameters.size(); ++i) {
        parameters[i] = geometry.projectionParameters[i];
    }
    if (GDdefproj(id_, geometry.projectionCode, geometry.zoneCode, geometry.sphereCode,
                  parameters) == FAIL ||
        GDdeforigin(id_, geometry.originCode) == FAIL ||
        GDdefpixreg(id_, geometry.pixelRegistration) == FAIL) {
        detach();
        return false;
    }
    return true;
}

bool EosGrid::detach() {
    fileId_ = -1;
    if (id_ == -1) {
        return false;
    }
    return GDdetach(std::exchange(id_, -1)) != FAIL;
}

// ---- SdInterface ----

SdInterface::~SdInterface() { end(); }

SdInterface::SdInterface(SdInterface &&other) noexcept : id_(std::exchange(other.id_, -1)) {}

SdInterface &SdInterface::operator=(SdInterface &&other) noexcept {
    if (this != &other) {
        end();
        id_ = std::exchange(other.id_, -1);
    }
    return *this;
}

bool SdInterface::start(const std::string &path) {
    end();
    id_ = SDstart(path.c_str(), DFACC_READ);
    if (id_ < 0) {
        id_ = -1;
    }
    return id_ != -1;
}

bool SdInterface::end() {
    if (id_ == -1) {
        return false;
    }
    return SDend(std::exchange(id_, -1)) != FAIL;
}

// ---- SdDataSet ----

SdDataSet::~SdDataSet() { endAccess(); }

SdDataSet::SdDataSet(SdDataSet &&other) noexcept : id_(std::exchange(other.id_, -1)) {}

SdDataSet &SdDataSet::operator=(SdDataSet &&other) noexcept {
    if (this != &other) {
        endAccess();
        id_ = std::exchange(other.id_, -1);
    }
    return *this;
}

bool SdDataSet::select(int32_t sdId, const std::string &name) {
    endAccess();
    if (sdId < 0) {
        return false;
    }
    const int32 index = SDnametoindex(sdId, name.c_str());
    if (index < 0) {
        return false;
    }
    id_ = SDselect(sdId, index);
    if (id_ < 0) {
        id_ = -1;
    }
    return id_ != -1;
}

bool SdDataSet::endAccess() {
    if (id_ == -1) {
        return false;
    }
    return SDendaccess(std::exchange(id_, -1)) != FAIL;
}

// ---- Grid operations ----

std::optional<GridGeometry> readGeometry(const EosGrid &grid) {
    if (!grid.isAttached()) {
        return std::nullopt;
    }
    GridGeometry g;
    int32 columns = 0;
    int32 rows = 0;
    float64 upperLeft[2] = {};
    float64 lowerRight[2] = {};
    if (GDgridinfo(grid.id(), &columns, &rows, upperLeft, lowerRight) == FAIL) {
        return std::nullopt;
    }
    g.columns = columns;
    g.rows = rows;
    g.upperLeft = {upperLeft[0], upperLeft[1]};
    g.lowerRight = {lowerRight[0], lowerRight[1]};

    int32 projection = 0;
    int32 zone = 0;
    int32 sphere = 0;
    float64 parameters[16] = {};
    if (GDprojinfo(grid.id(), &projection, &zone, &sphere, parameters) == FAIL) {
        return std::nullopt;
    }
    g.projectionCode = projection;
    g.zoneCode = zone;
    g.sphereCode = sphere;
    for (size_t i = 0; i < g.projectionParameters.size(); ++i) {
        g.projectionParameters[i] = parameters[i];
    }

    int32 origin = 0;
    if (GDorigininfo(grid.id(), &origin) == FAIL) {
        return std::nullopt;
    }
    g.originCode = origin;

    int32 registration = 0;
    if (GDpixreginfo(grid.id(), &registration) == FAIL) {
        return std::nullopt;
    }
    g.pixelRegistration = registration;

    // The dimension query is a readability test; its buffer is sized from the grid's own count.
    int32 nameBytes = 0;
    const int32 dimCount = GDnentries(grid.id(), HDFE_NENTDIM, &nameBytes);
    if (dimCount < 0 || nameBytes < 0) {
        return std::nullopt;
    }
    std::vector<char> names(static_cast<size_t>(nameBytes) + 1, '\0');
    std::vector<int32> sizes(static_cast<size_t>(dimCount) + 1, 0);
    if (GDinqdims(grid.id(), names.data(), sizes.data()) == FAIL) {
        return std::nullopt;
    }
    return g;
}

std::vector<std::string> readFieldNames(const EosGrid &grid) {
    int32 nameLength = 0;
    const int32 count = grid.isAttached() ? GDnentries(grid.id(), HDFE_NENTDFLD, &nameLength) : -1;
    if (count <= 0 || nameLength < 0) {
        return {};
    }
    std::string names(static_cast<size_t>(nameLength) + 1, '\0');
    std::vector<int32> ranks(static_cast<size_t>(count)), types(static_cast<size_t>(count));
    if (GDinqfields(grid.id(), names.data(), ranks.data(), types.data()) < 0) {
        return {};
    }
    names.resize(names.find('\0'));
    std::vector<std::string> list;
    size_t from = 0;
    while (from <= names.size()) {
        const size_t comma = std::min(names.find(',', from), names.size());
        list.push_back(names.substr(from, comma - from));
        from = comma + 1;
    }
    return list;
}

namespace {

// A whole field whose data set is the only one of the file under the field's name (a field
// merged with others into one data set has none; a name in two grids of a file is left to the
// grid library, which tells them apart), decoded when it is stored deflated.
InflateResult readDeflatedField(const EosGrid &grid, const std::string &field, int32_t numberType,
                                Edge edge, void *buffer, size_t bytes, KeptStream *keep) {
    int32 hdfId = -1;
    int32 sdId = -1;
    int32 sameName = 0;
    if (grid.fileId() == -1 || EHidinfo(grid.fileId(), &hdfId, &sdId) == FAIL ||
        SDgetnumvars_byname(sdId, field.c_str(), &sameName) == FAIL || sameName != 1) {
        return InflateResult::NotMine;
    }
    SdDataSet sds;
    if (!sds.select(sdId, field)) {
        return InflateResult::NotMine;
    }
    const int32_t dims[2] = {edge.first, edge.second};
    return readDeflatedDataSet(hdfId, sds.id(), dims, numberType, buffer, bytes, keep);
}

} // namespace

std::optional<FieldInfo> readFieldInfo(const EosGrid &grid, const std::string &field) {
    if (!grid.isAttached()) {
        return std::nullopt;
    }
    // A field's dimension list names grid dimensions, at most kMaxRank of them.
    int32 nameBytes = 0;
    if (GDnentries(grid.id(), HDFE_NENTDIM, &nameBytes) < 0 || nameBytes < 0) {
        return std::nullopt;
    }
    const size_t listBytes =
        std::max<size_t>(1024, (static_cast<size_t>(nameBytes) + 2) * kMaxRank);
    std::vector<char> dimList(listBytes, '\0');
    int32 rank = 0;
    int32 dims[kMaxRank] = {};
    int32 numberType = 0;
    if (GDfieldinfo(grid.id(), field.c_str(), &rank, dims, &numberType, dimList.data()) == FAIL) {
        return std::nullopt;
    }
    if (rank < 0 || rank > kMaxRank) {
        return std::nullopt;
    }
    dimList.back() = '\0';
    FieldInfo info;
    info.rank = rank;
    info.dims.assign(dims, dims + rank);
    info.numberType = numberType;
    info.dimList = dimList.data();
    return info;
}

bool readFieldBytes(const EosGrid &grid, const std::string &field, int32_t numberType, Edge edge,
                    void *buffer, size_t bufferBytes, KeptStream *keep) {
    if (keep != nullptr) {
        *keep = KeptStream{};
    }
    const std::optional<FieldInfo> info = readFieldInfo(grid, field);
    if (!info || info->rank != 2 || info->numberType != numberType || info->dims[0] != edge.first ||
        info->dims[1] != edge.second) {
        return false;
    }
    const size_t elementSize = numberTypeSize(numberType);
    const std::optional<size_t> needed = checkedCellCount(edge.first, edge.second, elementSize);
    if (elementSize == 0 || !needed || *needed > bufferBytes || buffer == nullptr) {
        return false;
    }
    switch (readDeflatedField(grid, field, numberType, edge, buffer, *needed, keep)) {
    case InflateResult::Decoded:
        return true;
    case InflateResult::Damaged:
        return false;
    case InflateResult::NotMine:
        break;
    }
    countFieldReadByHdf();
    int32 edges[2] = {edge.first, edge.second};
    return GDreadfield(grid.id(), field.c_str(), nullptr, nullptr, edges, buffer) != FAIL;
}

bool readFieldWindowBytes(const EosGrid &grid, const std::string &field, int32_t numberType,
                          Edge start, Edge edge, void *buffer, size_t bufferBytes) {
    const std::optional<FieldInfo> info = readFieldInfo(grid, field);
    if (!info || info->rank != 2 || info->numberType != numberType || buffer == nullptr) {
        return false;
    }
    const int64_t dims[2] = {info->dims[0], info->dims[1]};
    const int64_t first[2] = {start.first, start.second};
    const int64_t count[2] = {edge.first, edge.second};
    for (int d = 0; d < 2; ++d) {
        if (first[d] < 0 || count[d] <= 0 || first[d] > dims[d] - count[d]) {
            return false;
        }
    }
    const size_t elementSize = numberTypeSize(numberType);
    const std::optional<size_t> needed = checkedCellCount(edge.first, edge.second, elementSize);
    if (elementSize == 0 || !needed || *needed > bufferBytes) {
        return false;
    }
    if (edge.first == info->dims[0] && edge.second == info->dims[1]) {
        return readFieldBytes(grid, field, numberType, edge, buffer, *needed);
    }
    // A part of a deflated field: HDF4 would decode the stream from its start up to the window's
    // last row; the whole field is decoded once instead and the window's rows copied out.
    const Edge whole{info->dims[0], info->dims[1]};
    const std::optional<size_t> fieldBytes =
        checkedCellCount(whole.first, whole.second, elementSize);
    std::unique_ptr<uint8_t[]> decoded(fieldBytes ? new (std::nothrow) uint8_t[*fieldBytes]
                                                  : nullptr);
    if (decoded) {
        switch (readDeflatedField(grid, field, numberType, whole, decoded.get(), *fieldBytes,
                                  nullptr)) {
        case InflateResult::Decoded: {
            const size_t rowBytes = static_cast<size_t>(edge.second) * elementSize;
            const size_t fieldRowBytes = static_cast<size_t>(whole.second) * elementSize;
            uint8_t *to = static_cast<uint8_t *>(buffer);
            for (int32_t r = 0; r < edge.first; ++r) {
                std::memcpy(to + static_cast<size_t>(r) * rowBytes,
                            decoded.get() + static_cast<size_t>(start.first + r) * fieldRowBytes +
                                static_cast<size_t>(start.second) * elementSize,
                            rowBytes);
            }
            return true;
        }
        case InflateResult::Damaged:
            return false;
        case InflateResult::NotMine:
            break;
        }
        decoded.reset();
    }
    int32 starts[2] = {start.first, start.second};
    int32 edges[2] = {edge.first, edge.second};
    return GDreadfield(grid.id(), field.c_str(), starts, nullptr, edges, buffer) != FAIL;
}

bool defineField(const EosGrid &grid, const std::string &field, const std::string &dimList,
                 int32_t numberType, Compression compression) {
    if (!grid.isAttached()) {
        return false;
    }
    intn parameters[5] = {};
    int32 method = HDFE_COMP_NONE;
    if (compression == Compression::Deflate9) {
        method = HDFE_COMP_DEFLATE;
        parameters[0] = kDeflateLevel;
    }
    if (GDdefcomp(grid.id(), method, parameters) == FAIL) {
        return false;
    }
    return GDdeffield(grid.id(), field.c_str(), dimList.c_str(), numberType, HDFE_NOMERGE) != FAIL;
}

bool defineFields(const EosGrid &grid, const ProductLayout &layout, const std::string &dimList) {
    for (const FieldLayout &f : layout.fields) {
        if (!defineField(grid, f.name, dimList, f.numberType, layout.compression)) {
            return false;
        }
    }
    return true;
}

bool writeFieldBytes(const EosGrid &grid, const std::string &field, Edge edge, const void *buffer,
                     size_t bufferBytes) {
    const std::optional<FieldInfo> info = readFieldInfo(grid, field);
    if (!info || info->rank != 2 || buffer == nullptr) {
        return false;
    }
    const size_t elementSize = numberTypeSize(info->numberType);
    const std::optional<size_t> needed = checkedCellCount(edge.first, edge.second, elementSize);
    if (elementSize == 0 || !needed || *needed > bufferBytes) {
        return false;
    }
    int32 edges[2] = {edge.first, edge.second};
    return GDwritefield(grid.id(), field.c_str(), nullptr, nullptr, edges,
                        const_cast<void *>(buffer)) != FAIL;
}

// ---- Attributes ----

namespace {

int32_t sdInterfaceOf(const EosFile &file) {
    if (!file.isOpen()) {
        return -1;
    }
    int32 hdfId = -1;
    int32 sdId = -1;
    if (EHidinfo(file.id(), &hdfId, &sdId) == FAIL) {
        return -1;
    }
    return sdId;
}

std::vector<Attribute> readDataSetAttributes(int32_t sdId, const std::string &dataSet,
                                             size_t maxCount, bool *reachedMax) {
    if (reachedMax != nullptr) {
        *reachedMax = false;
    }
    std::vector<Attribute> result;
    SdDataSet sds;
    if (!sds.select(sdId, dataSet)) {
        return result;
    }
    for (int32 index = 0; result.size() < maxCount; ++index) {
        char name[H4_MAX_NC_NAME + 1] = {};
        int32 numberType = 0;
        int32 count = 0;
        if (SDattrinfo(sds.id(), index, name, &numberType, &count) == FAIL) {
            break;
        }
        const int32 elementSize = DFKNTsize(numberType);
        const std::optional<size_t> bytes =
            elementSize > 0 ? checkedCellCount(count, elementSize) : std::nullopt;
        if (!bytes) {
            break;
        }
        Attribute a;
        a.name = name;
        a.numberType = numberType;
        a.count = count;
        a.bytes.assign(*bytes, 0);
        if (SDreadattr(sds.id(), index, a.bytes.empty() ? nullptr : a.bytes.data()) == FAIL) {
            break;
        }
        result.push_back(std::move(a));
    }
    if (reachedMax != nullptr && maxCount > 0 && result.size() == maxCount) {
        *reachedMax = true;
    }
    return result;
}

} // namespace

bool endFieldAccess(const EosFile &file, const std::string &field) {
    SdDataSet sds;
    return sds.select(sdInterfaceOf(file), field) && sds.endAccess();
}

bool writeAttributes(const EosFile &file, const std::string &field,
                     const std::vector<Attribute> &attributes) {
    SdDataSet sds;
    if (!sds.select(sdInterfaceOf(file), field)) {
        return false;
    }
    for (const Attribute &a : attributes) {
        const int32 elementSize = DFKNTsize(a.numberType);
        const std::optional<size_t> bytes =
            elementSize > 0 ? checkedCellCount(a.count, elementSize) : std::nullopt;
        if (!bytes || *bytes > a.bytes.size() || a.count < 1) {
            return false;
        }
        if (SDsetattr(sds.id(), a.name.c_str(), a.numberType, a.count, a.bytes.data()) == FAIL) {
            return false;
        }
    }
    return sds.endAccess();
}

std::vector<Attribute> readAttributes(const EosFile &file, const std::string &field,
                                      size_t maxCount, bool *reachedMax) {
    return readDataSetAttributes(sdInterfaceOf(file), field, maxCount, reachedMax);
}

std::vector<Attribute> readAttributes(const SdInterface &sd, const std::string &dataSet,
                                      size_t maxCount, bool *reachedMax) {
    return readDataSetAttributes(sd.id(), dataSet, maxCount, reachedMax);
}

// ---- GridReader ----

bool GridReader::open(const std::string &path, const std::string &gridName,
                      SequenceProbe *sequence) {
    close();
    if (path.size() <= kMaxEosPathLength) {
        const ProbeVerdict verdict =
            sequence != nullptr ? sequence->check(path) : probeGridFile(path, gridName);
        if (verdict == ProbeVerdict::Damaged || verdict == ProbeVerdict::Unopenable) {
            return false; // the libraries would crash, or be left unsound, opening it here
        }
    }
    if (!file_.open(path, EosFile::Access::Read) || !grid_.attach(file_, gridName)) {
        close();
        return false;
    }
    const std::optional<GridGeometry> g = readGeometry(grid_);
    if (!g) {
        close();
        return false;
    }
    geometry_ = *g;
    return true;
}

void GridReader::close() {
    grid_.detach();
    file_.close();
}

// ---- GridWriter ----

GridWriter::~GridWriter() { abandon(); }

bool GridWriter::create(const std::string &target, const std::string &gridName,
                        const GridGeometry &geometry) {
    abandon();
    // The library cannot take longer paths, and a name longer than a folder entry could never be
    // renamed into place: both are refused before anything is created.
    const size_t slash = target.find_last_of('/');
    const size_t nameLength =
        slash == std::string::npos ? target.size() : target.size() - slash - 1;
    if (target.size() > kMaxEosPathLength || nameLength > NAME_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    // The library creates the file by its path: the temporary file is made first (exclusively,
    // with the umask's permissions, in a private folder under the target's name) and handed over
    // by name.
    if (!output_.createInPrivateFolder(target) || !output_.releaseDescriptor() ||
        !createUnderOwnName(file_, output_.privateFolder(),
                            output_.temporaryPath().substr(output_.privateFolder().size() + 1)) ||
        !unbufferStream(file_) || !grid_.create(file_, gridName, geometry)) {
        abandon();
        return false;
    }
    return true;
}

bool GridWriter::writeLayoutAttributes(const ProductLayout &layout) {
    for (const FieldLayout &f : layout.fields) {
        if (f.copiesInputAttributes || f.attributes.empty()) {
            continue;
        }
        if (!writeAttributes(f.name, f.attributes)) {
            return false;
        }
    }
    return true;
}

namespace {

// An HDF4 file opened for reading its index, closed on every path.
class IndexReader {
  public:
    explicit IndexReader(const std::string &path) : id_(Hopen(path.c_str(), DFACC_READ, 0)) {}
    ~IndexReader() {
        if (id_ != FAIL) {
            Hclose(id_);
        }
    }
    IndexReader(const IndexReader &) = delete;
    IndexReader &operator=(const IndexReader &) = delete;
    int32 id() const { return id_; }

  private:
    int32 id_;
};

} // namespace

bool holdsEveryElement(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    const IndexReader file(path);
    if (file.id() == FAIL) {
        return false;
    }
    uint16 tag = 0;
    uint16 ref = 0;
    int32 offset = 0;
    int32 length = 0;
    int64_t end = 0;
    size_t elements = 0;
    while (Hfind(file.id(), DFTAG_WILDCARD, DFREF_WILDCARD, &tag, &ref, &offset, &length,
                 DF_FORWARD) != FAIL) {
        ++elements;
        if (offset > 0 && length > 0) {
            end = std::max<int64_t>(end, static_cast<int64_t>(offset) + length);
        }
    }
    return elements > 0 && end <= static_cast<int64_t>(st.st_size);
}

bool GridWriter::commit() {
    if (!file_.isOpen()) {
        return false;
    }
    const bool detached = grid_.isAttached() ? grid_.detach() : true;
    const bool closed = file_.close();
    if (!detached || !closed || !holdsEveryElement(output_.temporaryPath()) || !output_.commit()) {
        abandon();
        return false;
    }
    return true;
}

void GridWriter::abandon() {
    grid_.detach();
    file_.close();
    if (output_.isOpen()) {
        struct stat st {};
        if (::stat(output_.temporaryPath().c_str(), &st) == 0 && st.st_size > 0) {
            abandonedBytes_ = static_cast<uint64_t>(st.st_size);
        }
    }
    output_.discard();
}

} // namespace veg::grid
