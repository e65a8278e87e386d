// Catalogue records, their selection and the search queries.
#include "catalogue.h"

#include "calendar.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

namespace veg::fetch {

namespace {

using rapidjson::Value;

const Value *member(const Value &object, const char *name) {
    if (!object.IsObject()) {
        return nullptr;
    }
    const auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

std::string text(const Value *value) {
    return value != nullptr && value->IsString()
               ? std::string(value->GetString(), value->GetStringLength())
               : std::string();
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The checksum algorithms tilefetch verifies, with their hexadecimal lengths.
bool knownChecksum(const std::string &algorithm, const std::string &hex) {
    const size_t length = algorithm == "MD5" ? 32 : algorithm == "SHA-256" ? 64 : 0;
    return length != 0 && hex.size() == length &&
           std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// One UMM-G record; an empty string when usable, else why not.
std::string readRecord(const Value &item, Granule &g) {
    const Value *umm = member(item, "umm");
    if (umm == nullptr || !umm->IsObject()) {
        return "no \"umm\" object";
    }
    g.id = text(member(*umm, "GranuleUR"));
    if (g.id.empty()) {
        return "no GranuleUR";
    }
    if (!parseGranuleName(g.id, g.product, g.tile, g.day)) {
        return "GranuleUR is not a daily tile's name";
    }
    const Value *data = member(*umm, "DataGranule");
    g.production = text(member(data != nullptr ? *data : item, "ProductionDateTime"));
    if (g.production.empty()) {
        return "no DataGranule.ProductionDateTime";
    }
    const Value *urls = member(*umm, "RelatedUrls");
    if (urls != nullptr && urls->IsArray()) {
        for (const Value &link : urls->GetArray()) {
            const std::string url = text(member(link, "URL"));
            if (text(member(link, "Type")) == "GET DATA" &&
                (url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0)) {
                g.url = url;
                break;
            }
        }
    }
    if (g.url.empty()) {
        return "no GET DATA link over HTTP(S)";
    }
    const std::string path = g.url.substr(0, g.url.find_first_of("?#"));
    g.fileName = path.substr(path.rfind('/') + 1);
    if (g.fileName.empty() || g.fileName[0] == '.') {
        return "the GET DATA link does not end in a file name";
    }
    const Value *files =
        data != nullptr ? member(*data, "ArchiveAndDistributionInformation") : nullptr;
    if (files != nullptr && files->IsArray()) {
        for (const Value &file : files->GetArray()) {
            const std::string name = text(member(file, "Name"));
            if (name != g.fileName && files->Size() > 1) {
                continue;
            }
            const Value *size = member(file, "SizeInBytes");
            if (size != nullptr && size->IsInt64() && size->GetInt64() >= 0) {
                g.size = size->GetInt64();
            }
            const Value *sum = member(file, "Checksum");
            if (sum != nullptr) {
                g.algorithm = text(member(*sum, "Algorithm"));
                g.checksum = lower(text(member(*sum, "Value")));
                if (!knownChecksum(g.algorithm, g.checksum)) {
                    return "checksum \"" + g.algorithm + "\" is not an MD5 or SHA-256 value";
                }
            }
            break;
        }
    }
    if (g.size < 0) {
        return "no SizeInBytes for " + g.fileName;
    }
    return {};
}

} // namespace

SearchPage parseSearchPage(std::string_view json) {
    SearchPage page;
    rapidjson::Document doc;
    doc.Parse(json.data(), json.size());
    if (doc.HasParseError()) {
        page.error = std::string("not valid JSON at byte ") + std::to_string(doc.GetErrorOffset()) +
                     ": " + rapidjson::GetParseError_En(doc.GetParseError());
        return page;
    }
    const Value *items = member(doc, "items");
    if (items == nullptr || !items->IsArray()) {
        page.error = "no \"items\" array";
        return page;
    }
    page.valid = true;
    size_t index = 0;
    for (const Value &item : items->GetArray()) {
        Granule g;
        const std::string why = readRecord(item, g);
        if (why.empty()) {
            page.granules.push_back(std::move(g));
        } else {
            page.rejected.push_back("record " + std::to_string(index) +
                                    (g.id.empty() ? "" : " (" + g.id + ")") + ": " + why);
        }
        ++index;
    }
    return page;
}

bool parseGranuleName(const std::string &name, std::string &product, std::string &tile,
                      std::string &day) {
    // product . A yyyy ddd . hHHvVV . rest
    const size_t a = name.find(".A");
    if (a == std::string::npos || a == 0 || name.size() < a + 16 || name[a + 9] != '.' ||
        name[a + 10] != 'h' || name[a + 13] != 'v' || name[a + 16] != '.') {
        return false;
    }
    const auto digits = [&](size_t at, size_t n) {
        return std::all_of(name.begin() + static_cast<long>(at),
                           name.begin() + static_cast<long>(at + n),
                           [](unsigned char c) { return std::isdigit(c); });
    };
    if (!digits(a + 2, 7) || !digits(a + 11, 2) || !digits(a + 14, 2)) {
        return false;
    }
    const int year = std::stoi(name.substr(a + 2, 4));
    const int dayOfYear = std::stoi(name.substr(a + 6, 3));
    char buffer[calendar::kDateTextCapacity];
    if (calendar::julian2date(buffer, sizeof buffer, year, dayOfYear) != 1) {
        return false;
    }
    const int h = std::stoi(name.substr(a + 11, 2));
    const int v = std::stoi(name.substr(a + 14, 2));
    if (h > 35 || v > 17) {
        return false;
    }
    product = name.substr(0, a);
    tile = name.substr(a + 10, 6);
    day = buffer;
    return true;
}

std::vector<Granule> selectGranules(const std::vector<Granule> &granules,
                                    const std::vector<std::string> &tiles, const std::string &from,
                                    const std::string &to) {
    std::map<std::tuple<std::string, std::string, std::string>, const Granule *> newest;
    for (const Granule &g : granules) {
        if (g.day < from || g.day > to ||
            (!tiles.empty() && std::find(tiles.begin(), tiles.end(), g.tile) == tiles.end())) {
            continue;
        }
        const Granule *&slot = newest[{g.day, g.tile, g.product}];
        if (slot == nullptr || slot->production <= g.production) {
            slot = &g;
        }
    }
    std::vector<Granule> chosen;
    chosen.reserve(newest.size());
    for (const auto &entry : newest) {
        chosen.push_back(*entry.second);
    }
    return chosen;
}

std::vector<std::string> searchQueries(const SearchTerms &terms, size_t tilesPerQuery) {
    const auto isoDay = [](std::string day) {
        std::replace(day.begin(), day.end(), '.', '-');
        return day;
    };
    const std::string base = "provider=" + terms.provider + "&short_name=" + terms.shortName +
                             "&version=" + terms.version + "&temporal%5B%5D=" + isoDay(terms.from) +
                             "T00:00:00Z," + isoDay(terms.to) + "T23:59:59Z" +
                             "&page_size=" + std::to_string(terms.pageSize) +
                             "&sort_key%5B%5D=start_date";
    std::vector<std::string> queries;
    if (terms.tiles.empty()) {
        queries.push_back(base);
        return queries;
    }
    tilesPerQuery = std::max<size_t>(tilesPerQuery, 1);
    for (size_t first = 0; first < terms.tiles.size(); first += tilesPerQuery) {
        std::string query = base + "&options%5Breadable_granule_name%5D%5Bpattern%5D=true";
        const size_t last = std::min(terms.tiles.size(), first + tilesPerQuery);
        for (size_t i = first; i < last; ++i) {
            query +=
                "&readable_granule_name%5B%5D=" + terms.shortName + ".A*." + terms.tiles[i] + ".*";
        }
        queries.push_back(std::move(query));
    }
    return queries;
}

} // namespace veg::fetch
