// Loading of the histogram configuration and generation of its breaks.
#include "AppIni.h"

#include <boost/algorithm/string/erase.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <xbase64/xbase64.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>

namespace edu {
namespace tovan {
namespace merel {
namespace app {

namespace {

const char *const kDefaultSection = "DEFAULT";
const size_t kExePathBufferSize = 4096;

// Bounds joined by " - " in the stream's default number format (the default percent breaks).
std::string streamName(double low, double high) {
    std::ostringstream text;
    text << low << " - " << high;
    return text.str();
}

std::string generatedName(double low, double high) {
    return formatNumber(low) + " - " + formatNumber(high);
}

} // namespace

UnsupportedBreakType::UnsupportedBreakType(int type_)
    : std::runtime_error("Error: configuration file has unsupported break type - " +
                         std::to_string(type_)),
      type(type_) {}

std::string formatNumber(double value) {
    if (std::isnan(value)) {
        return std::signbit(value) ? "-nan" : "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-infinity" : "infinity";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", 17, value);
    return text;
}

std::string getexepath() {
    char path[kExePathBufferSize];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) {
        return "";
    }
    return std::string(path, static_cast<size_t>(length));
}

void splitstr(const std::string &text, std::vector<std::string> &parts,
              const std::string &delimiters) {
    size_t start = 0;
    while (true) {
        size_t end = text.find_first_of(delimiters, start);
        if (end == std::string::npos) {
            parts.push_back(text.substr(start));
            return;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

HistogramConfig::HistogramConfig() {
    for (int i = 1; i <= 20; ++i) {
        double low = 5.0 * (i - 1);
        double high = 5.0 * i;
        percentBreaks.emplace_back(i, streamName(low, high), low, high);
    }
}

bool HistogramConfig::load(std::string section) { return loadFile(section, getexepath() + ".ini"); }

bool HistogramConfig::loadFile(const std::string &section, const std::string &iniPath) {
    messages << "LOADING....Section=" << section << "\n";
    type = 1;
    hasMinMax = 0;
    breakCount = 0;
    breaks.clear();
    messages << "AFTER CLEAR LOADING....Section=" << section << "\n";

    std::string exePath = iniPath;
    const std::string iniEnding = ".ini";
    if (exePath.size() >= iniEnding.size() &&
        exePath.compare(exePath.size() - iniEnding.size(), iniEnding.size(), iniEnding) == 0) {
        exePath.erase(exePath.size() - iniEnding.size());
    }
    messages << "Current path: '" << exePath << "'\n";
    messages << "Current path: '" << iniPath << "'\n";

    boost::property_tree::ptree tree;
    boost::property_tree::read_ini(iniPath, tree);
    messages << "Finish reading file!!\n";

    const boost::property_tree::ptree *chosen = nullptr;
    for (const auto &entry : tree) {
        messages << "[" << entry.first << "]\n";
        if (entry.first == kDefaultSection) {
            messages << "WARNING: Give type '" << section
                     << "' is not found before 'DEFAULT'! DEFAULT configuration is used instead.\n";
        }
        if (entry.first == section || entry.first == kDefaultSection) {
            chosen = &entry.second;
            break;
        }
    }
    if (chosen != nullptr) {
        for (const auto &key : *chosen) {
            applyKey(key.first, key.second.data());
        }
        messages << "Finished with section --" << section << "\n";
        postLoadSection();
    }
    messages << "Number of breaks loaded: " << breaks.size() << "\n";
    return true;
}

void HistogramConfig::applyKey(const std::string &key, const std::string &value) {
    messages << key << "=" << value << "\n";
    messages << "propname=" << key << "\n";
    if (key == "type") {
        type = boost::lexical_cast<int>(value);
        messages << "type=" << type << "\n";
    } else if (key == "interval") {
        interval = std::stod(value);
        messages << "interval=" << interval << "\n";
    } else if (key == "hasMinMax") {
        hasMinMax = std::stoi(value);
        messages << "hasMinMax=" << hasMinMax << "\n";
    } else if (key == "minVal") {
        minVal = std::stod(value);
        messages << "minVal=" << minVal << "\n";
    } else if (key == "maxVal") {
        maxVal = std::stod(value);
        messages << "maxVal=" << maxVal << "\n";
    } else if (key == "scale") {
        messages << "offset scale=" << value << "\n";
        scale = std::stod(value);
        messages << "scale=" << scale << "\n";
    } else if (key == "offset") {
        messages << "offset val=" << value << "\n";
        offset = std::stod(value);
        messages << "offset=" << offset << "\n";
    } else if (key == "breakCount") {
        breakCount = std::stoi(value);
        messages << "breakCount=" << breakCount << "\n";
    } else if (key.compare(0, 5, "break") == 0) {
        addBreak(key, value);
    } else if (key == "MaskLegendFile") {
        loadLegend(maskLegend, value);
    } else if (key == "HistogramLegendFile") {
        loadLegend(histogramLegend, value);
    }
}

void HistogramConfig::addBreak(const std::string &key, const std::string &value) {
    std::string indexText = boost::algorithm::erase_all_copy(key, "break");
    boost::algorithm::trim(indexText);
    messages << "propname=" << key << ";aindexstr='" << indexText << "'\n";
    int index = std::stoi(indexText);
    messages << "propname=" << key << ";aindex=" << index << "\n";

    std::vector<std::string> parts;
    splitstr(value, parts, ",");
    if (parts.size() != 3) {
        messages << "Error: The configuration is incorrect. No pair of low/high values. \n";
        return;
    }
    messages << "Before Trim: low='" << parts[0] << "';high='" << parts[1] << "'\n";
    for (auto &part : parts) {
        boost::algorithm::trim(part);
    }
    double low = std::stod(parts[0]);
    double high = std::stod(parts[1]);
    messages << "low=" << low << ";high=" << high << ";name=" << parts[2] << "\n";
    breaks.emplace_back(index, parts[2], low, high);
}

void HistogramConfig::postLoadSection() {
    messages << "type=" << type << "\n";
    switch (type) {
    case 0:
        if (hasMinMax == 1) {
            interval = 1.0;
            postLoadSectionPopulateBreakEqualInterval(1.0);
        }
        break;
    case 1:
        // A second post-processing (with the raster's range) finds no value breaks; the percent
        // breaks saved by the first one must survive it.
        if (!breaks.empty()) {
            postLoadSectionSavePercentBreaks();
        }
        if (hasMinMax == 1) {
            postLoadSectionPopulateBreakPereentInterval();
        }
        break;
    case 2:
        break;
    case 3:
        if (hasMinMax == 1) {
            postLoadSectionPopulateBreakEqualInterval(interval);
        }
        break;
    case 4:
        if (hasMinMax == 1) {
            postLoadSectionPopulateBreakPercentEqualInterval(interval);
        }
        break;
    default:
        throw UnsupportedBreakType(type);
    }
    messages << "After post-proessing of LoadSection..."
             << "breakCount=" << breakCount << "\n";
    for (const auto &item : breaks) {
        messages << "break" << item.id << ";name='" << item.name << ";low=" << item.low
                 << ";high=" << item.high << "\n";
    }
}

void HistogramConfig::postLoadSectionPopulateBreakEqualInterval(double width) {
    populateEqual(width, false);
}

void HistogramConfig::postLoadSectionPopulateBreakPercentEqualInterval(double step) {
    populateEqual(step, true);
}

void HistogramConfig::populateEqual(double width, bool percent) {
    breaks.clear();
    if (width == 0) {
        messages << (percent ? "Error: percent interval is equal to zero. \n"
                             : "Error: interval is equal to zero. \n");
        return;
    }
    if (minVal > maxVal) {
        messages << "Error: minVal and maxVal flipped \n";
        return;
    }
    width = std::fabs(width);
    double low = minVal;
    int count = 0;
    std::vector<HistogramBreak> made;
    while (true) {
        double high = percent ? (maxVal - minVal) * width / 100 + low : low + width;
        if (!(high > low)) {
            messages << "Error: the interval is too small to advance beyond " << low
                     << "; no breaks are made. \n";
            return;
        }
        if (count == kMaxGeneratedBreaks) {
            messages << "Error: more than " << kMaxGeneratedBreaks
                     << " breaks would be made; no breaks are made. \n";
            return;
        }
        if (!percent) {
            messages << "postLOadSectionPopulateBreakEqualInterval nbreaks=" << count << "\n";
        }
        ++count;
        made.emplace_back(count, generatedName(low, high), low, high);
        low = high;
        if (high > maxVal) {
            break;
        }
    }
    breaks = std::move(made);
    if (!percent) {
        messages << "nbreaks=" << count << "\n";
    }
    breakCount = count;
}

void HistogramConfig::postLoadSectionPopulateBreakPereentInterval() {
    breaks.clear();
    const double range = maxVal - minVal;
    for (const auto &item : percentBreaks) {
        breaks.emplace_back(item.id, item.name, minVal + range * item.low / 100,
                            minVal + range * item.high / 100);
    }
}

void HistogramConfig::postLoadSectionSavePercentBreaks() {
    percentBreaks = breaks;
    breaks.clear();
}

namespace {

// Owner of an open dBASE table.
class DbfTable {
  public:
    DbfTable() : table_(&xbase_) {}
    ~DbfTable() {
        if (open_) {
            table_.CloseDatabase();
        }
    }
    DbfTable(const DbfTable &) = delete;
    DbfTable &operator=(const DbfTable &) = delete;

    bool open(const std::string &path) {
        open_ = table_.OpenDatabase(path.c_str()) == XB_NO_ERROR;
        return open_;
    }
    xbDbf &table() { return table_; }

  private:
    xbXBase xbase_;
    xbDbf table_;
    bool open_ = false;
};

std::string fieldText(xbDbf &table, xbShort field) {
    if (field < 0) {
        return "";
    }
    const char *text = table.GetField(field);
    return text == nullptr ? "" : boost::algorithm::trim_copy(std::string(text));
}

} // namespace

void HistogramConfig::loadLegend(std::vector<CatLabelLegend> &list, const std::string &path) {
    list.clear();
    DbfTable dbf;
    long records = 0;
    if (dbf.open(path)) {
        xbDbf &table = dbf.table();
        // The record count is a 32-bit field of the table header; the library keeps it in a wider
        // integer whose upper half it leaves unset on 64-bit systems.
        records = static_cast<long>(static_cast<uint32_t>(table.NoOfRecords()));
        const xbShort valueField = table.GetFieldNo("VALUE");
        const xbShort labelField = table.GetFieldNo("CLASS_NAME");
        const xbShort colourFields[4] = {table.GetFieldNo("RED"), table.GetFieldNo("GREEN"),
                                         table.GetFieldNo("BLUE"), table.GetFieldNo("OPACITY")};
        for (long record = 1; record <= records; ++record) {
            if (table.GetRecord(static_cast<xbULong>(record)) != XB_NO_ERROR) {
                break;
            }
            CatLabelLegend row;
            row.value = valueField < 0 ? 0 : static_cast<int>(table.GetLongField(valueField));
            row.label = fieldText(table, labelField);
            float *colours[4] = {&row.red, &row.green, &row.blue, &row.opacity};
            for (int i = 0; i < 4; ++i) {
                *colours[i] = colourFields[i] < 0 ? 0.0f : table.GetFloatField(colourFields[i]);
            }
            list.push_back(row);
        }
    }
    messages << "recs=" << records << "\n";
}

} // namespace app
} // namespace merel
} // namespace tovan
} // namespace edu
