// I/O-only baseline of dailyvci: the same daily files of the earlier windows and of the current
// window opened, queried and read whole, and a daily condition grid written with its attributes,
// without the window maximum, the fold or the index.
// Arguments as dailyvci: <src dir> <start yyyy.mm.dd> <end yyyy.mm.dd> <years> <targetfile>.
#include "benchgrids.h"
#include "calendar.h"
#include "gridio.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s <src dir> <start> <end> <years> <target>\n", argv[0]);
        return 2;
    }
    const std::string src = argv[1];
    const int years = std::atoi(argv[4]);
    std::vector<int> fy(years), fm(years), fd(years), ly(years), lm(years), ld(years);
    calendar::findPeriods(argv[2], argv[3], years, fy.data(), fm.data(), fd.data(), ly.data(),
                          lm.data(), ld.data(), nullptr);
    std::vector<std::pair<int64_t, int64_t>> windows;
    for (int k = 0; k < years; ++k) {
        windows.push_back({calendar::Gregorian2Julian(fy[k], fm[k], fd[k]),
                           calendar::Gregorian2Julian(ly[k], lm[k], ld[k])});
    }
    windows.push_back({calendar::gdate2julian(argv[2]), calendar::gdate2julian(argv[3])});

    std::vector<std::string> names;
    for (const auto &window : windows) {
        for (const calendar::Date &day : calendar::daysBetween(window.first, window.second))
            names.push_back(calendar::dailyNdviFileName(src, day));
    }
    benchgrids::NdviInputs<uint8_t> in;
    if (!in.readEach(names))
        return 1;
    const veg::grid::ProductLayout &layout =
        veg::grid::productLayout(veg::grid::ProductKind::DailyCondition);
    veg::grid::GridWriter writer;
    if (!writer.create(argv[5], veg::grid::kGridName, in.geometry) ||
        !writer.defineFields(layout, in.dimList) ||
        !writer.writeField(veg::grid::kNdviField, in.edge, in.values.get(), in.cells) ||
        !writer.writeLayoutAttributes(layout)) {
        return 1;
    }
    return writer.commit() ? 0 : 1;
}
