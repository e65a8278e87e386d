// I/O-only baseline of peakcomposite: the same list read, the same inputs opened, checked and read
// whole (both NDVI fields) through the same input series, and the composite grid written through
// the same writeProduct, without the compositing rules. Arguments: <list file> <output file>
// [raw dir]; with a folder of raw dumps of the program's output fields, those bytes are written
// instead of the last input's (the cost of deflating a field depends on its contents).
#include "benchgrids.h"
#include "peakcomposite.h"
#include "productio.h"
#include "textinput.h"

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
    if (!veg::fileio::readPathList(argv[1], veg::peakcomposite::kMaxListEntries, entries))
        return 1;
    veg::grid::InputSeries series(veg::grid::kGridName,
                                  {veg::grid::kNdviField, veg::grid::kNdvi8Field}, sizeof(int16_t));
    std::unique_ptr<int16_t[]> in16;
    std::unique_ptr<uint8_t[]> in8;
    for (const std::string &path : entries) {
        const veg::grid::InputStatus status = series.open(path);
        if (status == veg::grid::InputStatus::First) {
            in16 = veg::grid::allocateCells<int16_t>(series.cells());
            in8 = veg::grid::allocateCells<uint8_t>(series.cells());
        } else if (status != veg::grid::InputStatus::Same) {
            continue;
        }
        if (!series.readFields({veg::grid::bufferOf(in16.get(), series.cells()),
                                veg::grid::bufferOf(in8.get(), series.cells())}))
            return 1;
    }
    if (!in16)
        return 1;
    const size_t cells = series.cells();
    const benchgrids::RawOutputs raw(argc > 3 ? argv[3] : "");
    std::vector<uint8_t> raw16, raw8, rawQc;
    veg::grid::FieldCells out16 = veg::grid::cellsOf(in16.get(), cells);
    veg::grid::FieldCells out8 = veg::grid::cellsOf(in8.get(), cells);
    veg::grid::FieldCells outQc = out8;
    if (raw.active()) {
        in16.reset();
        in8.reset();
        raw16 = raw.load(veg::grid::kNdviField, cells * 2);
        raw8 = raw.load(veg::grid::kNdvi8Field, cells);
        rawQc = raw.load(veg::grid::kQcField, cells);
        out16.data = raw16.data();
        out8.data = raw8.data();
        outQc.data = rawQc.data();
    }
    const veg::grid::ProductTarget target{
        argv[2],
        veg::grid::kGridName,
        series.outputGeometry(),
        series.outputDimList(),
        veg::grid::productLayout(veg::grid::ProductKind::Composite),
        series.edge()};
    return veg::grid::writeProduct(target, {out16, out8, outQc}).ok() ? 0 : 1;
}
