// cloudscreen: reads the daily NDVI grid's NDVI fields, places each state tile's 1 km cells on it
// as the daily mosaic places its tiles, marks every cell with the reason its state gives and
// screens the NDVI fields; while they are compressed on threads of their own, it reads the other
// fields and writes the grid with them and every attribute unchanged (their streams as read).
#include "cloudscreen.h"

#include "calendar.h"
#include "gridio.h"
#include "memorycheck.h"
#include "mosaic_windows.h"
#include "productio.h"
#include "products.h"
#include "screen_rules.h"
#include "streamreuse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <new>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace veg::cloudscreen {
namespace {

using veg::cli::kExitStop;
using veg::cli::kExitSuccess;
using veg::daymosaic::Mosaic;
using veg::grid::kCarriedFieldCount;
using veg::grid::kCarriedFields;

// The sinusoidal tile grid: 36 x 18 tiles from its north-west corner.
constexpr double kTileGridWest = -20015109.354;
constexpr double kTileGridNorth = 10007554.677;
constexpr double kTileSize = 2 * 20015109.354 / 36;
// More 250 m cells per state cell than this is no state tile of the daily grid.
constexpr int64_t kMaxFactor = 64;

struct Options {
    ScreenRule rule;
    std::string dailyPath;
    std::string outputPath;
    std::vector<std::string> tiles;
};

std::string tileName(int64_t horizontal, int64_t vertical) {
    char name[32];
    std::snprintf(name, sizeof name, "h%02lldv%02lld", static_cast<long long>(horizontal),
                  static_cast<long long>(vertical));
    return name;
}

// The tile that holds projection point (x, y).
std::string tileAt(double x, double y) {
    return tileName(static_cast<int64_t>(std::floor((x - kTileGridWest) / kTileSize)),
                    static_cast<int64_t>(std::floor((kTileGridNorth - y) / kTileSize)));
}

// The hXXvYY that a file name carries, or "".
std::string tileInName(const std::string &path) {
    static const std::regex pattern(R"((^|[._])(h\d\dv\d\d)([._]|$))");
    const std::string base = path.substr(path.find_last_of('/') + 1);
    std::smatch match;
    return std::regex_search(base, match, pattern) ? match[2].str() : "";
}

// The day a file's name gives: the archive's acquisition day AYYYYDDD in its base name (the state
// tiles' names), else a date yyyy.mm.dd in its base name or, failing both, in its folder's name
// (the daily grids, the fetched tiles' day folders); nothing when none of them is a valid day.
std::optional<veg::calendar::Date> dayOfName(const std::string &path) {
    static const std::regex acquired(R"((^|[._])A(\d{4})(\d{3})([._]|$))");
    static const std::regex dated(R"((\d{4})\.(\d{2})\.(\d{2}))");
    const size_t slash = path.find_last_of('/');
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string folder;
    if (slash != std::string::npos && slash > 0) {
        const size_t before = path.rfind('/', slash - 1);
        const size_t from = before == std::string::npos ? 0 : before + 1;
        folder = path.substr(from, slash - from);
    }
    const auto valid = [](int year, int month, int day) -> std::optional<veg::calendar::Date> {
        const veg::calendar::Date date{year, month, day};
        if (month < 1 || month > 12 || day < 1 || day > 31 ||
            veg::calendar::dateOfJulian(veg::calendar::Gregorian2Julian(year, month, day)) !=
                date) {
            return std::nullopt;
        }
        return date;
    };
    std::smatch m;
    if (std::regex_search(base, m, acquired)) {
        const int year = std::stoi(m[2].str());
        const int dayOfYear = std::stoi(m[3].str());
        const int length = veg::calendar::isLeapYear(year) ? 366 : 365;
        if (dayOfYear >= 1 && dayOfYear <= length) {
            return veg::calendar::dateOfJulian(veg::calendar::Gregorian2Julian(year, 1, 1) +
                                               dayOfYear - 1);
        }
        return std::nullopt;
    }
    for (const std::string *name : {&base, static_cast<const std::string *>(&folder)}) {
        if (std::regex_search(*name, m, dated)) {
            return valid(std::stoi(m[1].str()), std::stoi(m[2].str()), std::stoi(m[3].str()));
        }
    }
    return std::nullopt;
}

class Run {
  public:
    Run(const Options &options, std::ostream &out, std::ostream &err)
        : o_(options), out_(out), err_(err) {}
    int execute();

  private:
    bool sameDay();
    bool readDaily();
    bool readCarried();
    bool placeStateTile(const std::string &path);

    const Options &o_;
    std::ostream &out_;
    std::ostream &err_;
    veg::grid::GridReader daily_;
    veg::grid::GridGeometry geometry_;
    std::string dimList_;
    veg::daymosaic::MaskFrame frame_;
    Mosaic m_; // the mask grid holds each cell's reason
    std::vector<veg::grid::FieldAttributes> carried_;
    // The streams of the daily grid's fields as read (carried fields, then both NDVI fields):
    // the unchanged ones are written as they are.
    std::vector<veg::grid::KeptStream> kept_;
};

// Opens the daily grid, checks its fields and reads both NDVI fields.
bool Run::readDaily() {
    const std::string &path = o_.dailyPath;
    veg::grid::GridReader &daily = daily_;
    std::vector<const char *> fields;
    for (const veg::grid::CarriedField &f : kCarriedFields) {
        fields.push_back(f.name);
    }
    fields.push_back(veg::grid::kNdviField);
    fields.push_back(veg::grid::kNdvi8Field);
    bool ok = daily.open(path, veg::grid::kGridName) &&
              veg::daymosaic::frameOf(daily.geometry(), &frame_);
    for (size_t i = 0; ok && i < fields.size(); ++i) {
        const std::optional<veg::grid::FieldInfo> info = daily.fieldInfo(fields[i]);
        ok = info && (i == 0 || info->dimList == dimList_);
        dimList_ = info ? info->dimList : "";
    }
    if (!ok) {
        err_ << "open file or get info for " << path << " failed.\n";
        return false;
    }
    geometry_ = daily.geometry();
    m_.columns = geometry_.columns;
    m_.rows = geometry_.rows;
    m_.order = veg::daymosaic::dimensionOrder(dimList_);
    if (m_.order == 0) {
        err_ << "unknown dimension order " << dimList_ << " in " << path << ".\n";
        return false;
    }
    // The grid, the NDVI fields compressed ahead and the fields' streams as read (at most the
    // file's size).
    struct stat st {};
    const size_t streamBytes =
        ::stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : size_t{0};
    if (const std::optional<size_t> bytes = veg::grid::checkedCellCount(
            m_.columns, m_.rows, veg::daymosaic::kMosaicBytesPerCell + kAheadBytesPerCell)) {
        const size_t needed = *bytes > SIZE_MAX - streamBytes ? SIZE_MAX : *bytes + streamBytes;
        if (const auto shortfall = veg::grid::checkMemory(needed, veg::grid::availableMemory())) {
            err_ << veg::grid::memoryShortfallMessage(path, m_.columns, m_.rows, *shortfall);
            return false;
        }
    }
    if (!veg::daymosaic::allocateMosaic(m_)) {
        err_ << "not enough memory for the grid of " << path << ".\n";
        return false;
    }
    const veg::grid::Edge edge = m_.edge();
    kept_.resize(kCarriedFieldCount + 2);
    if (!daily.readField(veg::grid::kNdviField, edge, m_.ndvi.get(), m_.cells,
                         &kept_[kCarriedFieldCount]) ||
        !daily.readField(veg::grid::kNdvi8Field, edge, m_.ndvi8.get(), m_.cells,
                         &kept_[kCarriedFieldCount + 1])) {
        err_ << "read data from " << path << " failed.\n";
        return false;
    }
    std::fill_n(m_.mask.get(), m_.cells, static_cast<uint8_t>(kNoState));
    return true;
}

// Reads the fields carried unchanged and their attributes.
bool Run::readCarried() {
    const veg::grid::Edge edge = m_.edge();
    if (!veg::daymosaic::forEachCarried(m_, [&](size_t field, auto *grid) {
            return daily_.readField(kCarriedFields[field].name, edge, grid, m_.cells,
                                    &kept_[field]);
        })) {
        err_ << "read data from " << o_.dailyPath << " failed.\n";
        return false;
    }
    for (const veg::grid::CarriedField &f : kCarriedFields) {
        carried_.push_back(veg::grid::FieldAttributes{f.name, daily_.readAttributes(f.name)});
    }
    daily_.close();
    return true;
}

// Reads one state tile's window over the daily grid and marks its cells' reasons.
bool Run::placeStateTile(const std::string &path) {
    veg::grid::GridReader tile;
    std::optional<veg::grid::FieldInfo> info;
    if (!tile.open(path, kStateGrid) || !(info = tile.fieldInfo(kStateField))) {
        err_ << "open file or get info for " << path << " failed.\n";
        return false;
    }
    const veg::grid::GridGeometry &g = tile.geometry();
    const std::string named = tileInName(path);
    const double cellWidth = (g.lowerRight[0] - g.upperLeft[0]) / g.columns;
    const std::string lies = tileAt(g.upperLeft[0] + cellWidth / 2, g.upperLeft[1] - cellWidth / 2);
    if (!named.empty() && named != lies) {
        err_ << path << " is named " << named << " but lies on tile " << lies << ".\n";
        return false;
    }
    // 250 m cells per state cell on both axes; the tile seen at the daily grid's cell size is
    // placed exactly as the daily mosaic places a tile.
    const double across = cellWidth / frame_.cellWidth;
    const double down = (g.upperLeft[1] - g.lowerRight[1]) / g.rows / frame_.cellHeight;
    const int64_t factor = std::isfinite(across) ? std::llround(across) : 0;
    veg::grid::GridGeometry fine = g;
    veg::daymosaic::TileWindow w;
    veg::daymosaic::Placement placement = veg::daymosaic::Placement::CellSizeDiffers;
    if (factor >= 1 && factor <= kMaxFactor && std::isfinite(down) &&
        std::llround(down) == factor) {
        fine.columns = static_cast<int32_t>(g.columns * factor);
        fine.rows = static_cast<int32_t>(g.rows * factor);
        placement = veg::daymosaic::placeTile(frame_, m_, fine, &w);
    }
    if (placement == veg::daymosaic::Placement::CellSizeDiffers) {
        err_ << "cell size of " << path << " is not a whole multiple of " << o_.dailyPath
             << "'s.\n";
        return false;
    }
    if (placement == veg::daymosaic::Placement::Outside) {
        return true;
    }
    // The state cells under the window, read in the tile's own order.
    const int tileOrder = veg::daymosaic::dimensionOrder(info->dimList);
    const int64_t row0 = w.rows.tileStart / factor, column0 = w.columns.tileStart / factor;
    const int64_t rows = (w.rows.tileStart + w.rows.count - 1) / factor - row0 + 1;
    const int64_t columns = (w.columns.tileStart + w.columns.count - 1) / factor - column0 + 1;
    const bool sizesMatch =
        info->rank == 2 &&
        ((tileOrder == 1 && info->dims[0] == g.rows && info->dims[1] == g.columns) ||
         (tileOrder == 2 && info->dims[0] == g.columns && info->dims[1] == g.rows));
    const size_t cells = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    std::vector<uint16_t> state(cells);
    using E = veg::grid::Edge;
    const auto i32 = [](int64_t v) { return static_cast<int32_t>(v); };
    const E start = tileOrder == 1 ? E{i32(row0), i32(column0)} : E{i32(column0), i32(row0)};
    const E edge = tileOrder == 1 ? E{i32(rows), i32(columns)} : E{i32(columns), i32(rows)};
    if (!sizesMatch ||
        !veg::grid::readFieldWindow(tile.grid(), kStateField, start, edge, state.data(), cells)) {
        err_ << "read data from " << path << " failed.\n";
        return false;
    }
    std::vector<uint8_t> reasons(cells);
    for (int64_t r = 0; r < rows; ++r) {
        for (int64_t c = 0; c < columns; ++c) {
            const size_t at = static_cast<size_t>(tileOrder == 1 ? r * columns + c : c * rows + r);
            reasons[static_cast<size_t>(r * columns + c)] = screenReason(state[at], o_.rule);
        }
    }
    const ExpandAxis rowAxis{w.rows.tileStart, w.rows.outputStart, w.rows.count};
    const ExpandAxis columnAxis{w.columns.tileStart, w.columns.outputStart, w.columns.count};
    expandReasons(reasons.data(), columns, factor, rowAxis, columnAxis, m_.mask.get(), m_.columns,
                  m_.rows, m_.order);
    return true;
}

// A state tile whose name gives another day than the daily grid's name (or, when the grid's name
// gives none, than the first dated state tile's) is of another day: nothing is screened with it.
bool Run::sameDay() {
    std::optional<veg::calendar::Date> day = dayOfName(o_.dailyPath);
    std::string dayFrom = o_.dailyPath;
    for (const std::string &path : o_.tiles) {
        const std::optional<veg::calendar::Date> tileDay = dayOfName(path);
        if (!tileDay) {
            continue;
        }
        if (!day) {
            day = tileDay;
            dayFrom = path;
        } else if (*tileDay != *day) {
            err_ << path << " is of day " << veg::calendar::dateText(*tileDay) << " but " << dayFrom
                 << " is of day " << veg::calendar::dateText(*day) << ".\n";
            return false;
        }
    }
    return true;
}

int Run::execute() {
    if (!sameDay() || !readDaily()) {
        return kExitStop;
    }
    for (const std::string &path : o_.tiles) {
        if (!placeStateTile(path)) {
            return kExitStop;
        }
    }
    ScreenCounts counts;
    if (const std::optional<size_t> at =
            screenCells(m_.mask.get(), m_.ndvi.get(), m_.ndvi8.get(), m_.cells, &counts)) {
        const int64_t index = static_cast<int64_t>(*at);
        const int64_t row = m_.order == 1 ? index / m_.columns : index % m_.rows;
        const int64_t column = m_.order == 1 ? index % m_.columns : index / m_.rows;
        const double x = frame_.x0 + (static_cast<double>(column) + 0.5) * frame_.cellWidth;
        const double y = frame_.y0 - (static_cast<double>(row) + 0.5) * frame_.cellHeight;
        err_ << "no state tile covers row " << row << ", column " << column << " of "
             << o_.dailyPath << " (tile " << tileAt(x, y) << ").\n";
        return kExitStop;
    }
    const uint64_t screened = counts.screened();
    const veg::grid::ProductTarget target{
        o_.outputPath,
        veg::grid::kGridName,
        geometry_,
        dimList_,
        veg::grid::productLayout(veg::grid::ProductKind::DailyNdvi),
        m_.edge()};
    // Screened NDVI fields are compressed ahead, both at once, while the carried fields are read;
    // the fields that did not change keep their streams.
    veg::grid::StreamReuse reuse;
    const std::vector<veg::grid::FieldCells> fields = veg::daymosaic::productFields(m_);
    const std::vector<veg::grid::FieldCells> ndviFields(fields.end() - 2, fields.end());
    std::optional<AheadCompression> ahead;
    if (screened > 0 && reuse.registered() &&
        target.layout.compression == veg::grid::Compression::Deflate9) {
        ahead.emplace(ndviFields, veg::grid::kDeflateLevel, reuse);
    }
    if (!readCarried()) {
        return kExitStop;
    }
    for (veg::grid::KeptStream &k : kept_) {
        reuse.add(std::move(k));
    }
    const veg::grid::WriteResult written = veg::grid::writeProduct(target, fields, carried_);
    if (!written.ok()) {
        err_ << "write screened NDVI to " << o_.outputPath << " failed.\n"
             << veg::grid::fileLimitAdvice(written, o_.outputPath);
        return kExitStop;
    }
    std::ostringstream line;
    line << "screened " << screened << " of " << counts.valued << " cells with NDVI (" << std::fixed
         << std::setprecision(1)
         << (counts.valued ? 100.0 * static_cast<double>(screened) / counts.valued : 0.0)
         << " %) in " << o_.dailyPath << ":";
    for (size_t r = kStateFillReason; r < kReasonCount; ++r) {
        line << (r == kStateFillReason ? " " : ", ") << kReasonNames[r] << " "
             << counts.byReason[r];
    }
    out_ << line.str() << "\nO.K.\n";
    return kExitSuccess;
}

void printUsage(const std::string &name, std::ostream &out) {
    out << "Usage: " << name << " <rule> <daily NDVI grid> <output grid> <state tile>...\n"
        << "  <rule>        standard (cloudy or mixed, cloud shadow, internal cloud, state fill)\n"
        << "                or strict (also adjacent to cloud and high cirrus)\n"
        << "  <state tile>  the day's 1 km tiles with " << kStateField << " in " << kStateGrid
        << "\n";
}

} // namespace

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    if (args.size() < 5) {
        printUsage(args.empty() ? "cloudscreen" : args[0], out);
        return kExitStop;
    }
    const std::optional<ScreenRule> rule = ruleNamed(args[1]);
    if (!rule) {
        err << "unknown screening rule '" << args[1] << "' (standard or strict).\n";
        return kExitStop;
    }
    const Options options{*rule, args[2], args[3], {args.begin() + 4, args.end()}};
    try {
        Run run(options, out, err);
        return run.execute();
    } catch (const std::bad_alloc &) {
        err << "not enough memory for the grid of " << options.dailyPath << ".\n";
        return kExitStop;
    }
}

} // namespace veg::cloudscreen
