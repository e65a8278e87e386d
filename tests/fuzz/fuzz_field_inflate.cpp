// Fuzz target: any bytes as the compressed stream of a whole deflated field. The first byte picks
// the field's number type, the next two its size in bytes; the rest is the stream. The decoder
// must never write past the field, and must agree with zlib: it decodes every stream that zlib
// inflates, checksum included, to the field's size, to the same bytes (in host order), and no
// stream that zlib reads to another size.
#include "fieldinflate.h"
#include "products.h"

#include <zlib.h>

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace veg::grid;
    if (size < 3) {
        return 0;
    }
    const int32_t types[] = {kUInt8, kInt16, kUInt16, kInt32, kFloat32, kFloat64, kInt8};
    const int32_t numberType = types[data[0] % (sizeof(types) / sizeof(types[0]))];
    const size_t outBytes = static_cast<size_t>(data[1]) << 8 | data[2];
    if (outBytes == 0) {
        return 0;
    }
    const uint8_t *stream = data + 3;
    const size_t streamBytes = size - 3;

    // Exactly the field's size: a write past it is a finding of the address checks.
    std::vector<uint8_t> out(outBytes);
    const InflateResult result =
        inflateFieldBytes(stream, streamBytes, numberType, out.data(), out.size());

    // zlib's reading of the same stream, one byte more room to see a longer one.
    std::vector<uint8_t> expected(outBytes + 1);
    uLongf expectedBytes = expected.size();
    const int status = uncompress(expected.data(), &expectedBytes, stream, streamBytes);
    const size_t valueSize = numberTypeSize(numberType);
    const bool zlibDecodes =
        status == Z_OK && expectedBytes == outBytes && outBytes % valueSize == 0;
    // libdeflate accepts a few streams that zlib refuses as invalid data (codes no encoder
    // writes); with their checksum right, such a stream decodes here where HDF4's read fails.
    // Every stream zlib reads, libdeflate reads alike.
    if (zlibDecodes != (result == InflateResult::Decoded) && status != Z_DATA_ERROR) {
        __builtin_trap();
    }
    if (zlibDecodes && result != InflateResult::Decoded) {
        __builtin_trap();
    }
    if (result == InflateResult::Decoded && status != Z_OK) {
        return 0;
    }
    if (result == InflateResult::Decoded) {
        for (size_t i = 0; i < outBytes; i += valueSize) {
            for (size_t b = 0; b < valueSize; ++b) {
                if (out[i + b] != expected[i + valueSize - 1 - b]) {
                    __builtin_trap();
                }
            }
        }
    }
    return 0;
}
