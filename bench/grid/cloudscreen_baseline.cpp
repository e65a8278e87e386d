// cloudscreen_baseline: the reads and writes of cloudscreen and nothing else, for measuring how
// much of cloudscreen's time is its unavoidable I/O:
//   cloudscreen_baseline <daily NDVI grid> <reference screened grid> <output grid> <state tile>...
// The same calls in the same order: open and query the daily grid, read its two NDVI fields,
// read each state tile's whole state field, start compressing the NDVI fields ahead, read the
// carried fields (keeping their streams) and their attributes, and write the grid through the
// same writeProduct. Instead of screening, it compresses and writes the NDVI fields of a grid that
// cloudscreen wrote from the same inputs before the timed runs (deflate takes different times on
// different contents, so only the same bytes make a fair baseline); reading those two fields is
// its only extra work.
#include "gridio.h"
#include "mosaic_windows.h"
#include "productio.h"
#include "products.h"
#include "streamreuse.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using veg::daymosaic::Mosaic;

bool readGrid(const std::string &path, veg::grid::GridReader &reader, Mosaic &m,
              std::string *dimList) {
    std::optional<veg::grid::FieldInfo> info;
    if (!reader.open(path, veg::grid::kGridName) ||
        !(info = reader.fieldInfo(veg::grid::kNdviField))) {
        return false;
    }
    *dimList = info->dimList;
    m.columns = reader.geometry().columns;
    m.rows = reader.geometry().rows;
    m.order = veg::daymosaic::dimensionOrder(*dimList);
    return m.order != 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "Usage: %s <daily NDVI grid> <reference screened grid> <output grid> "
                     "<state tile>...\n",
                     argv[0]);
        return 255;
    }
    const std::string dailyPath = argv[1], referencePath = argv[2], outputPath = argv[3];
    veg::grid::GridReader daily;
    Mosaic m;
    std::string dimList;
    if (!readGrid(dailyPath, daily, m, &dimList) || !veg::daymosaic::allocateMosaic(m)) {
        std::fprintf(stderr, "cannot open %s\n", dailyPath.c_str());
        return 255;
    }
    const veg::grid::Edge edge = m.edge();
    std::vector<veg::grid::KeptStream> kept(veg::grid::kCarriedFieldCount + 2);
    bool ok = daily.readField(veg::grid::kNdviField, edge, m.ndvi.get(), m.cells,
                              &kept[veg::grid::kCarriedFieldCount]) &&
              daily.readField(veg::grid::kNdvi8Field, edge, m.ndvi8.get(), m.cells,
                              &kept[veg::grid::kCarriedFieldCount + 1]);
    for (int i = 4; ok && i < argc; ++i) {
        veg::grid::GridReader tile;
        ok = tile.open(argv[i], "MODIS_Grid_1km_2D");
        const veg::grid::Edge tileEdge = veg::grid::rowsColumns(tile.geometry());
        std::vector<uint16_t> state(static_cast<size_t>(tileEdge.first) * tileEdge.second);
        ok = ok && tile.readField("state_1km_1", tileEdge, state.data(), state.size());
    }
    veg::grid::GridReader reference;
    Mosaic r;
    std::string referenceDimList;
    ok = ok && readGrid(referencePath, reference, r, &referenceDimList) &&
         reference.readField(veg::grid::kNdviField, edge, m.ndvi.get(), m.cells) &&
         reference.readField(veg::grid::kNdvi8Field, edge, m.ndvi8.get(), m.cells);
    if (!ok) {
        std::fprintf(stderr, "cannot read the inputs\n");
        return 255;
    }
    veg::grid::StreamReuse reuse;
    const std::vector<veg::grid::FieldCells> fields = veg::daymosaic::productFields(m);
    const std::vector<veg::grid::FieldCells> ndviFields(fields.end() - 2, fields.end());
    const veg::cloudscreen::AheadCompression ahead(ndviFields, veg::grid::kDeflateLevel, reuse);
    ok = veg::daymosaic::forEachCarried(m, [&](size_t field, auto *grid) {
        return daily.readField(veg::grid::kCarriedFields[field].name, edge, grid, m.cells,
                               &kept[field]);
    });
    std::vector<veg::grid::FieldAttributes> carried;
    for (const veg::grid::CarriedField &f : veg::grid::kCarriedFields) {
        carried.push_back(veg::grid::FieldAttributes{f.name, daily.readAttributes(f.name)});
    }
    const veg::grid::GridGeometry geometry = daily.geometry();
    daily.close();
    if (!ok) {
        std::fprintf(stderr, "cannot read the inputs\n");
        return 255;
    }
    for (veg::grid::KeptStream &k : kept) {
        reuse.add(std::move(k));
    }
    const veg::grid::ProductTarget target{
        outputPath,
        veg::grid::kGridName,
        geometry,
        dimList,
        veg::grid::productLayout(veg::grid::ProductKind::DailyNdvi),
        edge};
    return veg::grid::writeProduct(target, fields, carried).ok() ? 0 : 255;
}
