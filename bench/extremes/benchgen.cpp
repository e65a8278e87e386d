// extremes_benchgen: writes the full-size inputs of the compositor and extremes benchmarks.
//   extremes_benchgen daily  <dir> <size> <count>   daily NDVI grids dir/dayNN.hdf and dir/list.txt
//   extremes_benchgen period <dir> <size> <first year> <last year>   period 1 (L = A = 7)
//   composites extremes_benchgen daily8 <dir> <size> <first date> <last date> <years>   8-bit daily
//   files of
//                                                   the window and of its earlier years
//   extremes_benchgen dump <file> <field> <raw file>   a whole field as raw bytes
#include "benchgrids.h"
#include "calendar.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void writeDailyNdvi(const std::string &dir, int size, int count) {
    std::filesystem::create_directories(dir);
    std::ofstream list(dir + "/list.txt");
    for (int d = 0; d < count; ++d) {
        char name[64];
        std::snprintf(name, sizeof name, "/day%02d.hdf", d + 1);
        const std::vector<int16_t> n16 = benchgrids::ndviField(size, size, d);
        const std::vector<uint8_t> n8 = benchgrids::ndvi8Field(n16);
        benchgrids::writeGrid(
            dir + name, size, size,
            {{veg::grid::kNdviField, veg::grid::kInt16, n16.data(), n16.size() * 2},
             {veg::grid::kNdvi8Field, veg::grid::kUInt8, n8.data(), n8.size()}});
        list << dir << name << "\n";
        std::printf("%s%s\n", dir.c_str(), name);
    }
}

void writePeriods(const std::string &dir, int size, int firstYear, int lastYear) {
    for (int year = firstYear; year <= lastYear; ++year) {
        const std::string name =
            veg::calendar::periodNdviFileName(dir, year, veg::calendar::periodOf(year, 1, 7, 7));
        std::filesystem::create_directories(std::filesystem::path(name).parent_path());
        const std::vector<int16_t> n16 = benchgrids::ndviField(size, size, year);
        const std::vector<uint8_t> n8 = benchgrids::ndvi8Field(n16);
        benchgrids::writeGrid(
            name, size, size,
            {{veg::grid::kNdviField, veg::grid::kInt16, n16.data(), n16.size() * 2},
             {veg::grid::kNdvi8Field, veg::grid::kUInt8, n8.data(), n8.size()}});
        std::printf("%s\n", name.c_str());
    }
}

void writeDay(const std::string &dir, int size, const veg::calendar::Date &day, int variant) {
    const std::string name = veg::calendar::dailyNdviFileName(dir, day);
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    const std::vector<uint8_t> codes = benchgrids::dailyCodeField(size, size, variant);
    benchgrids::writeGrid(name, size, size,
                          {{veg::grid::kNdviField, veg::grid::kUInt8, codes.data(), codes.size()}});
    std::printf("%s\n", name.c_str());
}

void writeDaily8(const std::string &dir, int size, const char *first, const char *last, int years) {
    std::vector<int> fy(years), fm(years), fd(years), ly(years), lm(years), ld(years);
    veg::calendar::findPeriods(first, last, years, fy.data(), fm.data(), fd.data(), ly.data(),
                               lm.data(), ld.data());
    int variant = 0;
    for (int k = 0; k < years; ++k) {
        for (const veg::calendar::Date &day :
             veg::calendar::daysBetween(veg::calendar::Gregorian2Julian(fy[k], fm[k], fd[k]),
                                        veg::calendar::Gregorian2Julian(ly[k], lm[k], ld[k]))) {
            writeDay(dir, size, day, variant++);
        }
    }
    veg::calendar::Date a, b;
    veg::calendar::parseDate(first, &a.year, &a.month, &a.day);
    veg::calendar::parseDate(last, &b.year, &b.month, &b.day);
    for (const veg::calendar::Date &day :
         veg::calendar::daysBetween(veg::calendar::Gregorian2Julian(a.year, a.month, a.day),
                                    veg::calendar::Gregorian2Julian(b.year, b.month, b.day))) {
        writeDay(dir, size, day, variant++);
    }
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv, argv + argc);
    try {
        if (argc == 5 && args[1] == "daily") {
            writeDailyNdvi(args[2], std::atoi(argv[3]), std::atoi(argv[4]));
        } else if (argc == 6 && args[1] == "period") {
            writePeriods(args[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
        } else if (argc == 5 && args[1] == "dump") {
            benchgrids::dumpField(args[2], args[3], args[4]);
        } else if (argc == 7 && args[1] == "daily8") {
            writeDaily8(args[2], std::atoi(argv[3]), argv[4], argv[5], std::atoi(argv[6]));
        } else {
            std::fprintf(stderr,
                         "usage: %s daily <dir> <size> <count> | period <dir> <size> "
                         "<first year> <last year> | daily8 <dir> <size> <first date> "
                         "<last date> <years> | dump <file> <field> <raw file>\n",
                         argv[0]);
            return 2;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
