// I/O-only baseline of periodextremes: the same period files opened, checked and read whole
// through the same input series, and the extremes grid written through the same writeProduct,
// without the per-pixel rule.
// Arguments as periodextremes: <src dir> <start yyyy> <end yyyy> <targetfile> <period> <L> <A>,
// then optionally a folder of raw dumps of the program's output fields, whose bytes are written
// instead of the last year's field (the cost of deflating a field depends on its contents).
#include "benchgrids.h"
#include "calendar.h"
#include "productio.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: %s <src dir> <start> <end> <target> <period> <L> <A>\n",
                     argv[0]);
        return 2;
    }
    const std::string src = argv[1];
    const int start = std::atoi(argv[2]), end = std::atoi(argv[3]);
    const int period = std::atoi(argv[5]), step = std::atoi(argv[6]), length = std::atoi(argv[7]);
    std::vector<std::string> names;
    for (int year = start; year <= end; ++year)
        names.push_back(veg::calendar::periodNdviFileName(
            src, year, veg::calendar::periodOf(year, period, step, length)));
    veg::grid::InputSeries series(veg::grid::kGridName, {veg::grid::kNdviField},
                                  5 * sizeof(int16_t));
    std::unique_ptr<int16_t[]> values = benchgrids::readEachNdvi<int16_t>(names, series);
    if (!values)
        return 1;
    const size_t cells = series.cells();
    const benchgrids::RawOutputs raw(argc > 8 ? argv[8] : "");
    std::vector<std::vector<uint8_t>> rawFields;
    std::vector<veg::grid::FieldCells> fields;
    for (const char *field : {veg::grid::kMinField, veg::grid::kMaxField, veg::grid::kMin2Field,
                              veg::grid::kMin3Field}) {
        fields.push_back(veg::grid::cellsOf(values.get(), cells));
        if (raw.active()) {
            rawFields.push_back(raw.load(field, cells * 2));
            fields.back().data = rawFields.back().data();
        }
    }
    if (raw.active())
        values.reset();
    const veg::grid::ProductTarget target{
        argv[4],
        veg::grid::kGridName,
        series.outputGeometry(),
        series.outputDimList(),
        veg::grid::productLayout(veg::grid::ProductKind::Extremes),
        series.edge()};
    return veg::grid::writeProduct(target, fields).ok() ? 0 : 1;
}
