// Whole deflated fields read as compressed bytes and decoded by libdeflate (see fieldinflate.h).
// HDF4's element interface hands out a compressed element only through its decoder and does not
// name the element holding the compressed bytes; what it does report (SDgetdatainfo) is where
// those bytes lie in the file. They are read from there with pread on a descriptor of the file
// HDF4 has open, by the name HDF4 holds for it.
#define DATAINFO_MASTER // declares SDgetdatainfo
#include "fieldinflate.h"
#include "gridio.h"

#include <mfhdf.h>

#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "values are turned from the file's big-endian order into little-endian order");

namespace veg::grid {

namespace {

std::atomic<uint64_t> decodedFields{0};
std::atomic<uint64_t> hdfReadFields{0};

// Whether VEG_HDF_INFLATE=hdf leaves every field to HDF4's read.
bool leftToHdf() {
    static const bool hdf = [] {
        const char *value = std::getenv("VEG_HDF_INFLATE");
        return value != nullptr && std::strcmp(value, "hdf") == 0;
    }();
    return hdf;
}

// Size of one value of the number types decoded here, stored big-endian; 0 for any other (native
// or little-endian storage, 64-bit integers, characters of other widths).
size_t storedValueSize(int32_t numberType) {
    switch (numberType) {
    case DFNT_CHAR8:
    case DFNT_UCHAR8:
    case DFNT_INT8:
    case DFNT_UINT8:
        return 1;
    case DFNT_INT16:
    case DFNT_UINT16:
        return 2;
    case DFNT_INT32:
    case DFNT_UINT32:
    case DFNT_FLOAT32:
        return 4;
    case DFNT_FLOAT64:
        return 8;
    default:
        return 0;
    }
}

// The destination is an array of the field's own type: its values are swapped through types that
// may alias it.
typedef uint16_t __attribute__((may_alias)) Bits16;
typedef uint32_t __attribute__((may_alias)) Bits32;
typedef uint64_t __attribute__((may_alias)) Bits64;

void swapValues16(void *data, size_t count) {
    Bits16 *values = static_cast<Bits16 *>(data);
    for (size_t i = 0; i < count; ++i) {
        values[i] = __builtin_bswap16(values[i]);
    }
}

void swapValues32(void *data, size_t count) {
    Bits32 *values = static_cast<Bits32 *>(data);
    for (size_t i = 0; i < count; ++i) {
        values[i] = __builtin_bswap32(values[i]);
    }
}

void swapValues64(void *data, size_t count) {
    Bits64 *values = static_cast<Bits64 *>(data);
    for (size_t i = 0; i < count; ++i) {
        values[i] = __builtin_bswap64(values[i]);
    }
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

class Descriptor {
  public:
    explicit Descriptor(const char *path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

bool readAll(int fd, uint8_t *to, size_t bytes, off_t offset) {
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, to, bytes, offset);
        if (n <= 0) {
            return false;
        }
        to += n;
        bytes -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// Where the compressed bytes of a data set lie: one block, or the blocks of an element that
// grew in pieces, in stream order. Empty when HDF4 reports none (nothing written: HDF4 gives the
// fill value) or reports them inconsistently.
struct Block {
    int32 offset = 0;
    int32 length = 0;
};

std::vector<Block> compressedBlocks(int32_t sdsId, int32 *chunk) {
    const intn count = SDgetdatainfo(sdsId, chunk, 0, 0, nullptr, nullptr);
    // A field written in one piece is one block; many blocks mean an element HDF4 appended to.
    constexpr intn kMostBlocks = 4096;
    if (count <= 0 || count > kMostBlocks) {
        return {};
    }
    std::vector<int32> offsets(static_cast<size_t>(count));
    std::vector<int32> lengths(static_cast<size_t>(count));
    if (SDgetdatainfo(sdsId, chunk, 0, static_cast<uintn>(count), offsets.data(), lengths.data()) !=
        count) {
        return {};
    }
    std::vector<Block> blocks(static_cast<size_t>(count));
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (offsets[i] < 0 || lengths[i] <= 0) {
            return {};
        }
        blocks[i] = Block{offsets[i], lengths[i]};
    }
    return blocks;
}

// How a deflated data set is stored: one stream, or chunks each deflated on its own (the
// archive's reflectance tiles: chunks of 32 rows across the whole field).
struct Storage {
    bool chunked = false;
    int32 chunk[2] = {0, 0}; // chunk edge, in the order of the dimensions
};

// The storage of a data set that is deflated (whole or in chunks), not a record variable and not
// kept in an external file, with the rank, sizes and number type the caller checked; nothing for
// any other.
std::optional<Storage> deflatedStorage(int32_t sdsId, const int32_t dims[2], int32_t numberType) {
    comp_coder_t coder = COMP_CODE_NONE;
    if (SDgetcomptype(sdsId, &coder) == FAIL || coder != COMP_CODE_DEFLATE) {
        return std::nullopt;
    }
    HDF_CHUNK_DEF chunk{};
    int32 flags = 0;
    if (SDgetchunkinfo(sdsId, &chunk, &flags) == FAIL) {
        return std::nullopt;
    }
    Storage storage;
    if (flags == (HDF_CHUNK | HDF_COMP) && chunk.comp.comp_type == COMP_CODE_DEFLATE &&
        chunk.comp.chunk_lengths[0] > 0 && chunk.comp.chunk_lengths[1] > 0) {
        storage.chunked = true;
        storage.chunk[0] = chunk.comp.chunk_lengths[0];
        storage.chunk[1] = chunk.comp.chunk_lengths[1];
    } else if (flags != HDF_NONE) {
        return std::nullopt;
    }
    if (SDisrecord(sdsId) != 0) {
        return std::nullopt;
    }
    // Chunks are never external; HDF4's query would leak the chunk sizes it looks up for them.
    int32 offset = 0;
    int32 length = 0;
    if (!storage.chunked && SDgetexternalinfo(sdsId, 0, nullptr, &offset, &length) != 0) {
        return std::nullopt;
    }
    char name[H4_MAX_NC_NAME + 1] = {};
    int32 rank = 0;
    int32 sizes[H4_MAX_VAR_DIMS] = {};
    int32 type = 0;
    int32 attributes = 0;
    if (SDgetinfo(sdsId, name, &rank, sizes, &type, &attributes) == FAIL || rank != 2 ||
        sizes[0] != dims[0] || sizes[1] != dims[1] || type != numberType) {
        return std::nullopt;
    }
    return storage;
}

using Decompressor = std::unique_ptr<libdeflate_decompressor, DecompressorFree>;

// The compressed bytes of one stream (the whole field's, or one chunk's), read into `compressed`
// (grown as needed). False when HDF4 reports no bytes or they cannot be read.
bool readStream(int fd, off_t fileBytes, int32_t sdsId, int32 *chunk, RawBytes &compressed) {
    const std::vector<Block> blocks = compressedBlocks(sdsId, chunk);
    if (blocks.empty()) {
        return false;
    }
    // Every block lies inside the file, so the total is bounded by the file's size.
    size_t total = 0;
    for (const Block &b : blocks) {
        if (static_cast<int64_t>(b.offset) + b.length > static_cast<int64_t>(fileBytes)) {
            return false;
        }
        total += static_cast<size_t>(b.length);
    }
    if (!compressed.resize(total)) {
        return false;
    }
    size_t at = 0;
    for (const Block &b : blocks) {
        if (!readAll(fd, compressed.data() + at, static_cast<size_t>(b.length), b.offset)) {
            return false;
        }
        at += static_cast<size_t>(b.length);
    }
    return true;
}

InflateResult inflateWith(libdeflate_decompressor *decompressor, const uint8_t *compressed,
                          size_t compressedBytes, int32_t numberType, void *out, size_t outBytes,
                          uint32_t *storedCrc = nullptr, size_t *streamBytes = nullptr);

// A chunked field: each chunk decoded into a chunk-sized array and its cells inside the field
// copied into place. A chunk HDF4 reports no bytes for (never written: HDF4 gives the fill value)
// or whose stream does not decode leaves the whole field to HDF4.
InflateResult decodeChunks(int fd, off_t fileBytes, int32_t sdsId, const int32_t dims[2],
                           const Storage &storage, int32_t numberType,
                           libdeflate_decompressor *decompressor, void *out) {
    const size_t valueSize = storedValueSize(numberType);
    const int64_t c0 = storage.chunk[0];
    const int64_t c1 = storage.chunk[1];
    const std::optional<size_t> chunkBytes = checkedCellCount(c0, c1, valueSize);
    if (!chunkBytes || *chunkBytes > (size_t(1) << 30)) {
        return InflateResult::NotMine;
    }
    const std::unique_ptr<uint8_t[]> cells(new (std::nothrow) uint8_t[*chunkBytes]);
    if (!cells) {
        return InflateResult::NotMine;
    }
    RawBytes compressed;
    uint8_t *field = static_cast<uint8_t *>(out);
    const size_t fieldRowBytes = static_cast<size_t>(dims[1]) * valueSize;
    for (int64_t r0 = 0; r0 < dims[0]; r0 += c0) {
        for (int64_t col0 = 0; col0 < dims[1]; col0 += c1) {
            int32 coordinates[2] = {static_cast<int32>(r0 / c0), static_cast<int32>(col0 / c1)};
            if (!readStream(fd, fileBytes, sdsId, coordinates, compressed) ||
                inflateWith(decompressor, compressed.data(), compressed.size(), numberType,
                            cells.get(), *chunkBytes) != InflateResult::Decoded) {
                return InflateResult::NotMine;
            }
            const int64_t rows = std::min<int64_t>(c0, dims[0] - r0);
            const size_t rowBytes =
                static_cast<size_t>(std::min<int64_t>(c1, dims[1] - col0)) * valueSize;
            for (int64_t r = 0; r < rows; ++r) {
                std::memcpy(field + static_cast<size_t>(r0 + r) * fieldRowBytes +
                                static_cast<size_t>(col0) * valueSize,
                            cells.get() + static_cast<size_t>(r * c1) * valueSize, rowBytes);
            }
        }
    }
    return InflateResult::Decoded;
}

InflateResult decodeDataSet(int32_t hdfFileId, int32_t sdsId, const int32_t dims[2],
                            int32_t numberType, void *out, size_t outBytes, KeptStream *keep) {
    if (leftToHdf() || storedValueSize(numberType) == 0) {
        return InflateResult::NotMine;
    }
    const std::optional<Storage> storage = deflatedStorage(sdsId, dims, numberType);
    char *path = nullptr;
    intn access = 0;
    intn attached = 0;
    if (!storage || Hfidinquire(hdfFileId, &path, &access, &attached) == FAIL || path == nullptr) {
        return InflateResult::NotMine;
    }
    const Descriptor file(path);
    struct stat st {};
    const Decompressor decompressor(libdeflate_alloc_decompressor());
    if (file.fd() < 0 || ::fstat(file.fd(), &st) != 0 || !decompressor) {
        return InflateResult::NotMine;
    }
    if (storage->chunked) {
        return decodeChunks(file.fd(), st.st_size, sdsId, dims, *storage, numberType,
                            decompressor.get(), out);
    }
    RawBytes compressed;
    if (!readStream(file.fd(), st.st_size, sdsId, nullptr, compressed)) {
        return InflateResult::NotMine;
    }
    if (keep == nullptr) {
        return inflateWith(decompressor.get(), compressed.data(), compressed.size(), numberType,
                           out, outBytes);
    }
    uint32_t crc = 0;
    size_t streamBytes = 0;
    const InflateResult result =
        inflateWith(decompressor.get(), compressed.data(), compressed.size(), numberType, out,
                    outBytes, &crc, &streamBytes);
    if (result == InflateResult::Decoded) {
        compressed.resize(streamBytes); // without any bytes after the stream's end
        keep->stream = std::move(compressed);
        keep->decodedBytes = outBytes;
        keep->crc32 = crc;
    }
    return result;
}

} // namespace

namespace {

InflateResult inflateWith(libdeflate_decompressor *decompressor, const uint8_t *compressed,
                          size_t compressedBytes, int32_t numberType, void *out, size_t outBytes,
                          uint32_t *storedCrc, size_t *streamBytesOut) {
    const size_t valueSize = storedValueSize(numberType);
    if (valueSize == 0 || outBytes % valueSize != 0 || out == nullptr || compressed == nullptr) {
        return InflateResult::NotMine;
    }
    // With no output size returned, libdeflate succeeds only when the stream fills the array
    // exactly; bytes after the stream's end are ignored, as zlib ignores them.
    size_t streamBytes = 0;
    switch (libdeflate_zlib_decompress_ex(decompressor, compressed, compressedBytes, out, outBytes,
                                          &streamBytes, nullptr)) {
    case LIBDEFLATE_SUCCESS:
        break;
    case LIBDEFLATE_BAD_DATA:
        return InflateResult::Damaged;
    default:
        return InflateResult::NotMine; // another size: HDF4 decides what that field holds
    }
    if (storedCrc != nullptr) {
        *storedCrc = libdeflate_crc32(0, out, outBytes);
    }
    if (streamBytesOut != nullptr) {
        *streamBytesOut = streamBytes;
    }
    switch (valueSize) {
    case 2:
        swapValues16(out, outBytes / 2);
        break;
    case 4:
        swapValues32(out, outBytes / 4);
        break;
    case 8:
        swapValues64(out, outBytes / 8);
        break;
    default:
        break;
    }
    return InflateResult::Decoded;
}

} // namespace

bool RawBytes::resize(size_t count) {
    if (count > capacity_) {
        std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[count]);
        if (!grown) {
            return false;
        }
        if (size_ > 0) {
            std::memcpy(grown.get(), bytes_.get(), size_);
        }
        bytes_ = std::move(grown);
        capacity_ = count;
    }
    size_ = count;
    return true;
}

InflateResult inflateFieldBytes(const uint8_t *compressed, size_t compressedBytes,
                                int32_t numberType, void *out, size_t outBytes) {
    const Decompressor decompressor(libdeflate_alloc_decompressor());
    if (!decompressor) {
        return InflateResult::NotMine;
    }
    return inflateWith(decompressor.get(), compressed, compressedBytes, numberType, out, outBytes);
}

InflateResult readDeflatedDataSet(int32_t hdfFileId, int32_t sdsId, const int32_t dims[2],
                                  int32_t numberType, void *out, size_t outBytes,
                                  KeptStream *keep) {
    if (keep != nullptr) {
        *keep = KeptStream{};
    }
    const InflateResult result =
        decodeDataSet(hdfFileId, sdsId, dims, numberType, out, outBytes, keep);
    if (result == InflateResult::Decoded) {
        ++decodedFields;
    }
    return result;
}

FieldReadCounts fieldReadCounts() { return FieldReadCounts{decodedFields, hdfReadFields}; }

void countFieldReadByHdf() { ++hdfReadFields; }

} // namespace veg::grid
