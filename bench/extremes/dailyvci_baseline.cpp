// I/O-only baseline of dailyvci: the same daily files of the earlier windows and of the current
// window opened, checked and read whole through the same input series, and the daily condition
// grid written through the same writeProduct, without the window maximum, the fold or the index.
// Arguments as dailyvci: <src dir> <start yyyy.mm.dd> <end yyyy.mm.dd> <years> <targetfile>.
#include "benchgrids.h"
#include "calendar.h"
#include "productio.h"

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
    veg::calendar::findPeriods(argv[2], argv[3], years, fy.data(), fm.data(), fd.data(), ly.data(),
                               lm.data(), ld.data());
    std::vector<std::pair<int64_t, int64_t>> windows;
    for (int k = 0; k < years; ++k) {
        windows.push_back({veg::calendar::Gregorian2Julian(fy[k], fm[k], fd[k]),
                           veg::calendar::Gregorian2Julian(ly[k], lm[k], ld[k])});
    }
    windows.push_back({veg::calendar::gdate2julian(argv[2]), veg::calendar::gdate2julian(argv[3])});

    std::vector<std::string> names;
    for (const auto &window : windows) {
        for (const veg::calendar::Date &day :
             veg::calendar::daysBetween(window.first, window.second))
            names.push_back(veg::calendar::dailyNdviFileName(src, day));
    }
    veg::grid::InputSeries series(veg::grid::kGridName, {veg::grid::kNdviField}, 4);
    const std::unique_ptr<uint8_t[]> values = benchgrids::readEachNdvi<uint8_t>(names, series);
    if (!values)
        return 1;
    const veg::grid::ProductTarget target{
        argv[5],
        veg::grid::kGridName,
        series.outputGeometry(),
        series.outputDimList(),
        veg::grid::productLayout(veg::grid::ProductKind::DailyCondition),
        series.edge()};
    return veg::grid::writeProduct(target, {veg::grid::cellsOf(values.get(), series.cells())}).ok()
               ? 0
               : 1;
}
