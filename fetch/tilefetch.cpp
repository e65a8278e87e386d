// tilefetch's entry: arguments and configuration, credentials, the catalogue search, the plan
// against the manifest, the downloads and the summary.
#include "tilefetch.h"

#include "atomicfile.h"
#include "catalogue.h"
#include "download.h"
#include "manifest.h"
#include "readguard.h"
#include "transferrules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace veg::tilefetch {

namespace {

using fetch::Granule;

constexpr const char *kManifestName = "tilefetch-manifest.tsv";

const char *const kUsage =
    "usage: tilefetch [--config FILE] [--set KEY=VALUE]... --product NAME\n"
    "                 (--tiles hXXvYY[,hXXvYY...] | --tile-list FILE) --from yyyy.mm.dd\n"
    "                 --to yyyy.mm.dd --out TILES_FOLDER\n";

// Defaults of every key; a key not listed here is refused.
const Config &defaults() {
    static const Config d = {
        {"catalogue", {"https://cmr.earthdata.nasa.gov/search/granules.umm_json"}},
        {"provider", {"LPCLOUD"}},
        {"version", {"061"}},
        {"login_host", {"urs.earthdata.nasa.gov"}},
        {"data_host", {"data.lpdaac.earthdatacloud.nasa.gov"}},
        {"netrc", {""}},
        {"token_file", {""}},
        {"cookie_jar", {""}},
        {"resolve", {}},
        {"ca_file", {""}},
        {"user_agent", {"vegcondition-tilefetch/1.0"}},
        {"client_id", {"vegcondition-tilefetch"}},
        {"parallel", {"4"}},
        {"per_host", {"4"}},
        {"connect_timeout", {"30"}},
        {"low_speed_limit", {"1000"}},
        {"low_speed_time", {"60"}},
        {"retries", {"5"}},
        {"backoff_base", {"2"}},
        {"backoff_max", {"120"}},
        {"page_size", {"2000"}},
        {"probe_grid", {""}},
    };
    return d;
}

std::string trim(const std::string &s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

bool readText(const std::string &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

bool isDay(const std::string &s) {
    return s.size() == 10 && s[4] == '.' && s[7] == '.' &&
           std::all_of(s.begin(), s.end(), [](char c) {
               return c == '.' || std::isdigit(static_cast<unsigned char>(c));
           });
}

bool isTile(const std::string &s) {
    return s.size() == 6 && s[0] == 'h' && s[3] == 'v' &&
           std::isdigit(static_cast<unsigned char>(s[1])) &&
           std::isdigit(static_cast<unsigned char>(s[2])) &&
           std::isdigit(static_cast<unsigned char>(s[4])) &&
           std::isdigit(static_cast<unsigned char>(s[5])) && std::stoi(s.substr(1, 2)) <= 35 &&
           std::stoi(s.substr(4, 2)) <= 17;
}

// Creates a folder and its parents; false with errno set.
bool makeFolders(const std::string &path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        struct stat st {};
        if (stat(part.c_str(), &st) != 0) {
            if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
                return false;
            }
        } else if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

int64_t sizeOf(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size)
                                                               : -1;
}

std::string megabytes(int64_t bytes) {
    return cli::format("%.1f MB", static_cast<double>(bytes) / 1e6);
}

struct Options {
    std::string product, from, to, out;
    std::vector<std::string> tiles;
    Config config = defaults();
};

// Reads the arguments and the configuration; an empty string when usable, else the message.
std::string parseArguments(const cli::Args &args, Options &o) {
    std::vector<std::string> sets;
    std::string configPath, tileList, tileArg;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (i + 1 >= args.size()) {
            return "tilefetch: " + a +
                   (a.rfind("--", 0) == 0 ? " needs a value" : ": unexpected argument");
        }
        const std::string &v = args[++i];
        if (a == "--config") {
            configPath = v;
        } else if (a == "--set") {
            sets.push_back(v);
        } else if (a == "--product") {
            o.product = v;
        } else if (a == "--tiles") {
            tileArg += "," + v;
        } else if (a == "--tile-list") {
            tileList = v;
        } else if (a == "--from") {
            o.from = v;
        } else if (a == "--to") {
            o.to = v;
        } else if (a == "--out") {
            o.out = v;
        } else {
            return "tilefetch: unknown option " + a;
        }
    }
    if (!configPath.empty()) {
        std::string text, error;
        if (!readText(configPath, text)) {
            return "tilefetch: cannot read the configuration " + configPath;
        }
        if (!parseConfig(text, o.config, error)) {
            return "tilefetch: " + configPath + ": " + error;
        }
    }
    for (const std::string &s : sets) {
        std::string error;
        if (!parseConfig(s, o.config, error)) {
            return "tilefetch: --set " + s + ": " + error;
        }
    }
    if (!tileList.empty()) {
        std::string text;
        if (!readText(tileList, text)) {
            return "tilefetch: cannot read the tile list " + tileList;
        }
        std::replace_if(
            text.begin(), text.end(),
            [](char c) { return std::isspace(static_cast<unsigned char>(c)); }, ',');
        tileArg += "," + text;
    }
    std::stringstream tiles(tileArg);
    for (std::string t; std::getline(tiles, t, ',');) {
        if (t.empty()) {
            continue;
        }
        if (!isTile(t)) {
            return "tilefetch: \"" + t + "\" is not a tile (hXXvYY, h 00-35, v 00-17)";
        }
        if (std::find(o.tiles.begin(), o.tiles.end(), t) == o.tiles.end()) {
            o.tiles.push_back(t);
        }
    }
    if (o.product.empty() || o.out.empty() || o.tiles.empty()) {
        return "tilefetch: --product, --out and at least one tile are required";
    }
    if (!isDay(o.from) || !isDay(o.to) || o.to < o.from) {
        return "tilefetch: --from and --to must be days yyyy.mm.dd, --from not after --to";
    }
    for (const char *key :
         {"parallel", "per_host", "connect_timeout", "low_speed_limit", "low_speed_time", "retries",
          "page_size", "backoff_base", "backoff_max"}) {
        const std::string &v = o.config[key].at(0);
        char *end = nullptr;
        const double d = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || d < 0 || d > 1e6) {
            return std::string("tilefetch: configuration key ") + key +
                   " must be a number from 0, not \"" + v + "\"";
        }
    }
    return {};
}

long number(const Config &c, const char *key) {
    return std::strtol(c.at(key).at(0).c_str(), nullptr, 10);
}

const std::string &value(const Config &c, const char *key) { return c.at(key).at(0); }

} // namespace

bool parseConfig(const std::string &text, Config &config, std::string &error) {
    std::istringstream lines(text);
    std::set<std::string> seen;
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : trim(line.substr(0, eq));
        if (eq == std::string::npos || defaults().count(key) == 0) {
            error = "line " + std::to_string(number) + ": \"" + line +
                    "\" is not one of the keys (key = value)";
            return false;
        }
        const std::string v = trim(line.substr(eq + 1));
        if (seen.insert(key).second) {
            config[key].clear();
        } else if (key != "resolve") {
            error = "line " + std::to_string(number) + ": " + key + " given twice";
            return false;
        }
        config[key].push_back(v);
    }
    return true;
}

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    Options o;
    if (args.size() < 2) {
        err << kUsage;
        return cli::kExitUsage;
    }
    if (const std::string problem = parseArguments(args, o); !problem.empty()) {
        err << problem << "\n" << kUsage;
        return cli::kExitUsage;
    }
    const Config &c = o.config;
    fetch::HttpSettings http;
    http.userAgent = value(c, "user_agent");
    http.resolve = c.at("resolve");
    http.caFile = value(c, "ca_file");
    http.dataHost = value(c, "data_host");
    http.connectTimeout = number(c, "connect_timeout");
    http.lowSpeedLimit = number(c, "low_speed_limit");
    http.lowSpeedTime = number(c, "low_speed_time");
    http.retries = static_cast<int>(number(c, "retries"));
    http.backoffBase = std::strtod(value(c, "backoff_base").c_str(), nullptr);
    http.backoffMax = std::strtod(value(c, "backoff_max").c_str(), nullptr);
    http.parallel = number(c, "parallel");
    http.perHost = number(c, "per_host");

    // Credentials: a bearer token for the data host, else the login host's .netrc entry.
    const std::string &loginHost = value(c, "login_host");
    if (!value(c, "token_file").empty()) {
        const std::string &path = value(c, "token_file");
        std::string token;
        if (const std::string why = fetch::netrcPermissionProblem(path); !why.empty()) {
            err << "tilefetch: "
                << (why.rfind("cannot read", 0) == 0 ? "cannot read the token file " + path : why)
                << "\n";
            return cli::kExitUsage;
        }
        if (!readText(path, token) || (token = trim(token)).empty()) {
            err << "tilefetch: the token file " << path << " holds no token\n";
            return cli::kExitUsage;
        }
        http.bearerToken = token;
    } else {
        std::string path = value(c, "netrc");
        if (path.empty()) {
            const char *home = std::getenv("HOME");
            path = std::string(home != nullptr ? home : "") + "/.netrc";
        }
        std::string text;
        if (const std::string why = fetch::netrcPermissionProblem(path); !why.empty()) {
            err << "tilefetch: " << why << " (credentials for " << loginHost
                << "; or give token_file for a bearer token)\n";
            return cli::kExitUsage;
        }
        const auto credential =
            readText(path, text) ? fetch::netrcCredential(text, loginHost) : std::nullopt;
        if (!credential || credential->login.empty() || credential->password.empty()) {
            err << "tilefetch: no login and password for " << loginHost << " in " << path
                << " (a line \"machine " << loginHost << " login NAME password SECRET\")\n";
            return cli::kExitUsage;
        }
        http.loginHost = loginHost;
        http.login = credential->login;
        http.password = credential->password;
    }

    // The tiles folder, before anything is asked of the network.
    if (!makeFolders(o.out)) {
        err << "tilefetch: cannot create the tiles folder " << o.out << ": " << std::strerror(errno)
            << "\n";
        return cli::kExitFailure;
    }
    if (access(o.out.c_str(), W_OK) != 0) {
        err << "tilefetch: cannot write in the tiles folder " << o.out << ": "
            << std::strerror(errno) << "\n";
        return cli::kExitFailure;
    }
    http.cookieJar =
        value(c, "cookie_jar").empty() ? o.out + "/.tilefetch-cookies" : value(c, "cookie_jar");
    // The jar holds the session: only its owner may read it (libcurl keeps a file's mode).
    if (const int fd = open(http.cookieJar.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        fd >= 0) {
        close(fd);
    }

    // The catalogue, page by page.
    fetch::SearchTerms terms{value(c, "provider"),
                             o.product,
                             value(c, "version"),
                             o.from,
                             o.to,
                             o.tiles,
                             static_cast<int>(std::clamp(number(c, "page_size"), 1L, 2000L))};
    const std::string &catalogue = value(c, "catalogue");
    const std::string catalogueHost = fetch::urlHost(catalogue);
    std::vector<Granule> listed;
    std::vector<std::string> failures;
    for (const std::string &query : fetch::searchQueries(terms)) {
        std::string searchAfter;
        std::set<std::string> seenMarks;
        for (int page = 1;; ++page) {
            std::vector<std::string> headers = {"Client-Id: " + value(c, "client_id")};
            if (!searchAfter.empty()) {
                headers.push_back("CMR-Search-After: " + searchAfter);
            }
            const fetch::HttpReply reply = fetch::httpGet(http, catalogue + "?" + query, headers);
            if (!reply.ok) {
                err << "tilefetch: catalogue search failed: " << reply.error << "\n";
                return cli::kExitFailure;
            }
            const fetch::SearchPage parsed = fetch::parseSearchPage(reply.body);
            if (!parsed.valid) {
                err << "tilefetch: page " << page << " of the catalogue at " << catalogueHost
                    << ": " << parsed.error << "\n";
                return cli::kExitFailure;
            }
            for (const std::string &why : parsed.rejected) {
                failures.push_back(catalogueHost + " page " + std::to_string(page) + " " + why);
            }
            listed.insert(listed.end(), parsed.granules.begin(), parsed.granules.end());
            const auto mark = reply.headers.find("cmr-search-after");
            if (parsed.granules.empty() && parsed.rejected.empty()) {
                break;
            }
            if (mark == reply.headers.end() || mark->second.empty()) {
                break;
            }
            if (!seenMarks.insert(mark->second).second) {
                err << "tilefetch: the catalogue at " << catalogueHost
                    << " repeated its paging mark " << mark->second << "\n";
                return cli::kExitFailure;
            }
            searchAfter = mark->second;
        }
    }
    const std::vector<Granule> granules = fetch::selectGranules(listed, o.tiles, o.from, o.to);

    // The plan: what the manifest does not hold whole.
    const std::string manifestPath = o.out + "/" + kManifestName;
    std::string manifestText;
    fetch::Manifest manifest = readText(manifestPath, manifestText)
                                   ? fetch::parseManifest(manifestText)
                                   : fetch::Manifest{};
    std::vector<fetch::DownloadJob> jobs;
    size_t held = 0;
    for (const Granule &g : granules) {
        const std::string finalPath = o.out + "/" + g.day + "/" + g.fileName;
        const auto it = manifest.find(g.id);
        if (it != manifest.end() && it->second.state == "done" && it->second.size == g.size &&
            it->second.checksum == fetch::entryOf(g, "done").checksum &&
            sizeOf(finalPath) == g.size) {
            ++held;
            continue;
        }
        if (!makeFolders(o.out + "/" + g.day)) {
            err << "tilefetch: cannot create the folder " << o.out << "/" << g.day << ": "
                << std::strerror(errno) << "\n";
            return cli::kExitFailure;
        }
        // A file of the record's size in place that the manifest does not hold (a run stopped
        // between its rename and the manifest's write, or a copy put there by hand) is checked
        // as a complete download is, and fetched only when it fails.
        const std::string partPath = finalPath + ".part";
        if (g.size > 0 && sizeOf(finalPath) == g.size && sizeOf(partPath) < 0 &&
            std::rename(finalPath.c_str(), partPath.c_str()) != 0) {
            err << "tilefetch: cannot move " << finalPath << " to " << partPath << ": "
                << std::strerror(errno) << "\n";
            return cli::kExitFailure;
        }
        jobs.push_back({g, partPath, finalPath});
    }

    std::string gridName = value(c, "probe_grid");
    if (gridName.empty()) {
        gridName = o.product.rfind("MOD09GA", 0) == 0 || o.product.rfind("MYD09GA", 0) == 0
                       ? "MODIS_Grid_1km_2D"
                       : "MODIS_Grid_2D";
    }
    const fetch::ProbeFunction probe = [&gridName](const std::string &path) -> std::string {
        switch (grid::probeGridFile(path, gridName)) {
        case grid::ProbeVerdict::Sound:
            return {};
        case grid::ProbeVerdict::Unopenable:
            return path + ": grid " + gridName + " cannot be opened";
        case grid::ProbeVerdict::Damaged:
            return path + ": the grid probe found the file damaged";
        case grid::ProbeVerdict::NotRun:
            break;
        }
        return path + ": the grid probe (gridprobe) could not be started";
    };

    const bool terminal = isatty(STDERR_FILENO) == 1;
    std::vector<std::string> noChecksum;
    size_t downloaded = 0;
    int64_t bytes = 0;
    double seconds = 0;
    bool manifestWritten = true;
    const auto done = [&](size_t index, const fetch::DownloadResult &result) {
        const Granule &g = jobs[index].granule;
        if (!result.ok) {
            failures.push_back(g.id + ": " + result.reason);
            if (manifest.count(g.id) == 0 || manifest[g.id].state != "done") {
                manifest[g.id] = fetch::entryOf(g, "failed");
            }
        } else {
            ++downloaded;
            if (g.checksum.empty()) {
                noChecksum.push_back(g.id);
            }
            // An older production of the same tile and day leaves the folder.
            for (auto it = manifest.begin(); it != manifest.end();) {
                const fetch::ManifestEntry &e = it->second;
                if (it->first != g.id && e.product == g.product && e.tile == g.tile &&
                    e.day == g.day) {
                    if (e.file != g.day + "/" + g.fileName) {
                        std::remove((o.out + "/" + e.file).c_str());
                    }
                    it = manifest.erase(it);
                } else {
                    ++it;
                }
            }
            manifest[g.id] = fetch::entryOf(g, "done");
        }
        manifestWritten =
            fileio::replaceFileContents(manifestPath, fetch::manifestText(manifest)) &&
            manifestWritten;
    };
    const auto progress = [&](const fetch::DownloadProgress &p) {
        seconds = p.seconds;
        if (terminal) {
            err << cli::format("\rtilefetch: %zu/%zu files, %s, %.1f MB/s   ", p.filesDone,
                               p.filesTotal, megabytes(p.bytes).c_str(),
                               p.seconds > 0 ? static_cast<double>(p.bytes) / 1e6 / p.seconds : 0.0)
                << std::flush;
        }
    };
    if (!jobs.empty()) {
        fetch::downloadAll(http, jobs, probe, done, progress, bytes);
        if (terminal) {
            err << "\n";
        }
    }
    for (const fetch::DownloadJob &j : jobs) {
        rmdir((o.out + "/" + j.granule.day).c_str()); // a day left without files leaves no folder
    }

    out << "tilefetch: " << granules.size() << " granules of " << o.product << " listed, " << held
        << " held already, " << downloaded << " downloaded (" << megabytes(bytes)
        << cli::format(" in %.1f s, %.1f MB/s)", seconds,
                       seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0)
        << ", " << failures.size() << " failed\n";
    for (const std::string &id : noChecksum) {
        out << "tilefetch: " << id
            << " accepted on size and grid probe: the catalogue gives no checksum\n";
    }
    if (!manifestWritten) {
        err << "tilefetch: cannot write the manifest " << manifestPath << ": "
            << std::strerror(errno) << " (the next run checks the files again)\n";
    }
    for (const std::string &f : failures) {
        err << "tilefetch: not fetched: " << f << "\n";
    }
    return failures.empty() && manifestWritten ? cli::kExitSuccess : cli::kExitFailure;
}

} // namespace veg::tilefetch
