// The rules of one download that need no network: what an answer to a resumed request means,
// how long to wait before trying again, whether a body is a tile at all, checksums, and the
// credentials file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veg::fetch {

// What to do with the bytes of an answer, given its status and whether a Range was asked.
enum class BodyAction {
    Append,  // 206 to a Range request: the body continues the partial file
    Restart, // 200: the body is the whole file; the partial file starts again from empty
    Drop,    // 416: the partial file cannot be continued; remove it and ask again without Range
    Retry,   // 408, 429, 5xx: a passing failure; keep the partial file and try again later
    Fail,    // anything else: the granule cannot be had this run
};
BodyAction bodyAction(long status, bool rangeAsked);

// Seconds of a Retry-After value: delta-seconds or an HTTP date (relative to `now`, Unix
// seconds); nothing when the value is neither.
std::optional<double> parseRetryAfter(std::string_view value, int64_t now);

// Seconds to wait before attempt `attempt` (1 = the first retry): an exponential backoff from
// `baseSeconds` capped at `maxSeconds`, scaled by `jitter` in [0.5, 1]; at least a Retry-After the
// server gave (capped at `maxSeconds` too).
double retryDelay(int attempt, double baseSeconds, double maxSeconds, double jitter,
                  std::optional<double> retryAfter);

// True when the first bytes of a body look like an HTML or XML page rather than data.
bool looksLikeMarkup(std::string_view head);

// The HDF4 signature 0E 03 13 01 at the start of a file.
bool hasHdf4Magic(std::string_view head);

// Lower-case hexadecimal digest of a whole file ("MD5" or "SHA-256"); nothing when the file
// cannot be read or the algorithm is unknown.
std::optional<std::string> fileDigest(const std::string &path, const std::string &algorithm);

// Login and password for `machine` in the text of a .netrc file (tokens split by white space,
// "default" used when no machine matches, backslash escapes a character); nothing when absent.
struct Credential {
    std::string login;
    std::string password;
};
std::optional<Credential> netrcCredential(std::string_view netrc, const std::string &machine);

// An empty string when the credentials file may be used: a regular file that only its owner can
// read or write. Otherwise why not (naming the file).
std::string netrcPermissionProblem(const std::string &path);

} // namespace veg::fetch
