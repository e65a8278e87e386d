// The network side of tilefetch (libcurl): catalogue requests, and the parallel download of
// granules into partial files that resume, are verified and are renamed into place.
#pragma once

#include "catalogue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace veg::fetch {

struct HttpSettings {
    std::string userAgent = "vegcondition-tilefetch/1.0";
    std::vector<std::string> resolve; // "host:port:address" entries (CURLOPT_RESOLVE)
    std::string loginHost;            // the only host that gets login and password (HTTP Basic)
    std::string login, password;
    std::string cookieJar;   // one jar for every transfer of a run; empty: in memory
    std::string bearerToken; // sent to dataHost only
    std::string dataHost;
    int maxRedirects = 10;
    std::string caFile;
    long connectTimeout = 30;  // seconds
    long lowSpeedLimit = 1000; // bytes per second ...
    long lowSpeedTime = 60;    // ... below which for this many seconds a transfer is dropped
    int retries = 5;           // further attempts after a passing failure
    double backoffBase = 2;    // seconds
    double backoffMax = 120;   // seconds
    long parallel = 4;         // transfers at once
    long perHost = 4;          // connections per host at once
};

// The host name of a URL ("" when it has none).
std::string urlHost(const std::string &url);

// A GET with retries of 429, 5xx and connection failures (Retry-After honoured). `ok` when the
// final answer is 200; else `error` says why, naming the host.
struct HttpReply {
    bool ok = false;
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers; // names in lower case, last value kept
    std::string error;
};
HttpReply httpGet(const HttpSettings &settings, const std::string &url,
                  const std::vector<std::string> &requestHeaders);

struct DownloadJob {
    Granule granule;
    std::string partPath;  // <final>.part
    std::string finalPath; // tiles/yyyy.mm.dd/<name>
};

struct DownloadResult {
    bool ok = false;
    std::string reason; // why not, naming the host or file
};

struct DownloadProgress {
    size_t filesDone = 0, filesTotal = 0;
    int64_t bytes = 0; // received this run
    double seconds = 0;
};

// Opens a complete partial file as the grid the programs read; empty when sound, else why not.
using ProbeFunction = std::function<std::string(const std::string &path)>;

// Downloads every job (at most settings.parallel at once), accepting a file only when its answer
// was 200/206, it is not a markup page, it starts with the HDF4 signature, its size and checksum
// are the record's and the probe opens it; it is then synced and renamed onto finalPath. A file
// that is not accepted never appears under its final name; an unfinished one stays as partPath
// for the next run. `done` is called as each job ends; `progress` now and then.
void downloadAll(const HttpSettings &settings, const std::vector<DownloadJob> &jobs,
                 const ProbeFunction &probe,
                 const std::function<void(size_t job, const DownloadResult &)> &done,
                 const std::function<void(const DownloadProgress &)> &progress,
                 int64_t &bytesReceived);

} // namespace veg::fetch
