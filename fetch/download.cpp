// libcurl's multi interface driving the downloads.
#include "download.h"

#include "transferrules.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <random>
#include <thread>

namespace veg::fetch {

namespace {

struct EasyDeleter {
    void operator()(CURL *h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM *h) const { curl_multi_cleanup(h); }
};
struct ShareDeleter {
    void operator()(CURLSH *h) const { curl_share_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};
struct FileDeleter {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using List = std::unique_ptr<curl_slist, ListDeleter>;
using File = std::unique_ptr<std::FILE, FileDeleter>;

// libcurl's process-wide set-up, once per process before any handle.
void globalInit() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)ready;
}

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int64_t fileSize(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

std::string lowerCase(std::string s) {
    for (char &c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

List makeList(const std::vector<std::string> &lines) {
    curl_slist *list = nullptr;
    for (const std::string &line : lines) {
        curl_slist *next = curl_slist_append(list, line.c_str());
        if (next == nullptr) {
            break;
        }
        list = next;
    }
    return List(list);
}

// Options every request of a run shares.
void commonOptions(CURL *h, const HttpSettings &s, curl_slist *resolve, char *errorBuffer) {
    curl_easy_setopt(h, CURLOPT_USERAGENT, s.userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_RESOLVE, resolve);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, s.connectTimeout);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, s.lowSpeedLimit);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, s.lowSpeedTime);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (!s.caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, s.caFile.c_str());
    }
}

// Headers of the final answer (each redirect's answer starts the collection again).
struct HeaderSink {
    std::map<std::string, std::string> headers;
    static size_t callback(char *data, size_t size, size_t count, void *user) {
        auto *sink = static_cast<HeaderSink *>(user);
        const std::string line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) {
            sink->headers.clear();
        }
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t\r\n") + 1);
            sink->headers[lowerCase(line.substr(0, colon))] = value;
        }
        return size * count;
    }
};

bool passingNetworkFailure(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_SSL_CONNECT_ERROR:
        return true;
    default:
        return false;
    }
}

std::string curlFailure(CURLcode code, const char *errorBuffer) {
    return errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(code);
}

double jitter(std::mt19937 &random) {
    return std::uniform_real_distribution<double>(0.5, 1.0)(random);
}

std::optional<double> retryAfterOf(const std::map<std::string, std::string> &headers) {
    const auto it = headers.find("retry-after");
    if (it == headers.end()) {
        return std::nullopt;
    }
    return parseRetryAfter(it->second, static_cast<int64_t>(std::time(nullptr)));
}

// Why an HTTP status ends a download, for the summary.
std::string statusReason(long status, const std::string &host, const std::string &contentType) {
    std::string reason = "HTTP " + std::to_string(status) + " from " + host;
    if (status == 401) {
        reason += ": the credentials were refused (check the .netrc entry or the token)";
    } else if (status == 403) {
        reason += ": access denied (is the product's licence accepted for this account?)";
    } else if (status == 404) {
        reason += ": the catalogue lists a file the data host does not have";
    } else if (status == 400) {
        reason += ": request refused (a credential sent where it must not go?)";
    }
    if (contentType.find("html") != std::string::npos && status != 401) {
        reason += " (an HTML page)";
    }
    return reason;
}

// fsync of a file by path, or of a folder.
bool syncPath(const std::string &path, bool directory) {
    const int fd = open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

std::string folderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// One attempt at one job.
struct Transfer {
    size_t job = 0;
    Easy easy;
    List headers;
    File file;
    HeaderSink sink;
    int64_t offset = 0; // bytes of the partial file when the attempt began
    bool rangeAsked = false;
    bool decided = false;
    BodyAction action = BodyAction::Fail;
    bool markup = false;
    int writeErrno = 0;
    int64_t received = 0;
    std::string url;
    int redirects = 0;
    std::string errorBody;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    int64_t *bytesReceived = nullptr;

    static size_t write(char *data, size_t size, size_t count, void *user) {
        auto *t = static_cast<Transfer *>(user);
        const size_t n = size * count;
        if (!t->decided) {
            long status = 0;
            curl_easy_getinfo(t->easy.get(), CURLINFO_RESPONSE_CODE, &status);
            t->action = bodyAction(status, t->rangeAsked);
            t->decided = true;
            if (t->action == BodyAction::Restart) {
                t->offset = 0;
                if (std::fflush(t->file.get()) != 0 || ftruncate(fileno(t->file.get()), 0) != 0 ||
                    std::fseek(t->file.get(), 0, SEEK_SET) != 0) {
                    t->writeErrno = errno;
                    return 0;
                }
            }
            const auto type = t->sink.headers.find("content-type");
            const bool html = type != t->sink.headers.end() &&
                              lowerCase(type->second).find("text/html") != std::string::npos;
            if ((t->action == BodyAction::Restart ||
                 (t->action == BodyAction::Append && t->offset == 0)) &&
                (html || looksLikeMarkup(std::string_view(data, std::min<size_t>(n, 512))))) {
                t->markup = true;
                return 0;
            }
        }
        if (t->action != BodyAction::Append && t->action != BodyAction::Restart) {
            t->errorBody.append(
                data, std::min(n, size_t(512) - std::min(size_t(512), t->errorBody.size())));
            return n;
        }
        if (std::fwrite(data, 1, n, t->file.get()) != n) {
            t->writeErrno = errno != 0 ? errno : EIO;
            return 0;
        }
        t->received += static_cast<int64_t>(n);
        *t->bytesReceived += static_cast<int64_t>(n);
        return n;
    }
};

struct JobState {
    int attempts = 0;     // attempts started
    double notBefore = 0; // earliest start of the next attempt
    bool finished = false;
};

} // namespace

std::string urlHost(const std::string &url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    std::string authority =
        url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    authority =
        authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
    if (!authority.empty() && authority[0] == '[') {
        return authority.substr(0, authority.find(']') + 1);
    }
    return lowerCase(authority.substr(0, authority.find(':')));
}

HttpReply httpGet(const HttpSettings &settings, const std::string &url,
                  const std::vector<std::string> &requestHeaders) {
    globalInit();
    HttpReply reply;
    const List resolve = makeList(settings.resolve);
    const List headers = makeList(requestHeaders);
    std::mt19937 random(std::random_device{}());
    const std::string host = urlHost(url);
    for (int attempt = 0;; ++attempt) {
        Easy h(curl_easy_init());
        if (!h) {
            reply.error = "cannot start a request to " + host;
            return reply;
        }
        char errorBuffer[CURL_ERROR_SIZE] = {};
        HeaderSink sink;
        reply.body.clear();
        commonOptions(h.get(), settings, resolve.get(), errorBuffer);
        curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(h.get(), CURLOPT_FOLLOWLOCATION, 1L); // no credentials go with it
        curl_easy_setopt(h.get(), CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(h.get(), CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(h.get(), CURLOPT_HEADERFUNCTION, &HeaderSink::callback);
        curl_easy_setopt(h.get(), CURLOPT_HEADERDATA, &sink);
        curl_easy_setopt(
            h.get(), CURLOPT_WRITEFUNCTION, +[](char *data, size_t size, size_t count, void *user) {
                static_cast<std::string *>(user)->append(data, size * count);
                return size * count;
            });
        curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &reply.body);
        const CURLcode code = curl_easy_perform(h.get());
        curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &reply.status);
        reply.headers = sink.headers;
        bool retry = false;
        if (code != CURLE_OK) {
            reply.error = "cannot reach " + host + ": " + curlFailure(code, errorBuffer);
            retry = passingNetworkFailure(code);
        } else if (reply.status == 200) {
            reply.ok = true;
            reply.error.clear();
            return reply;
        } else {
            reply.error = statusReason(reply.status, host, reply.headers["content-type"]);
            retry = bodyAction(reply.status, false) == BodyAction::Retry;
        }
        if (!retry || attempt >= settings.retries) {
            return reply;
        }
        const double wait = retryDelay(attempt + 1, settings.backoffBase, settings.backoffMax,
                                       jitter(random), retryAfterOf(reply.headers));
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
}

void downloadAll(const HttpSettings &settings, const std::vector<DownloadJob> &jobs,
                 const ProbeFunction &probe,
                 const std::function<void(size_t job, const DownloadResult &)> &done,
                 const std::function<void(const DownloadProgress &)> &progress,
                 int64_t &bytesReceived) {
    globalInit();
    const List resolve = makeList(settings.resolve);
    std::unique_ptr<CURLSH, ShareDeleter> share(curl_share_init());
    curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, std::max(1L, settings.perHost));
    std::mt19937 random(std::random_device{}());

    struct Verdict {
        bool ok = false;
        std::string reason;
        bool retryable = false;
    };
    struct Verifying {
        size_t job;
        std::future<Verdict> verdict;
    };
    std::vector<Verifying> verifying;
    bool sessionReady = false;
    bool jarRead = false;
    std::vector<JobState> state(jobs.size());
    std::deque<size_t> waiting;
    for (size_t i = 0; i < jobs.size(); ++i) {
        waiting.push_back(i);
    }
    std::vector<std::unique_ptr<Transfer>> active;
    DownloadProgress shown;
    shown.filesTotal = jobs.size();
    const double started = now();
    double lastShown = 0;

    const auto finish = [&](size_t job, DownloadResult result) {
        if (!result.ok && fileSize(jobs[job].partPath) == 0) {
            std::remove(jobs[job].partPath.c_str()); // nothing to continue from
        }
        state[job].finished = true;
        sessionReady = true;
        ++shown.filesDone;
        done(job, result);
    };
    // A passing failure: try again later, or give up after the last attempt.
    const auto again = [&](size_t job, const std::string &reason, std::optional<double> retryAfter,
                           bool immediately) {
        if (state[job].attempts > settings.retries) {
            finish(job, {false,
                         reason + " (after " + std::to_string(state[job].attempts) + " attempts)"});
            return;
        }
        state[job].notBefore =
            now() + (immediately ? 0.0
                                 : retryDelay(state[job].attempts, settings.backoffBase,
                                              settings.backoffMax, jitter(random), retryAfter));
        waiting.push_back(job);
    };

    // Redirects are followed here, one request per hop, so that each credential goes to its own
    // host only: libcurl's netrc lookup during a followed redirect offers the login host's
    // password to the host the login sends the client back to.
    const auto start = [&](size_t job, const std::string &url, int redirects) -> bool {
        const DownloadJob &j = jobs[job];
        auto t = std::make_unique<Transfer>();
        t->job = job;
        t->url = url;
        t->redirects = redirects;
        t->bytesReceived = &bytesReceived;
        t->offset = std::max<int64_t>(0, fileSize(j.partPath));
        if (j.granule.size >= 0 && t->offset > j.granule.size) {
            std::remove(j.partPath.c_str());
            t->offset = 0;
        }
        t->file.reset(std::fopen(j.partPath.c_str(), t->offset > 0 ? "r+b" : "wb"));
        if (!t->file || std::fseek(t->file.get(), 0, SEEK_END) != 0) {
            finish(job, {false, "cannot write " + j.partPath + ": " + std::strerror(errno)});
            return false;
        }
        t->easy.reset(curl_easy_init());
        CURL *h = t->easy.get();
        commonOptions(h, settings, resolve.get(), t->errorBuffer);
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_SHARE, share.get());
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        // The jar is read into the shared store once; every handle writes the store back.
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, jarRead ? "" : settings.cookieJar.c_str());
        jarRead = true;
        if (!settings.cookieJar.empty()) {
            curl_easy_setopt(h, CURLOPT_COOKIEJAR, settings.cookieJar.c_str());
        }
        const std::string host = urlHost(url);
        if (!settings.login.empty() && host == settings.loginHost) {
            curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(h, CURLOPT_USERNAME, settings.login.c_str());
            curl_easy_setopt(h, CURLOPT_PASSWORD, settings.password.c_str());
        } else if (!settings.bearerToken.empty() && host == settings.dataHost) {
            curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BEARER);
            curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, settings.bearerToken.c_str());
        }
        if (t->offset > 0) {
            t->rangeAsked = true;
            curl_easy_setopt(h, CURLOPT_RANGE, (std::to_string(t->offset) + "-").c_str());
        }
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeaderSink::callback);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &t->sink);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::write);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, t.get());
        curl_easy_setopt(h, CURLOPT_PRIVATE, t.get());
        curl_multi_add_handle(multi.get(), h);
        active.push_back(std::move(t));
        return true;
    };

    // Checks a complete partial file and renames it into place; false with the reason, and
    // whether another attempt may help.
    const auto accept = [&](const DownloadJob &j, std::string &reason, bool &retryable) {
        const Granule &g = j.granule;
        retryable = false;
        std::string head(4, '\0');
        {
            File in(std::fopen(j.partPath.c_str(), "rb"));
            if (!in || std::fread(head.data(), 1, 4, in.get()) != 4) {
                head.clear();
            }
        }
        if (!hasHdf4Magic(head)) {
            reason =
                j.partPath + " is not an HDF4 file (the data host answered with something else)";
            return false;
        }
        if (!g.checksum.empty()) {
            const auto digest = fileDigest(j.partPath, g.algorithm);
            if (!digest) {
                reason = "cannot read " + j.partPath;
                return false;
            }
            if (*digest != g.checksum) {
                reason = g.algorithm + " of " + g.fileName + " is " + *digest +
                         ", the catalogue says " + g.checksum;
                retryable = true;
                return false;
            }
        }
        const std::string why = probe ? probe(j.partPath) : std::string();
        if (!why.empty()) {
            reason = why;
            return false;
        }
        if (!syncPath(j.partPath, false) ||
            std::rename(j.partPath.c_str(), j.finalPath.c_str()) != 0 ||
            !syncPath(folderOf(j.finalPath), true)) {
            reason =
                "cannot move " + j.partPath + " to " + j.finalPath + ": " + std::strerror(errno);
            return false;
        }
        return true;
    };

    // Checksum and probe run beside the transfers, which go on meanwhile.
    const auto verify = [&](size_t job) {
        CURLM *waker = multi.get();
        const DownloadJob &j = jobs[job];
        verifying.push_back({job, std::async(std::launch::async, [&accept, &j, waker] {
                                 Verdict v;
                                 v.ok = accept(j, v.reason, v.retryable);
                                 curl_multi_wakeup(waker); // out of curl_multi_poll
                                 return v;
                             })});
    };

    const auto conclude = [&](Transfer &t, CURLcode code) {
        const DownloadJob &j = jobs[t.job];
        const std::string host = urlHost(t.url);
        long status = 0;
        curl_easy_getinfo(t.easy.get(), CURLINFO_RESPONSE_CODE, &status);
        const bool closed = std::fclose(t.file.release()) == 0;
        char *location = nullptr;
        curl_easy_getinfo(t.easy.get(), CURLINFO_REDIRECT_URL, &location);
        if (code == CURLE_OK && status >= 300 && status < 400 && location != nullptr) {
            if (t.redirects >= settings.maxRedirects) {
                finish(t.job, {false, "more than " + std::to_string(settings.maxRedirects) +
                                          " redirects, the last from " + host});
            } else {
                if (host == settings.dataHost && urlHost(location) != settings.loginHost) {
                    sessionReady = true; // the data host took the session cookie or the token
                }
                start(t.job, location, t.redirects + 1);
            }
            return;
        }
        if (!t.decided && code == CURLE_OK) {
            t.action = bodyAction(status, t.rangeAsked); // an empty body
        }
        const auto type =
            t.sink.headers.count("content-type") != 0 ? t.sink.headers["content-type"] : "";
        if (t.markup) {
            std::remove(j.partPath.c_str());
            finish(t.job, {false, host + " answered " + std::to_string(status) +
                                      " with an HTML page, not a tile (a login page: check the "
                                      "credentials)"});
            return;
        }
        if (t.writeErrno != 0 || (!closed && code == CURLE_OK)) {
            finish(t.job, {false, "cannot write " + j.partPath + ": " +
                                      std::strerror(t.writeErrno != 0 ? t.writeErrno : errno) +
                                      " (the next run resumes it)"});
            return;
        }
        if (code != CURLE_OK) {
            const std::string reason =
                "transfer from " + host + " failed: " + curlFailure(code, t.errorBuffer);
            if (passingNetworkFailure(code)) {
                again(t.job, reason, std::nullopt, false);
            } else {
                finish(t.job, {false, reason});
            }
            return;
        }
        switch (t.action) {
        case BodyAction::Drop:
            std::remove(j.partPath.c_str());
            again(t.job, "HTTP 416 from " + host, std::nullopt, true);
            return;
        case BodyAction::Retry:
            again(t.job, statusReason(status, host, type), retryAfterOf(t.sink.headers), false);
            return;
        case BodyAction::Fail:
            finish(t.job, {false, statusReason(status, host, type)});
            return;
        case BodyAction::Append:
        case BodyAction::Restart:
            break;
        }
        const int64_t have = fileSize(j.partPath);
        if (have < j.granule.size) {
            again(t.job,
                  "short body from " + host + " (" + std::to_string(have) + " of " +
                      std::to_string(j.granule.size) + " bytes)",
                  std::nullopt, false);
            return;
        }
        if (have > j.granule.size) {
            std::remove(j.partPath.c_str());
            again(t.job,
                  j.granule.fileName + " from " + host + " is " + std::to_string(have) +
                      " bytes, the catalogue says " + std::to_string(j.granule.size),
                  std::nullopt, false);
            return;
        }
        verify(t.job);
    };
    const auto collectVerdicts = [&](bool wait) {
        for (auto it = verifying.begin(); it != verifying.end();) {
            if (it->verdict.wait_for(std::chrono::milliseconds(wait ? 5 : 0)) !=
                std::future_status::ready) {
                ++it;
                continue;
            }
            const size_t job = it->job;
            const Verdict v = it->verdict.get();
            it = verifying.erase(it);
            if (v.ok) {
                finish(job, {true, {}});
                continue;
            }
            std::remove(jobs[job].partPath.c_str());
            if (v.retryable) {
                again(job, v.reason, std::nullopt, false);
            } else {
                finish(job, {false, v.reason});
            }
        }
    };

    const size_t parallel = static_cast<size_t>(std::max(1L, settings.parallel));
    while (!waiting.empty() || !active.empty() || !verifying.empty()) {
        collectVerdicts(active.empty() && waiting.empty());
        const double t0 = now();
        double nextStart = 1e300;
        // One transfer until the session stands, so that the login runs once, not once per
        // transfer; then all of them.
        const size_t allowed = sessionReady ? parallel : 1;
        for (size_t n = waiting.size(); n > 0 && active.size() < allowed; --n) {
            const size_t job = waiting.front();
            waiting.pop_front();
            if (state[job].notBefore <= t0) {
                ++state[job].attempts;
                if (state[job].attempts == 1 && jobs[job].granule.size > 0 &&
                    fileSize(jobs[job].partPath) == jobs[job].granule.size) {
                    verify(job); // complete before a stop: nothing to fetch unless it fails
                } else {
                    start(job, jobs[job].granule.url, 0);
                }
            } else {
                nextStart = std::min(nextStart, state[job].notBefore);
                waiting.push_back(job);
            }
        }
        int running = 0;
        curl_multi_perform(multi.get(), &running);
        int queued = 0;
        bool concluded = false;
        while (CURLMsg *msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg != CURLMSG_DONE) {
                continue;
            }
            CURL *h = msg->easy_handle;
            const CURLcode code = msg->data.result;
            curl_multi_remove_handle(multi.get(), h);
            const auto it = std::find_if(active.begin(), active.end(),
                                         [h](const auto &t) { return t->easy.get() == h; });
            if (it == active.end()) {
                continue;
            }
            std::unique_ptr<Transfer> t = std::move(*it);
            active.erase(it);
            conclude(*t, code);
            concluded = true;
        }
        shown.bytes = bytesReceived;
        shown.seconds = now() - started;
        if (shown.seconds - lastShown >= 0.5) {
            lastShown = shown.seconds;
            progress(shown);
        }
        double waitMs = 500;
        if (concluded) {
            continue; // the next hop or job starts at once
        }
        if (active.empty() && !waiting.empty()) {
            waitMs = std::clamp((nextStart - now()) * 1000, 1.0, 500.0);
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(waitMs));
        } else if (!active.empty()) {
            if (nextStart < 1e300) {
                waitMs = std::clamp((nextStart - now()) * 1000, 1.0, 500.0);
            }
            curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(waitMs), nullptr);
        }
    }
    shown.bytes = bytesReceived;
    shown.seconds = now() - started;
    progress(shown);
}

} // namespace veg::fetch
