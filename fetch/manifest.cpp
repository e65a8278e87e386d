// The manifest's text form.
#include "manifest.h"

#include <sstream>
#include <vector>

namespace veg::fetch {

namespace {
constexpr const char *kHeader =
    "granule\tproduct\ttile\tday\tproduction\tsize\tchecksum\tstate\tfile";
} // namespace

Manifest parseManifest(const std::string &text) {
    Manifest manifest;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
            f.push_back(line.substr(start, tab - start));
        }
        f.push_back(line.substr(start));
        if (f.size() != 9 || f[0] == "granule" || f[0].empty()) {
            continue;
        }
        ManifestEntry e{f[1], f[2], f[3], f[4], -1, f[6], f[7], f[8]};
        try {
            e.size = std::stoll(f[5]);
        } catch (const std::exception &) {
            continue;
        }
        manifest[f[0]] = e;
    }
    return manifest;
}

std::string manifestText(const Manifest &manifest) {
    std::string text = std::string(kHeader) + "\n";
    for (const auto &[id, e] : manifest) {
        text += id + "\t" + e.product + "\t" + e.tile + "\t" + e.day + "\t" + e.production + "\t" +
                std::to_string(e.size) + "\t" + e.checksum + "\t" + e.state + "\t" + e.file + "\n";
    }
    return text;
}

ManifestEntry entryOf(const Granule &g, const std::string &state) {
    return {g.product, g.tile,
            g.day,     g.production,
            g.size,    g.checksum.empty() ? "-" : g.algorithm + ":" + g.checksum,
            state,     g.day + "/" + g.fileName};
}

} // namespace veg::fetch
