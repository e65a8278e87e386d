// Writing a grid whose fields mostly pass through unchanged from the grid they were read from:
// the streams of the fields as read are handed to HDF4 again where the data is the same, and the
// fields that changed are compressed ahead, each on a thread of its own, while the rest is read
// and written, so that the write compresses nothing itself (hdfdeflate.h).
#pragma once

#include "hdfdeflate.h"
#include "productio.h"

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace veg::cloudscreen {

// Bytes per cell that AheadCompression needs at most for a 16-bit and an 8-bit field: the 16-bit
// field's bytes in the file's order and both fields' compressed streams.
inline constexpr size_t kAheadBytesPerCell = 6;

// Starts compressing each field (its values in host order, unchanged until the object ends) as
// HDF4 will at zlib level `level`, one thread per field; each stream is reserved in `reuse` at
// once and handed to it when made, so that the field's write waits for it. A field whose bytes
// cannot be prepared (memory) is left to the write. The object waits for its threads when it
// ends, and must end before `reuse`.
class AheadCompression {
  public:
    AheadCompression(const std::vector<veg::grid::FieldCells> &fields, int level,
                     veg::grid::StreamReuse &reuse);
    ~AheadCompression();
    AheadCompression(const AheadCompression &) = delete;
    AheadCompression &operator=(const AheadCompression &) = delete;

  private:
    std::vector<std::unique_ptr<uint16_t[]>> stored_; // 16-bit fields in the file's byte order
    std::vector<std::thread> threads_;
};

} // namespace veg::cloudscreen
