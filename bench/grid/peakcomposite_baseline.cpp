// I/O-only baseline of peakcomposite: the same list read, the same inputs opened, queried and read
// whole (both NDVI fields), and a composite grid of three deflated fields written with its
// attributes, without the compositing rules. Arguments: <list file> <output file> [raw dir]; with a
// folder of raw dumps of the program's output fields, those bytes are written instead of the last
// input's (the cost of deflating a field depends on its contents).
#include "benchgrids.h"
#include "gridio.h"
#include "peakcomposite.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <list file> <output file>\n", argv[0]);
        return 2;
    }
    std::vector<std::string> entries;
    if (!peakcomposite::readListFile(argv[1], peakcomposite::kMaxListEntries, entries))
        return 1;
    std::unique_ptr<int16_t[]> in16;
    std::unique_ptr<uint8_t[]> in8;
    size_t cells = 0;
    veg::grid::Edge edge;
    veg::grid::GridGeometry geometry;
    std::string dimList;
    for (const std::string &path : entries) {
        veg::grid::GridReader reader;
        if (!reader.open(path, veg::grid::kGridName))
            continue;
        const auto info16 = reader.fieldInfo(veg::grid::kNdviField);
        const auto info8 = reader.fieldInfo(veg::grid::kNdvi8Field);
        if (!info16 || !info8)
            continue;
        if (!in16) {
            geometry = reader.geometry();
            edge = veg::grid::rowsColumns(geometry);
            cells = *veg::grid::checkedCellCount(geometry.rows, geometry.columns);
            in16.reset(new int16_t[cells]);
            in8.reset(new uint8_t[cells]);
        }
        if (!reader.readField(veg::grid::kNdviField, edge, in16.get(), cells) ||
            !reader.readField(veg::grid::kNdvi8Field, edge, in8.get(), cells)) {
            return 1;
        }
        dimList = info8->dimList;
    }
    if (!in16)
        return 1;
    const benchgrids::RawOutputs raw(argc > 3 ? argv[3] : "");
    std::vector<uint8_t> raw16, raw8, rawQc;
    const void *out16 = in16.get();
    const void *out8 = in8.get();
    const void *outQc = in8.get();
    if (raw.active()) {
        in16.reset();
        in8.reset();
        raw16 = raw.load(veg::grid::kNdviField, cells * 2);
        raw8 = raw.load(veg::grid::kNdvi8Field, cells);
        rawQc = raw.load(veg::grid::kQcField, cells);
        out16 = raw16.data();
        out8 = raw8.data();
        outQc = rawQc.data();
    }
    const veg::grid::ProductLayout &layout =
        veg::grid::productLayout(veg::grid::ProductKind::Composite);
    veg::grid::GridWriter writer;
    if (!writer.create(argv[2], veg::grid::kGridName, geometry) ||
        !writer.defineFields(layout, dimList) ||
        !veg::grid::writeFieldBytes(writer.grid(), veg::grid::kNdviField, edge, out16, cells * 2) ||
        !veg::grid::writeFieldBytes(writer.grid(), veg::grid::kNdvi8Field, edge, out8, cells) ||
        !veg::grid::writeFieldBytes(writer.grid(), veg::grid::kQcField, edge, outQc, cells) ||
        !writer.writeLayoutAttributes(layout)) {
        return 1;
    }
    return writer.commit() ? 0 : 1;
}
