// The CSV and JSON reports of a histogram calculation.
#include "GdalHistogramCalculator.h"

#include "atomicfile.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

bool reported(const GdalHistogramBin &bin, bool eliminateZeroRows) {
    return !eliminateZeroRows || bin.count != 0;
}

bool anyReported(const GdalHistogramBinsByCat &category, bool eliminateZeroRows) {
    for (const auto &bin : category.bins) {
        if (reported(bin, eliminateZeroRows)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool GdalHistogramCalculator::saveAsCSV(std::string path) {
    std::string text = "Value, Category, Acreage, Percentage\n";
    auto addRow = [&text](const std::string &value, const std::string &name,
                          const GdalHistogramBin &bin) {
        text += value + "," + name + "," + app::formatNumber(bin.acreage) + "," +
                app::formatNumber(bin.percentage) + "\n";
    };
    if (!bins.empty()) {
        for (const auto &bin : bins) {
            if (reported(bin, eliminateZeroRows)) {
                addRow(std::to_string(bin.id), bin.name, bin);
            }
        }
    } else {
        for (const auto &category : categories) {
            for (const auto &bin : category.bins) {
                if (!reported(bin, eliminateZeroRows)) {
                    continue;
                }
                char value[32];
                std::snprintf(value, sizeof value, "%d%03d", category.ordinal, bin.id);
                addRow(value, category.name + ":" + bin.name, bin);
            }
        }
    }
    return veg::fileio::replaceFileContents(path, text);
}

bool GdalHistogramCalculator::saveAsJSON(std::string path) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    // Every writer call must succeed: a value the writer refuses (not-a-number, infinity) would
    // leave an incomplete document.
    bool ok = writer.StartObject();
    ok = ok && writer.Key("success") && writer.Bool(success);
    unsigned total = 0;
    if (!bins.empty()) {
        for (const auto &bin : bins) {
            total += reported(bin, eliminateZeroRows) ? 1 : 0;
        }
    } else {
        for (const auto &category : categories) {
            total += anyReported(category, eliminateZeroRows) ? 1 : 0;
        }
    }
    ok = ok && writer.Key("totalCount") && writer.Uint(total);
    const std::string fileName = dataFile + "," + app::formatNumber(mean);
    ok = ok && writer.Key("fileName") &&
         writer.String(fileName.c_str(), static_cast<rapidjson::SizeType>(fileName.size()));
    ok = ok && writer.Key("workid") &&
         writer.String(workid.c_str(), static_cast<rapidjson::SizeType>(workid.size()));
    ok = ok && writer.Key("rows") && writer.StartArray();
    auto addRow = [&](unsigned value, const std::string &name, const GdalHistogramBin &bin) {
        ok = ok && writer.StartObject() && writer.Key("value") && writer.Uint(value) &&
             writer.Key("name") &&
             writer.String(name.c_str(), static_cast<rapidjson::SizeType>(name.size())) &&
             writer.Key("color") &&
             writer.String(bin.color.c_str(), static_cast<rapidjson::SizeType>(bin.color.size())) &&
             writer.Key("acreage") && writer.Double(bin.acreage) && writer.Key("percentage") &&
             writer.Double(bin.percentage) && writer.EndObject();
    };
    if (!bins.empty()) {
        for (const auto &bin : bins) {
            if (reported(bin, eliminateZeroRows)) {
                addRow(static_cast<unsigned>(bin.id), bin.name, bin);
            }
        }
    } else {
        for (const auto &category : categories) {
            for (const auto &bin : category.bins) {
                if (reported(bin, eliminateZeroRows)) {
                    addRow(static_cast<unsigned>(category.code * 1000 + bin.id % 1000),
                           category.name + ":" + bin.name, bin);
                }
            }
        }
    }
    ok = ok && writer.EndArray() && writer.EndObject();
    if (!ok) {
        return false;
    }
    return veg::fileio::replaceFileContents(path,
                                            std::string_view(buffer.GetString(), buffer.GetSize()));
}

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
