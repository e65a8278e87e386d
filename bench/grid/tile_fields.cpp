// tile_fields: reflectance tiles stored as the archive stores them, and the time of reading fields.
//   tile_fields archive <tile> <output>   copies every field of the tile's grid into a new file in
//       the archive's layout: chunks of 32 rows (or the nearest fewer that divide the field) across
//       the whole field, each deflated at level 8,
//       with the field's attributes (the generator writes each field as one deflated stream)
//   tile_fields read <grid file>[:<grid name>]...   reads every 2-D field of each grid whole, as
//       the programs read them, and prints the seconds and decoded megabytes per file and in all
//       (VEG_HDF_INFLATE=hdf in the environment: through HDF4's read)
#include "gridio.h"
#include "products.h"

#include <mfhdf.h>
// after mfhdf.h, whose types it uses
#include <HdfEosDef.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace veg::grid;

// The archive's layout of a 2-D tile field.
constexpr int32 kArchiveChunkRows = 32;
constexpr int kArchiveLevel = 8;

// A 2-D field of a grid with its information and an array of its size.
struct WholeField {
    std::string name;
    FieldInfo info;
    Edge edge;
    std::vector<unsigned char> bytes;
};

std::vector<WholeField> wholeFields(const GridReader &reader) {
    std::vector<WholeField> fields;
    for (const std::string &name : readFieldNames(reader.grid())) {
        const std::optional<FieldInfo> info = reader.fieldInfo(name);
        const size_t size = info ? numberTypeSize(info->numberType) : 0;
        if (info && info->rank == 2 && size != 0) {
            const Edge edge{info->dims[0], info->dims[1]};
            fields.push_back(WholeField{name, *info, edge, {}});
            fields.back().bytes.resize(*checkedCellCount(edge.first, edge.second, size));
        }
    }
    return fields;
}

bool readWhole(const GridReader &reader, WholeField &f) {
    return readFieldBytes(reader.grid(), f.name, f.info.numberType, f.edge, f.bytes.data(),
                          f.bytes.size());
}

int archive(const std::string &from, const std::string &to) {
    GridReader in;
    if (!in.open(from, kGridName)) {
        std::fprintf(stderr, "cannot read %s\n", from.c_str());
        return 1;
    }
    GridWriter out;
    if (!out.create(to, kGridName, in.geometry())) {
        std::fprintf(stderr, "cannot create %s\n", to.c_str());
        return 1;
    }
    for (WholeField &f : wholeFields(in)) {
        // HDF-EOS takes only chunks that divide the field: 32 rows, or the nearest fewer that do.
        int32 rows = std::min(kArchiveChunkRows, f.edge.first);
        while (f.edge.first % rows != 0) {
            --rows;
        }
        int32 chunk[2] = {rows, f.edge.second};
        intn level[5] = {kArchiveLevel};
        const bool ok =
            readWhole(in, f) && GDdeftile(out.grid().id(), HDFE_TILE, 2, chunk) != FAIL &&
            GDdefcomp(out.grid().id(), HDFE_COMP_DEFLATE, level) != FAIL &&
            GDdeffield(out.grid().id(), f.name.c_str(), f.info.dimList.c_str(), f.info.numberType,
                       HDFE_NOMERGE) != FAIL &&
            writeFieldBytes(out.grid(), f.name, f.edge, f.bytes.data(), f.bytes.size()) &&
            out.writeAttributes(f.name, in.readAttributes(f.name)) && out.endFieldAccess(f.name);
        if (!ok) {
            std::fprintf(stderr, "cannot copy %s of %s\n", f.name.c_str(), from.c_str());
            return 1;
        }
    }
    if (!out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", to.c_str());
        return 1;
    }
    return 0;
}

int readAll(int argc, char **argv) {
    double seconds = 0;
    double megabytes = 0;
    for (int a = 2; a < argc; ++a) {
        std::string path = argv[a];
        std::string gridName = kGridName;
        const size_t colon = path.rfind(':');
        if (colon != std::string::npos) {
            gridName = path.substr(colon + 1);
            path.resize(colon);
        }
        GridReader reader;
        if (!reader.open(path, gridName)) {
            std::fprintf(stderr, "cannot read grid %s of %s\n", gridName.c_str(), path.c_str());
            return 1;
        }
        double fileSeconds = 0;
        double fileMegabytes = 0;
        for (WholeField &f : wholeFields(reader)) {
            const auto start = std::chrono::steady_clock::now();
            if (!readWhole(reader, f)) {
                std::fprintf(stderr, "cannot read %s of %s\n", f.name.c_str(), path.c_str());
                return 1;
            }
            fileSeconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            fileMegabytes += static_cast<double>(f.bytes.size()) / 1e6;
        }
        std::printf("%s: %.3f s, %.1f MB\n", path.c_str(), fileSeconds, fileMegabytes);
        seconds += fileSeconds;
        megabytes += fileMegabytes;
    }
    std::printf("all: %.3f s, %.1f MB, %.0f MB/s\n", seconds, megabytes, megabytes / seconds);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "archive" && argc == 4) {
        return archive(argv[2], argv[3]);
    }
    if (mode == "read" && argc > 2) {
        return readAll(argc, argv);
    }
    std::fprintf(stderr,
                 "Usage: %s archive <tile> <output>\n       %s read <grid file>[:<grid "
                 "name>]...\n",
                 argv[0], argv[0]);
    return 2;
}
