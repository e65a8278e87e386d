// I/O-only baseline of daymosaic: the same list, mask read, tile window reads, full-size grids and
// the daily grid written through the same writeProduct with the first tile's attributes, without
// NDVI, the 8-bit mapping or the fill. Deflate's cost depends on the bytes, so the two NDVI fields
// are written with the very bytes daymosaic wrote, taken from a raw file that `--dump <daily grid>
// <raw file>` extracts once beforehand. Ends with status 1 as daymosaic does.
#include "file_list.h"
#include "gridio.h"
#include "mosaic_rules.h"
#include "productio.h"
#include "products.h"
#include "sd_attributes.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

namespace {

template <typename T>
bool readWindow(const veg::grid::GridReader &tile, const char *field,
                const veg::daymosaic::AxisWindow &rows, const veg::daymosaic::AxisWindow &columns,
                T *full, int64_t fullColumns) {
    std::unique_ptr<T[]> window(new T[static_cast<size_t>(rows.count * columns.count)]);
    const veg::grid::Edge start{static_cast<int32_t>(rows.tileStart),
                                static_cast<int32_t>(columns.tileStart)};
    const veg::grid::Edge edge{static_cast<int32_t>(rows.count),
                               static_cast<int32_t>(columns.count)};
    if (!veg::grid::readFieldWindow(tile.grid(), field, start, edge, window.get(),
                                    static_cast<size_t>(rows.count * columns.count))) {
        return false;
    }
    for (int64_t j = 0; j < rows.count; ++j) {
        std::memcpy(full + (rows.outputStart + j) * fullColumns + columns.outputStart,
                    window.get() + j * columns.count,
                    static_cast<size_t>(columns.count) * sizeof(T));
    }
    return true;
}

int fail(const std::string &what) {
    std::cerr << "baseline: " << what << "\n";
    return 255;
}

} // namespace

// Writes the two NDVI fields of a daily grid, 16-bit then 8-bit, to a raw file.
int dump(const std::string &daily, const std::string &raw) {
    veg::grid::GridReader grid;
    if (!grid.open(daily, veg::grid::kGridName)) {
        return fail("cannot open " + daily);
    }
    const veg::grid::GridGeometry &g = grid.geometry();
    const size_t n = static_cast<size_t>(g.columns) * static_cast<size_t>(g.rows);
    std::vector<int16_t> ndvi(n);
    std::vector<uint8_t> ndvi8(n);
    const veg::grid::Edge edge{g.rows, g.columns};
    std::FILE *out = std::fopen(raw.c_str(), "wb");
    const bool ok = out && grid.readField(veg::grid::kNdviField, edge, ndvi.data(), n) &&
                    grid.readField(veg::grid::kNdvi8Field, edge, ndvi8.data(), n) &&
                    std::fwrite(ndvi.data(), 2, n, out) == n &&
                    std::fwrite(ndvi8.data(), 1, n, out) == n;
    if (out == nullptr || std::fclose(out) != 0 || !ok) {
        return fail("cannot dump " + daily);
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 4 && std::string(argv[1]) == "--dump") {
        return dump(argv[2], argv[3]);
    }
    if (argc != 5) {
        return fail("usage: daymosaic_baseline <list> <mask> <output> <raw NDVI file>\n"
                    "       daymosaic_baseline --dump <daily grid> <raw NDVI file>");
    }
    veg::daymosaic::FileList list;
    if (veg::daymosaic::readFileList(list, argv[1]) < 1) {
        return fail("no tiles");
    }
    veg::grid::GridReader mask;
    std::optional<veg::grid::FieldInfo> info;
    if (!mask.open(argv[2], veg::grid::kGridName) ||
        !(info = mask.fieldInfo(veg::grid::kMaskField))) {
        return fail("mask");
    }
    const veg::grid::GridGeometry g = mask.geometry();
    const size_t n = static_cast<size_t>(g.columns) * static_cast<size_t>(g.rows);
    const veg::grid::Edge edge{g.rows, g.columns};
    std::unique_ptr<uint8_t[]> maskCells(new uint8_t[n]);
    std::unique_ptr<int8_t[]> numObservations(new int8_t[n]), obscov(new int8_t[n]),
        orbitPointer(new int8_t[n]);
    std::unique_ptr<int16_t[]> red(new int16_t[n]), nir(new int16_t[n]);
    std::unique_ptr<uint16_t[]> qc(new uint16_t[n]);
    std::unique_ptr<uint8_t[]> iobsRes(new uint8_t[n]), granulePointer(new uint8_t[n]);
    if (!mask.readField(veg::grid::kMaskField, edge, maskCells.get(), n)) {
        return fail("mask field");
    }
    mask.close();
    const double cellWidth = (g.lowerRight[0] - g.upperLeft[0]) / g.columns;
    const double cellHeight = (g.upperLeft[1] - g.lowerRight[1]) / g.rows;
    std::vector<veg::grid::FieldAttributes> carried;
    for (const std::string &path : list.paths) {
        veg::grid::GridReader tile;
        if (!tile.open(path, veg::grid::kGridName)) {
            return fail("tile " + path);
        }
        if (carried.empty()) {
            for (const veg::grid::CarriedField &field : veg::grid::kCarriedFields) {
                carried.push_back({field.name, {}});
                veg::daymosaic::readAttributes(tile.file(), field.name, carried.back().attributes);
            }
        }
        const veg::grid::GridGeometry &t = tile.geometry();
        int64_t columnOffset = 0, rowOffset = 0;
        veg::daymosaic::cellOffset(g.upperLeft[0], t.upperLeft[0], cellWidth, &columnOffset);
        veg::daymosaic::cellOffset(t.upperLeft[1], g.upperLeft[1], cellHeight, &rowOffset);
        const veg::daymosaic::AxisWindow columns =
            veg::daymosaic::overlapAxis(columnOffset, t.columns, g.columns);
        const veg::daymosaic::AxisWindow rows =
            veg::daymosaic::overlapAxis(rowOffset, t.rows, g.rows);
        if (columns.count == 0 || rows.count == 0) {
            continue;
        }
        const bool ok = readWindow(tile, veg::grid::kCarriedFields[0].name, rows, columns,
                                   numObservations.get(), g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[1].name, rows, columns,
                                   red.get(), g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[2].name, rows, columns,
                                   nir.get(), g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[3].name, rows, columns, qc.get(),
                                   g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[4].name, rows, columns,
                                   obscov.get(), g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[5].name, rows, columns,
                                   iobsRes.get(), g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[6].name, rows, columns,
                                   orbitPointer.get(), g.columns) &&
                        readWindow(tile, veg::grid::kCarriedFields[7].name, rows, columns,
                                   granulePointer.get(), g.columns);
        if (!ok) {
            return fail("read " + path);
        }
    }
    std::unique_ptr<int16_t[]> ndvi(new int16_t[n]);
    std::unique_ptr<uint8_t[]> ndvi8(new uint8_t[n]);
    std::FILE *raw = std::fopen(argv[4], "rb");
    const bool rawRead =
        raw && std::fread(ndvi.get(), 2, n, raw) == n && std::fread(ndvi8.get(), 1, n, raw) == n;
    if (raw) {
        std::fclose(raw);
    }
    if (!rawRead) {
        return fail(std::string("cannot read ") + argv[4]);
    }
    const veg::grid::ProductTarget target{
        argv[3],
        veg::grid::kGridName,
        g,
        info->dimList,
        veg::grid::productLayout(veg::grid::ProductKind::DailyNdvi),
        edge};
    const bool ok =
        veg::grid::writeProduct(
            target,
            {veg::grid::cellsOf(numObservations.get(), n), veg::grid::cellsOf(red.get(), n),
             veg::grid::cellsOf(nir.get(), n), veg::grid::cellsOf(qc.get(), n),
             veg::grid::cellsOf(obscov.get(), n), veg::grid::cellsOf(iobsRes.get(), n),
             veg::grid::cellsOf(orbitPointer.get(), n), veg::grid::cellsOf(granulePointer.get(), n),
             veg::grid::cellsOf(ndvi.get(), n), veg::grid::cellsOf(ndvi8.get(), n)},
            carried)
            .ok();
    if (!ok) {
        return fail("write");
    }
    std::cout << "O.K.\n";
    return 1;
}
