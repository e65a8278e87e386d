// Fields compressed ahead of their write, one thread per field (see streamreuse.h).
#include "streamreuse.h"

#include <libdeflate.h>

#include <new>
#include <system_error>

namespace veg::cloudscreen {

AheadCompression::AheadCompression(const std::vector<veg::grid::FieldCells> &fields, int level,
                                   veg::grid::StreamReuse &reuse) {
    for (const veg::grid::FieldCells &field : fields) {
        const size_t valueSize = veg::grid::numberTypeSize(field.numberType);
        const void *bytes = field.data;
        if (valueSize == 2 && field.bytes % 2 == 0) {
            const size_t count = field.bytes / 2;
            stored_.emplace_back(new (std::nothrow) uint16_t[count]);
            uint16_t *stored = stored_.back().get();
            if (stored == nullptr) {
                continue;
            }
            const uint16_t *values = static_cast<const uint16_t *>(field.data);
            for (size_t i = 0; i < count; ++i) {
                stored[i] = __builtin_bswap16(values[i]);
            }
            bytes = stored;
        } else if (valueSize != 1) {
            continue;
        }
        const size_t reservation =
            reuse.reserve(field.bytes, libdeflate_crc32(0, bytes, field.bytes),
                          libdeflate_adler32(1, bytes, field.bytes));
        const auto compress = [&reuse, reservation, bytes, count = field.bytes, level] {
            reuse.fulfil(reservation, veg::grid::compressLikeHdf(bytes, count, level));
        };
        try {
            threads_.emplace_back(compress);
        } catch (const std::system_error &) {
            compress(); // no thread to be had: made here, before the write needs it
        }
    }
}

AheadCompression::~AheadCompression() {
    for (std::thread &t : threads_) {
        t.join();
    }
}

} // namespace veg::cloudscreen
