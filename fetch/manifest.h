// The record of what tilefetch holds in a tiles folder: one line per granule with its production,
// size, checksum, state and file, so that a rerun fetches only what is missing or newer.
#pragma once

#include "catalogue.h"

#include <map>
#include <string>

namespace veg::fetch {

struct ManifestEntry {
    std::string product, tile, day, production;
    int64_t size = -1;
    std::string checksum; // "<algorithm>:<hex>", or "-" when the record had none
    std::string state;    // "done", or "failed" (the last run could not get it)
    std::string file;     // path relative to the tiles folder: yyyy.mm.dd/<name>
};

// Keyed by granule id (GranuleUR).
using Manifest = std::map<std::string, ManifestEntry>;

// Tab-separated text, a header line first. Lines that do not read are skipped (the granules they
// named are fetched again).
Manifest parseManifest(const std::string &text);
std::string manifestText(const Manifest &manifest);

ManifestEntry entryOf(const Granule &g, const std::string &state);

} // namespace veg::fetch
