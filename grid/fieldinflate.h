// Whole deflated fields decoded by libdeflate instead of through HDF4's read. A field stored
// deflated (every product field of this system) is one zlib stream in the file, and a field stored
// in deflated chunks (the archive's reflectance tiles: chunks of 32 rows) one stream per chunk:
// the compressed bytes are read at the offsets HDF4 reports for the data set and decoded straight
// into the caller's array (a chunk into an array of its own, copied into place). Anything else
// (another compression, external or appendable storage, a number type stored in another byte
// order, a stream that decodes to another size, a chunk never written) is left to HDF4's read, so
// the values are always those HDF4 would give. With VEG_HDF_INFLATE=hdf in the environment every
// field is left to HDF4.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace veg::grid {

// Bytes left uncleared when allocated: compressed streams are read or made over them whole.
class RawBytes {
  public:
    // Makes room for `count` bytes, whose values are unspecified (a smaller count keeps the first
    // ones); false, with nothing changed, when memory runs out.
    bool resize(size_t count);
    uint8_t *data() { return bytes_.get(); }
    const uint8_t *data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// A whole field's zlib stream as the file holds it, with what it decodes to: the field's bytes as
// stored (big-endian values), their count and CRC-32. A writer that carries the field unchanged
// into another file can hand the stream on instead of compressing the bytes again (hdfdeflate.h).
struct KeptStream {
    RawBytes stream;
    uint64_t decodedBytes = 0;
    uint32_t crc32 = 0;
};

enum class InflateResult {
    Decoded, // the destination holds the field's values, in host byte order
    NotMine, // nothing decided: the field must be read by HDF4 (the destination may be written)
    Damaged, // the compressed bytes are not a valid zlib stream: the read failed
};

// Decodes one zlib stream of `compressedBytes` bytes into exactly `outBytes` bytes at `out`, then
// turns the values of HDF4 number type `numberType` (stored big-endian) into host order.
// NotMine when the stream decodes to another size or the number type is not one of the plain
// 8-, 16-, 32- and 64-bit types; Damaged when the stream is invalid or its checksum differs.
InflateResult inflateFieldBytes(const uint8_t *compressed, size_t compressedBytes,
                                int32_t numberType, void *out, size_t outBytes);

// Reads the whole rank-2 data set `sdsId` of the HDF4 file `hdfFileId` (its dimensions `dims`, in
// the order of its dimension list, and number type `numberType`, both as the caller checked them
// with the grid library) into `out` of exactly `outBytes` bytes, when it is stored deflated.
// Extra memory: the field's compressed bytes (of a chunked field: one chunk, decoded and
// compressed). Damaged only for an unchunked field's stream; a chunk that does not decode leaves
// the field to HDF4. With `keep`, a field stored as one stream and decoded here leaves its stream
// there (else `keep` is emptied).
InflateResult readDeflatedDataSet(int32_t hdfFileId, int32_t sdsId, const int32_t dims[2],
                                  int32_t numberType, void *out, size_t outBytes,
                                  KeptStream *keep = nullptr);

// Since the start of the process: whole fields decoded here, and those left to HDF4's read. For
// the tests, which check that the fields they compare took the path they mean to test.
struct FieldReadCounts {
    uint64_t decoded = 0;
    uint64_t readByHdf = 0;
};
FieldReadCounts fieldReadCounts();
void countFieldReadByHdf();

} // namespace veg::grid
