// conditionmap_baseline: the reads and writes of conditionmap and nothing else, for measuring how
// much of conditionmap's time is its unavoidable I/O:
//   conditionmap_baseline <max-min file> <ndvi file> <reference vci file> <output file>
// The same calls in the same order: open, attach and query both grids, read the four extremes
// fields and the NDVI field whole, create the output with the NDVI grid's geometry and two deflated
// fields, write both and close. Instead of computing, it writes the very values of a VCI grid that
// conditionmap wrote from the same inputs before the timed runs: deflate level 9 takes very
// different times on different contents, so only the same bytes make a fair baseline. Reading that
// reference (two more field reads) is the baseline's only extra work.
#include "gridio.h"
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

    eosgrid::GridReader extremes;
    std::string dimList;
    if (!extremes.open(extremesPath, eosgrid::kGridName)) {
        std::fprintf(stderr, "cannot open %s\n", extremesPath.c_str());
        return 255;
    }
    for (const char *field :
         {eosgrid::kMinField, eosgrid::kMaxField, eosgrid::kMin2Field, eosgrid::kMin3Field}) {
        const std::optional<eosgrid::FieldInfo> info = extremes.fieldInfo(field);
        if (!info) {
            std::fprintf(stderr, "no field %s in %s\n", field, extremesPath.c_str());
            return 255;
        }
        dimList = info->dimList;
    }
    const eosgrid::Edge edge = eosgrid::rowsColumns(extremes.geometry());
    const std::optional<size_t> count = eosgrid::checkedCellCount(edge.first, edge.second, 13);
    if (!count) {
        std::fprintf(stderr, "grid of %s too large\n", extremesPath.c_str());
        return 255;
    }
    const size_t cells = *count / 13;
    std::vector<int16_t> field(cells);
    for (const char *name :
         {eosgrid::kMinField, eosgrid::kMaxField, eosgrid::kMin2Field, eosgrid::kMin3Field}) {
        if (!extremes.readField(name, edge, field.data(), cells)) {
            std::fprintf(stderr, "cannot read %s\n", name);
            return 255;
        }
    }
    extremes.close();

    eosgrid::GridReader ndvi;
    std::optional<eosgrid::FieldInfo> info;
    if (!ndvi.open(ndviPath, eosgrid::kGridName) || !(info = ndvi.fieldInfo(eosgrid::kNdviField))) {
        std::fprintf(stderr, "cannot open %s\n", ndviPath.c_str());
        return 255;
    }
    std::vector<int16_t> ndvi16(cells);
    if (!ndvi.readField(eosgrid::kNdviField, edge, ndvi16.data(), cells)) {
        std::fprintf(stderr, "cannot read %s\n", ndviPath.c_str());
        return 255;
    }
    const eosgrid::GridGeometry geometry = ndvi.geometry();
    ndvi.close();

    std::vector<int16_t> vci16(cells);
    std::vector<uint8_t> vci8(cells);
    eosgrid::GridReader reference;
    if (!reference.open(referencePath, eosgrid::kGridName) ||
        !reference.readField(eosgrid::kVciField, edge, vci16.data(), cells) ||
        !reference.readField(eosgrid::kVci8Field, edge, vci8.data(), cells)) {
        std::fprintf(stderr, "cannot read %s\n", referencePath.c_str());
        return 255;
    }
    reference.close();

    const eosgrid::ProductLayout &layout = eosgrid::productLayout(eosgrid::ProductKind::Vci);
    eosgrid::GridWriter writer;
    if (!writer.create(outputPath, eosgrid::kGridName, geometry) ||
        !writer.defineFields(layout, info->dimList) ||
        !writer.writeField(eosgrid::kVciField, edge, vci16.data(), cells) ||
        !writer.writeField(eosgrid::kVci8Field, edge, vci8.data(), cells) || !writer.commit()) {
        std::fprintf(stderr, "cannot write %s\n", outputPath.c_str());
        return 255;
    }
    std::printf("O.K.\n");
    return 0;
}
