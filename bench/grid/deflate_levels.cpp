// deflate_levels: compressed size and speed of every field of grid files, zlib level 9 against
// libdeflate's levels, on the bytes as the file stores them (big-endian), for choosing the
// libdeflate level of the deflated product fields:
//   deflate_levels [--levels 6,9,12] <grid file>[:<grid name>]...
// Prints one line per field and level: raw bytes, compressed bytes, size against zlib level 9 and
// megabytes (of raw data) per second. Every libdeflate stream is checked to decode with zlib to
// the field's bytes.
#include "gridio.h"
#include "products.h"

#include <mfhdf.h>
// after mfhdf.h, whose types it uses
#include <HdfEosDef.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double secondsOf(const std::chrono::steady_clock::time_point &start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char *typeName(int32_t numberType) {
    switch (numberType) {
    case DFNT_INT8:
        return "int8";
    case DFNT_UINT8:
        return "uint8";
    case DFNT_INT16:
        return "int16";
    case DFNT_UINT16:
        return "uint16";
    default:
        return "other";
    }
}

void measureField(const std::string &field, int32_t numberType, std::vector<unsigned char> bytes,
                  const std::vector<int> &levels) {
    const size_t elementSize = veg::grid::numberTypeSize(numberType);
    if (elementSize == 2) { // the file keeps 16-bit values big-endian
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            std::swap(bytes[i], bytes[i + 1]);
        }
    }
    const double megabytes = static_cast<double>(bytes.size()) / 1e6;
    std::vector<unsigned char> out(compressBound(bytes.size()));
    uLongf zlibSize = out.size();
    auto start = std::chrono::steady_clock::now();
    compress2(out.data(), &zlibSize, bytes.data(), bytes.size(), 9);
    const double zlibSeconds = secondsOf(start);
    std::printf("%-24s %-6s %12zu  zlib 9      %12lu  100.00 %%  %7.1f MB/s\n", field.c_str(),
                typeName(numberType), bytes.size(), static_cast<unsigned long>(zlibSize),
                megabytes / zlibSeconds);
    std::vector<unsigned char> back(bytes.size());
    for (int level : levels) {
        libdeflate_compressor *c = libdeflate_alloc_compressor(level);
        start = std::chrono::steady_clock::now();
        const size_t size =
            libdeflate_zlib_compress(c, bytes.data(), bytes.size(), out.data(), out.size());
        const double seconds = secondsOf(start);
        libdeflate_free_compressor(c);
        uLongf backSize = back.size();
        const bool same = uncompress(back.data(), &backSize, out.data(), size) == Z_OK &&
                          backSize == bytes.size() && back == bytes;
        std::printf("%-24s %-6s %12zu  libdeflate %2d %10zu  %6.2f %%  %7.1f MB/s%s\n",
                    field.c_str(), typeName(numberType), bytes.size(), level, size,
                    100.0 * static_cast<double>(size) / static_cast<double>(zlibSize),
                    megabytes / seconds, same ? "" : "  DECODES DIFFERENTLY");
    }
}

} // namespace

int main(int argc, char **argv) {
    std::vector<int> levels{6, 9, 10, 11, 12};
    int a = 1;
    if (argc > 2 && std::string(argv[1]) == "--levels") {
        levels.clear();
        for (const char *p = argv[2]; *p != '\0';) {
            char *end = nullptr;
            levels.push_back(static_cast<int>(std::strtol(p, &end, 10)));
            p = *end == ',' ? end + 1 : end;
            if (end == p && *p != '\0') {
                break;
            }
        }
        a = 3;
    }
    if (a >= argc) {
        std::fprintf(stderr, "Usage: %s [--levels 6,9,12] <grid file>[:<grid name>]...\n", argv[0]);
        return 2;
    }
    int status = 0;
    for (; a < argc; ++a) {
        std::string path = argv[a];
        std::string gridName = veg::grid::kGridName;
        const size_t colon = path.rfind(':');
        if (colon != std::string::npos) {
            gridName = path.substr(colon + 1);
            path.resize(colon);
        }
        veg::grid::GridReader reader;
        if (!reader.open(path, gridName)) {
            std::fprintf(stderr, "cannot read grid %s of %s\n", gridName.c_str(), path.c_str());
            status = 1;
            continue;
        }
        std::printf("%s\n", path.c_str());
        for (const std::string &field : veg::grid::readFieldNames(reader.grid())) {
            const std::optional<veg::grid::FieldInfo> info = reader.fieldInfo(field);
            if (!info || info->rank != 2 || veg::grid::numberTypeSize(info->numberType) == 0 ||
                veg::grid::numberTypeSize(info->numberType) > 2) {
                continue;
            }
            const veg::grid::Edge edge{info->dims[0], info->dims[1]};
            std::vector<unsigned char> bytes(static_cast<size_t>(edge.first) * edge.second *
                                             veg::grid::numberTypeSize(info->numberType));
            if (!veg::grid::readFieldBytes(reader.grid(), field, info->numberType, edge,
                                           bytes.data(), bytes.size())) {
                std::fprintf(stderr, "cannot read %s of %s\n", field.c_str(), path.c_str());
                status = 1;
                continue;
            }
            measureField(field, info->numberType, std::move(bytes), levels);
        }
    }
    return status;
}
