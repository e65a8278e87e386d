// The archive's catalogue as tilefetch sees it: the search query of a product, tiles and days,
// the granule records of one page of answers (UMM JSON), and the choice of the newest production
// when the catalogue lists one tile of one day twice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veg::fetch {

// One file of the archive, as its catalogue record describes it.
struct Granule {
    std::string id;         // GranuleUR: MOD09GQ.A2024122.h10v04.061.2024124031501
    std::string product;    // MOD09GQ
    std::string tile;       // h10v04
    std::string day;        // acquisition day, yyyy.mm.dd
    std::string production; // ProductionDateTime as given (ISO 8601, so it sorts as text)
    std::string url;        // the GET DATA link (HTTPS, on the data host)
    std::string fileName;   // the link's last path segment
    int64_t size = -1;      // SizeInBytes; -1 when the record has none
    std::string checksum;   // lower-case hexadecimal; empty when the record has none
    std::string algorithm;  // "MD5" or "SHA-256" (empty without a checksum)
};

// A page of the catalogue's answer: its granules, and one line per record that could not be used
// (naming the record). `valid` is false when the page itself is not the expected JSON.
struct SearchPage {
    bool valid = false;
    std::string error;
    std::vector<Granule> granules;
    std::vector<std::string> rejected;
};

SearchPage parseSearchPage(std::string_view json);

// Product, tile and acquisition day (yyyy.mm.dd) of a granule name
// "<product>.A<year><day of year>.h<HH>v<VV>.<collection>.<production stamp>"; false when the
// name does not have that form.
bool parseGranuleName(const std::string &name, std::string &product, std::string &tile,
                      std::string &day);

// The granules to fetch: those of the wanted tiles (all when `tiles` is empty) and days (from,
// to: yyyy.mm.dd, inclusive), one per product, tile and day (the newest production; for equal
// productions the later in the input), sorted by day and tile.
std::vector<Granule> selectGranules(const std::vector<Granule> &granules,
                                    const std::vector<std::string> &tiles, const std::string &from,
                                    const std::string &to);

// What the catalogue is asked.
struct SearchTerms {
    std::string provider;
    std::string shortName;
    std::string version;
    std::string from; // yyyy.mm.dd
    std::string to;   // yyyy.mm.dd
    std::vector<std::string> tiles;
    int pageSize = 2000;
};

// The query strings of a search (without '?'), one per group of at most `tilesPerQuery` tiles (one
// query for all tiles when none are named), each tile a name pattern without a leading wildcard.
std::vector<std::string> searchQueries(const SearchTerms &terms, size_t tilesPerQuery = 40);

} // namespace veg::fetch
