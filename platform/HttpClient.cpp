#include "platform/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

namespace fl {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long EnvSeconds(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    return (end && *end == '\0' && n > 0) ? n : fallback;
}

struct Exchange {
    IHttpSink* sink = nullptr;
    CURL* curl = nullptr;
    bool followRedirects = false;
    const std::atomic<bool>* abort = nullptr;
    HttpResult result;
    ITransferObserver* observer = nullptr;
    bool responded = false;
    bool skipBlock = false;  // a redirect the library follows itself
    long long blockLength = -1;
    bool decoding = false;      // asked for gzip: the library hands on the body decoded
    bool blockEncoded = false;  // this block's body is encoded
    std::string blockRange, blockEtag, blockModified;
    long blockRetryAfter = -1;
    bool hasLocation = false;
    long stallSeconds = 60;
    curl_off_t lastBytes = -1;
    std::chrono::steady_clock::time_point lastChange{};
    bool stalled = false;
};

// A header's value without the white space and line end around it.
std::string HeaderValue(const char* data, size_t n) {
    size_t b = 0;
    while (b < n && (data[b] == ' ' || data[b] == '\t')) ++b;
    while (n > b && (data[n - 1] == '\r' || data[n - 1] == '\n' || data[n - 1] == ' ' || data[n - 1] == '\t')) --n;
    return std::string(data + b, n - b);
}

bool StartsWithNoCase(const char* line, size_t n, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= n) return false;
        char a = line[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    size_t n = size * count;
    if (StartsWithNoCase(data, n, "http/")) {
        x->blockLength = -1;
        x->blockEncoded = false;
        x->blockRange.clear();
        x->blockEtag.clear();
        x->blockModified.clear();
        x->blockRetryAfter = -1;
        x->hasLocation = false;
    } else if (StartsWithNoCase(data, n, "content-length:")) {
        x->blockLength = ParseLeadingNumber(std::string(data + 15, n - 15));
    } else if (StartsWithNoCase(data, n, "content-encoding:")) {
        const std::string v = HeaderValue(data + 17, n - 17);
        x->blockEncoded = !v.empty() && v != "identity";
    } else if (StartsWithNoCase(data, n, "content-range:")) {
        x->blockRange.assign(data + 14, n - 14);
    } else if (StartsWithNoCase(data, n, "etag:")) {
        x->blockEtag = HeaderValue(data + 5, n - 5);
    } else if (StartsWithNoCase(data, n, "last-modified:")) {
        x->blockModified = HeaderValue(data + 14, n - 14);
    } else if (StartsWithNoCase(data, n, "retry-after:")) {
        const std::string v = HeaderValue(data + 12, n - 12);
        // Seconds only; a date is not worth a clock comparison here.
        if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos && v.size() < 9)
            x->blockRetryAfter = std::stol(v);
    } else if (StartsWithNoCase(data, n, "location:")) {
        x->hasLocation = true;
    } else if (n <= 2 && (data[0] == '\r' || data[0] == '\n')) {
        long status = 0;
        curl_easy_getinfo(x->curl, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200) return n;  // interim answer
        if (x->followRedirects && status >= 300 && status < 400 && x->hasLocation) {
            x->skipBlock = true;
            return n;
        }
        x->skipBlock = false;
        x->responded = true;
        x->result.status = status;
        // A decoded body is longer than the length the server gave for it.
        x->result.contentLength = x->blockEncoded && x->decoding ? -1 : x->blockLength;
        HttpHead& head = x->result.head;
        head.status = status;
        head.contentLength = x->result.contentLength;
        head.contentRange = x->blockRange;
        head.etag = x->blockEtag;
        head.lastModified = x->blockModified;
        head.retryAfterSeconds = x->blockRetryAfter;
        if (!x->sink->OnResponse(head)) {
            x->result.stoppedBySink = true;
            return 0;
        }
    }
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    size_t n = size * count;
    if (x->skipBlock || !x->responded) return n;
    x->result.bodyBytes += static_cast<long long>(n);
    if (x->observer && !x->observer->OnBytes(n)) {
        x->result.stoppedBySink = true;
        return CURL_WRITEFUNC_ERROR;
    }
    if (!x->sink->OnData(data, n)) {
        x->result.stoppedBySink = true;
        return CURL_WRITEFUNC_ERROR;
    }
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* x = static_cast<Exchange*>(user);
    if (x->abort && x->abort->load()) return 1;
    if (x->observer) x->observer->OnTick();
    // A stall is measured from the last byte that moved, not as an average speed.
    const auto now = std::chrono::steady_clock::now();
    if (dlnow + ulnow != x->lastBytes) {
        x->lastBytes = dlnow + ulnow;
        x->lastChange = now;
    } else if (now - x->lastChange > std::chrono::seconds(x->stallSeconds)) {
        x->stalled = true;
        return 1;
    }
    return 0;
}

}  // namespace

namespace {
thread_local long t_nStallLimit = 0;  // 0: none set on this thread
}

CScopedStallLimit::CScopedStallLimit(long seconds) : m_nPrevious(t_nStallLimit) { t_nStallLimit = seconds; }
CScopedStallLimit::~CScopedStallLimit() { t_nStallLimit = m_nPrevious; }

HttpTimeouts HttpTimeouts::FromEnvironment() {
    HttpTimeouts t;
    t.connectSeconds = EnvSeconds("FLAUNCHER_CONNECT_TIMEOUT", t.connectSeconds);
    t.stallSeconds = EnvSeconds("FLAUNCHER_STALL_TIMEOUT", t.stallSeconds);
    if (t_nStallLimit > 0) t.stallSeconds = std::min(t.stallSeconds, t_nStallLimit);
    return t;
}

long long ParseLeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    long long v = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        if (v > (1LL << 52)) break;
        v = v * 10 + (text[i] - '0');
    }
    return any ? v : 0;
}

std::string PercentEncode(std::string_view text, bool keepSlash) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~' || (keepSlash && c == '/');
        if (unreserved) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool ParseContentRange(const std::string& valueIn, long long& first, long long& last, long long& total) {
    // "bytes 0-499/1234"; white space around the value is the header's, not ours.
    size_t i = 0, n = valueIn.size();
    while (i < n && (valueIn[i] == ' ' || valueIn[i] == '\t')) ++i;
    while (n > i && (valueIn[n - 1] == ' ' || valueIn[n - 1] == '\t' || valueIn[n - 1] == '\r' || valueIn[n - 1] == '\n'))
        --n;
    const std::string v = valueIn.substr(i, n - i);
    if (v.compare(0, 6, "bytes ") != 0) return false;
    size_t pos = 6;
    auto number = [&](long long& out) {
        size_t start = pos;
        out = 0;
        while (pos < v.size() && v[pos] >= '0' && v[pos] <= '9') {
            if (pos - start >= 18) return false;  // beyond any real size
            out = out * 10 + (v[pos++] - '0');
        }
        return pos > start;
    };
    if (!number(first) || pos >= v.size() || v[pos++] != '-') return false;
    if (!number(last) || pos >= v.size() || v[pos++] != '/') return false;
    if (v.compare(pos, std::string::npos, "*") == 0) {
        total = -1;
    } else if (!number(total) || pos != v.size()) {
        return false;
    }
    return first <= last && (total < 0 || last < total);
}

bool ParseUrl(const std::string& url, UrlParts& parts) {
    GlobalInit();
    CURLU* h = curl_url();
    if (!h) return false;
    bool ok = curl_url_set(h, CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS) == CURLUE_OK;
    auto part = [&](CURLUPart which, std::string& out, unsigned flags) {
        char* v = nullptr;
        const bool got = curl_url_get(h, which, &v, flags) == CURLUE_OK && v;
        if (got) out = v;
        curl_free(v);
        return got;
    };
    std::string port, scratch;
    if (ok) {
        ok = part(CURLUPART_SCHEME, parts.scheme, 0) && part(CURLUPART_HOST, parts.host, 0) &&
             part(CURLUPART_PATH, parts.path, 0) && part(CURLUPART_PORT, port, CURLU_DEFAULT_PORT);
        parts.hasQuery = part(CURLUPART_QUERY, scratch, 0);
        parts.hasFragment = part(CURLUPART_FRAGMENT, scratch, 0);
        parts.hasUser = part(CURLUPART_USER, scratch, 0) || part(CURLUPART_PASSWORD, scratch, 0);
        const long long p = ParseLeadingNumber(port);
        ok = ok && p > 0 && p <= 65535;
        parts.port = static_cast<unsigned short>(p);
    }
    curl_url_cleanup(h);
    return ok;
}

std::string EncodeRequestTarget(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

CHttpClient::CHttpClient(bool followRedirects) : m_bFollowRedirects(followRedirects) {
    GlobalInit();
    m_pCurl = curl_easy_init();
    m_pMulti = curl_multi_init();
}

CHttpClient::~CHttpClient() {
    if (m_pCurl) curl_easy_cleanup(m_pCurl);
    if (m_pMulti) curl_multi_cleanup(m_pMulti);
}

namespace {

// One transfer on the multi handle: the loop wakes at least every 100 ms, so a
// raised abort flag ends even a transfer that is waiting for its first byte
// (the progress callback alone may not run for a second then).
CURLcode Perform(CURLM* multi, CURL* curl, const std::atomic<bool>* abort) {
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode rc = CURLE_OK;
    bool finished = false;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl) {
                rc = msg->data.result;
                finished = true;
            }
        if (finished || running == 0) break;
        if (abort && abort->load()) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    curl_multi_remove_handle(multi, curl);
    return rc;
}

}  // namespace

HttpResult CHttpClient::Get(const std::string& url, IHttpSink& sink, const std::string& range) {
    HttpRequest request;
    request.range = range;
    return Get(url, sink, request);
}

HttpResult CHttpClient::Get(const std::string& url, IHttpSink& sink, const HttpRequest& request) {
    const std::string& range = request.range;
    Exchange x;
    x.sink = &sink;
    x.curl = m_pCurl;
    x.followRedirects = m_bFollowRedirects;
    x.abort = m_pAbort;
    x.observer = m_pObserver;
    if (!m_pCurl) {
        x.result.error = "HTTP library could not be initialised";
        return x.result;
    }
    if (m_pAbort && m_pAbort->load()) {
        x.result.aborted = true;
        x.result.error = "aborted";
        return x.result;
    }
    const HttpTimeouts t = HttpTimeouts::FromEnvironment();
    const std::string target = EncodeRequestTarget(url);
    char errbuf[CURL_ERROR_SIZE] = {};

    curl_easy_reset(m_pCurl);  // keeps the connection cache
    curl_easy_setopt(m_pCurl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_FOLLOWLOCATION, m_bFollowRedirects ? 1L : 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(m_pCurl, CURLOPT_CONNECTTIMEOUT, t.connectSeconds);
    x.stallSeconds = t.stallSeconds;
    x.lastChange = std::chrono::steady_clock::now();
    curl_easy_setopt(m_pCurl, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(m_pCurl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(m_pCurl, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(m_pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFODATA, &x);
    curl_easy_setopt(m_pCurl, CURLOPT_BUFFERSIZE, 64L * 1024L);
    if (!range.empty()) curl_easy_setopt(m_pCurl, CURLOPT_RANGE, range.c_str());
    x.decoding = request.compressed && range.empty();  // a range of a compressed body is no range of the file
    if (x.decoding) curl_easy_setopt(m_pCurl, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_slist* headers = nullptr;
    // Validators came from a server: one with a line break or a control byte is not sent.
    auto plain = [](const std::string& v) {
        return std::none_of(v.begin(), v.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; });
    };
    if (!request.ifRange.empty() && plain(request.ifRange))
        headers = curl_slist_append(headers, ("If-Range: " + request.ifRange).c_str());
    if (!request.ifNoneMatch.empty() && plain(request.ifNoneMatch))
        headers = curl_slist_append(headers, ("If-None-Match: " + request.ifNoneMatch).c_str());
    if (headers) curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, headers);

    CURLcode rc = m_pMulti ? Perform(m_pMulti, m_pCurl, m_pAbort) : curl_easy_perform(m_pCurl);
    curl_easy_setopt(m_pCurl, CURLOPT_ERRORBUFFER, nullptr);  // errbuf dies with this call
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, nullptr);
    if (headers) curl_slist_free_all(headers);
    x.result.curlCode = int(rc);
    x.result.stalled = x.stalled;
    if (rc == CURLE_OK) {
        x.result.completed = true;
        if (!x.responded) {  // no header block ended (cannot happen over HTTP/1.x, kept safe)
            long status = 0;
            curl_easy_getinfo(m_pCurl, CURLINFO_RESPONSE_CODE, &status);
            x.result.status = status;
        }
    } else if (!x.result.stoppedBySink) {
        x.result.aborted = rc == CURLE_ABORTED_BY_CALLBACK && !x.stalled;
        x.result.error = x.stalled ? "no data received for " + std::to_string(t.stallSeconds) + " s"
                                   : (errbuf[0] ? errbuf : curl_easy_strerror(rc));
    }
    return x.result;
}

}  // namespace fl
