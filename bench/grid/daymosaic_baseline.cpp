// I/O-only baseline of daymosaic: the same list, mask read, tile window reads, full-size grids and
// the daily grid written through the same writeProduct with the first tile's attributes, without
// NDVI, the 8-bit mapping or the fill. Deflate's cost depends on the bytes, so the two NDVI fields
// are written with the very bytes daymosaic wrote, taken from a raw file that `--dump <daily grid>
// <raw file>` extracts once beforehand. Ends with status 1 as daymosaic does.
#include "file_list.h"
#include "gridio.h"
#include "mosaic_windows.h"
#include "productio.h"
#include "products.h"
#include "sd_attributes.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

namespace {

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
    namespace dm = veg::daymosaic;
    dm::FileList list;
    if (dm::readFileList(list, argv[1]) < 1) {
        return fail("no tiles");
    }
    dm::Mosaic m;
    dm::MaskFrame frame;
    std::string dimList;
    veg::grid::GridGeometry maskGeometry;
    {
        veg::grid::GridReader mask;
        std::optional<veg::grid::FieldInfo> info;
        if (!mask.open(argv[2], veg::grid::kGridName) ||
            !(info = mask.fieldInfo(veg::grid::kMaskField)) ||
            !dm::frameOf(mask.geometry(), &frame)) {
            return fail("mask");
        }
        dimList = info->dimList;
        maskGeometry = mask.geometry();
        m.columns = mask.geometry().columns;
        m.rows = mask.geometry().rows;
        m.order = dm::dimensionOrder(dimList);
        if (m.order == 0 || !dm::allocateMosaic(m) ||
            !mask.readField(veg::grid::kMaskField, m.edge(), m.mask.get(), m.cells)) {
            return fail("mask field");
        }
    }
    std::vector<veg::grid::FieldAttributes> carried;
    for (const std::string &path : list.paths) {
        veg::grid::GridReader tile;
        if (!tile.open(path, veg::grid::kGridName)) {
            return fail("tile " + path);
        }
        std::vector<veg::grid::FieldInfo> infos;
        for (const veg::grid::CarriedField &field : veg::grid::kCarriedFields) {
            std::optional<veg::grid::FieldInfo> info = tile.fieldInfo(field.name);
            if (!info) {
                return fail("fields of " + path);
            }
            infos.push_back(*info);
        }
        if (carried.empty()) {
            for (const veg::grid::CarriedField &field : veg::grid::kCarriedFields) {
                carried.push_back({field.name, {}});
                dm::readAttributes(tile.file(), field.name, carried.back().attributes);
            }
        }
        dm::TileWindow window;
        if (dm::placeTile(frame, m, tile.geometry(), &window) != dm::Placement::Inside) {
            continue;
        }
        const bool ok = dm::forEachCarried(m, [&](size_t field, auto *grid) {
            return dm::carryWindow(tile, veg::grid::kCarriedFields[field].name, infos[field],
                                   window, m, grid) == dm::WindowResult::Copied;
        });
        if (!ok) {
            return fail("read " + path);
        }
    }
    const size_t n = m.cells;
    std::FILE *raw = std::fopen(argv[4], "rb");
    const bool rawRead = raw && std::fread(m.ndvi.get(), 2, n, raw) == n &&
                         std::fread(m.ndvi8.get(), 1, n, raw) == n;
    if (raw) {
        std::fclose(raw);
    }
    if (!rawRead) {
        return fail(std::string("cannot read ") + argv[4]);
    }
    std::vector<veg::grid::FieldCells> fields;
    dm::forEachCarried(m, [&](size_t, auto *grid) {
        fields.push_back(veg::grid::cellsOf(grid, n));
        return true;
    });
    fields.push_back(veg::grid::cellsOf(m.ndvi.get(), n));
    fields.push_back(veg::grid::cellsOf(m.ndvi8.get(), n));
    const veg::grid::ProductTarget target{
        argv[3],
        veg::grid::kGridName,
        maskGeometry,
        dimList,
        veg::grid::productLayout(veg::grid::ProductKind::DailyNdvi),
        m.edge()};
    if (!veg::grid::writeProduct(target, fields, carried).ok()) {
        return fail("write");
    }
    std::cout << "O.K.\n";
    return 1;
}
