// I/O-only baseline of periodextremes: the same period files opened, queried and read whole with
// the same calls, and an extremes grid of four deflated fields written, without the per-pixel rule.
// Arguments as periodextremes: <src dir> <start yyyy> <end yyyy> <targetfile> <period> <L> <A>,
// then optionally a folder of raw dumps of the program's output fields, whose bytes are written
// instead of the last year's field (the cost of deflating a field depends on its contents).
#include "benchgrids.h"
#include "calendar.h"
#include "gridio.h"

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
        names.push_back(calendar::periodNdviFileName(
            src, year, calendar::periodOf(year, period, step, length)));
    benchgrids::NdviInputs<int16_t> in;
    if (!in.readEach(names))
        return 1;
    const size_t cells = in.cells;
    const veg::grid::Edge edge = in.edge;
    std::unique_ptr<int16_t[]> values = std::move(in.values);
    veg::grid::GridWriter writer;
    if (!writer.create(argv[4], veg::grid::kGridName, in.geometry) ||
        !writer.defineFields(veg::grid::productLayout(veg::grid::ProductKind::Extremes),
                             in.dimList)) {
        return 1;
    }
    const benchgrids::RawOutputs raw(argc > 8 ? argv[8] : "");
    if (raw.active())
        values.reset();
    for (const char *field : {veg::grid::kMinField, veg::grid::kMaxField, veg::grid::kMin2Field,
                              veg::grid::kMin3Field}) {
        if (raw.active()) {
            const std::vector<uint8_t> bytes = raw.load(field, cells * 2);
            if (!veg::grid::writeFieldBytes(writer.grid(), field, edge, bytes.data(), bytes.size()))
                return 1;
        } else if (!writer.writeField(field, edge, values.get(), cells)) {
            return 1;
        }
    }
    return writer.commit() ? 0 : 1;
}
