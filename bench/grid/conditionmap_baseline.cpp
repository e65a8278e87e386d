// conditionmap_baseline: the reads and writes of conditionmap and nothing else, for measuring how
// much of conditionmap's time is its unavoidable I/O:
//   conditionmap_baseline <max-min file> <ndvi file> <reference vci file> <output file>
// The same calls in the same order: open, attach and query both grids, read the four extremes
// fields and the NDVI field whole, and write the VCI grid with the NDVI grid's geometry through
// the same writeProduct. Instead of computing, it writes the very values of a VCI grid that
// conditionmap wrote from the same inputs before the timed runs: deflate level 9 takes very
// different times on different contents, so only the same bytes make a fair baseline. Reading that
// reference (two more field reads) is the baseline's only extra work.
#include "gridio.h"
#include "productio.h"
#include "products.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "Usage: %s <max-min file> <ndvi file> <reference vci file> <output file>\n",
                     argv[0]);
        return 255;
    }
    const std::string extremesPath = argv[1];
    const std::string ndviPath = argv[2];
    const std::string referencePath = argv[3];
    const std::string outputPath = argv[4];

    veg::grid::GridReader extremes;
    std::string dimList;
    if (!extremes.open(extremesPath, veg::grid::kGridName)) {
        std::fprintf(stderr, "cannot open %s\n", extremesPath.c_str());
        return 255;
    }
    for (const char *field : {veg::grid::kMinField, veg::grid::kMaxField, veg::grid::kMin2Field,
                              veg::grid::kMin3Field}) {
        const std::optional<veg::grid::FieldInfo> info = extremes.fieldInfo(field);
        if (!info) {
            std::fprintf(stderr, "no field %s in %s\n", field, extremesPath.c_str());
            return 255;
        }
        dimList = info->dimList;
    }
    const veg::grid::Edge edge = veg::grid::rowsColumns(extremes.geometry());
    const std::optional<size_t> count = veg::grid::checkedCellCount(edge.first, edge.second, 13);
    if (!count) {
        std::fprintf(stderr, "grid of %s too large\n", extremesPath.c_str());
        return 255;
    }
    const size_t cells = *count / 13;
    std::vector<int16_t> field(cells);
    for (const char *name : {veg::grid::kMinField, veg::grid::kMaxField, veg::grid::kMin2Field,
                             veg::grid::kMin3Field}) {
        if (!extremes.readField(name, edge, field.data(), cells)) {
            std::fprintf(stderr, "cannot read %s\n", name);
            return 255;
        }
    }
    extremes.close();

    veg::grid::GridReader ndvi;
    std::optional<veg::grid::FieldInfo> info;
    if (!ndvi.open(ndviPath, veg::grid::kGridName) ||
        !(info = ndvi.fieldInfo(veg::grid::kNdviField))) {
        std::fprintf(stderr, "cannot open %s\n", ndviPath.c_str());
        return 255;
    }
    std::vector<int16_t> ndvi16(cells);
    if (!ndvi.readField(veg::grid::kNdviField, edge, ndvi16.data(), cells)) {
        std::fprintf(stderr, "cannot read %s\n", ndviPath.c_str());
        return 255;
    }
    const veg::grid::GridGeometry geometry = ndvi.geometry();
    ndvi.close();

    std::vector<int16_t> vci16(cells);
    std::vector<uint8_t> vci8(cells);
    veg::grid::GridReader reference;
    if (!reference.open(referencePath, veg::grid::kGridName) ||
        !reference.readField(veg::grid::kVciField, edge, vci16.data(), cells) ||
        !reference.readField(veg::grid::kVci8Field, edge, vci8.data(), cells)) {
        std::fprintf(stderr, "cannot read %s\n", referencePath.c_str());
        return 255;
    }
    reference.close();

    const veg::grid::ProductTarget target{outputPath,
                                          veg::grid::kGridName,
                                          geometry,
                                          info->dimList,
                                          veg::grid::productLayout(veg::grid::ProductKind::Vci),
                                          edge};
    if (!veg::grid::writeProduct(target, {veg::grid::cellsOf(vci16.data(), cells),
                                          veg::grid::cellsOf(vci8.data(), cells)})
             .ok()) {
        std::fprintf(stderr, "cannot write %s\n", outputPath.c_str());
        return 255;
    }
    std::printf("O.K.\n");
    return 0;
}
