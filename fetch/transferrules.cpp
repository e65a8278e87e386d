// Download rules without the network.
#include "transferrules.h"

#include <openssl/evp.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace veg::fetch {

BodyAction bodyAction(long status, bool rangeAsked) {
    if (status == 206) {
        return rangeAsked ? BodyAction::Append : BodyAction::Restart;
    }
    if (status == 200) {
        return BodyAction::Restart;
    }
    if (status == 416) {
        return rangeAsked ? BodyAction::Drop : BodyAction::Fail;
    }
    if (status == 408 || status == 429 || (status >= 500 && status <= 599)) {
        return BodyAction::Retry;
    }
    return BodyAction::Fail;
}

std::optional<double> parseRetryAfter(std::string_view value, int64_t now) {
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front()))) {
        value.remove_prefix(1);
    }
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) {
        value.remove_suffix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    if (std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return value.size() > 9 ? 1e9 : std::stod(std::string(value));
    }
    // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT"
    std::tm tm{};
    const std::string copy(value);
    const char *end = strptime(copy.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
    if (end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    const double at = static_cast<double>(timegm(&tm));
    return std::max(0.0, at - static_cast<double>(now));
}

double retryDelay(int attempt, double baseSeconds, double maxSeconds, double jitter,
                  std::optional<double> retryAfter) {
    const double exponent = std::min(attempt - 1, 30);
    double delay = std::min(maxSeconds, baseSeconds * std::pow(2.0, std::max(0.0, exponent)));
    delay *= std::clamp(jitter, 0.5, 1.0);
    if (retryAfter) {
        delay = std::max(delay, std::min(*retryAfter, maxSeconds));
    }
    return delay;
}

bool looksLikeMarkup(std::string_view head) {
    size_t i = 0;
    if (head.substr(0, 3) == "\xEF\xBB\xBF") {
        i = 3; // byte-order mark
    }
    while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) {
        ++i;
    }
    return i < head.size() && head[i] == '<';
}

bool hasHdf4Magic(std::string_view head) { return head.substr(0, 4) == "\x0E\x03\x13\x01"; }

std::optional<std::string> fileDigest(const std::string &path, const std::string &algorithm) {
    const EVP_MD *md = algorithm == "MD5"       ? EVP_md5()
                       : algorithm == "SHA-256" ? EVP_sha256()
                                                : nullptr;
    if (md == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"),
                                                          std::fclose);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!file || !ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) {
        return std::nullopt;
    }
    std::vector<unsigned char> buffer(1 << 20);
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) {
            return std::nullopt;
        }
    }
    if (std::ferror(file.get()) != 0) {
        return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        return std::nullopt;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::optional<Credential> netrcCredential(std::string_view netrc, const std::string &machine) {
    std::vector<std::string> tokens;
    std::string token;
    bool inToken = false;
    for (size_t i = 0; i < netrc.size(); ++i) {
        const char c = netrc[i];
        if (c == '#' && !inToken && (i == 0 || netrc[i - 1] == '\n')) {
            while (i < netrc.size() && netrc[i] != '\n') {
                ++i; // a comment line
            }
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (inToken) {
                tokens.push_back(token);
                token.clear();
                inToken = false;
            }
            continue;
        }
        inToken = true;
        if (c == '\\' && i + 1 < netrc.size()) {
            token += netrc[++i];
        } else {
            token += c;
        }
    }
    if (inToken) {
        tokens.push_back(token);
    }
    std::optional<Credential> found;
    std::optional<Credential> fallback;
    std::optional<Credential> *current = nullptr;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string &t = tokens[i];
        if (t == "machine" && i + 1 < tokens.size()) {
            current = (tokens[++i] == machine && !found) ? &found : nullptr;
            if (current != nullptr) {
                current->emplace();
            }
        } else if (t == "default") {
            current = fallback ? nullptr : &fallback;
            if (current != nullptr) {
                current->emplace();
            }
        } else if ((t == "login" || t == "password") && i + 1 < tokens.size()) {
            const std::string &value = tokens[++i];
            if (current != nullptr) {
                (t == "login" ? (*current)->login : (*current)->password) = value;
            }
        }
    }
    return found ? found : fallback;
}

std::string netrcPermissionProblem(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return "cannot read the credentials file " + path;
    }
    if (!S_ISREG(st.st_mode)) {
        return "the credentials file " + path + " is not a regular file";
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return "the credentials file " + path + " has mode " + mode +
               ": others may read it; chmod 600 " + path;
    }
    return {};
}

} // namespace veg::fetch
