#pragma once
// The one HTTP client of the program, on libcurl. The login fetch, the step
// reports and the update engine all use it. Every transfer has a connect
// time-out and a stall time-out, so nothing waits for ever; libcurl's proxy
// environment variables are honoured.
#include <atomic>
#include <string>
#include <string_view>

typedef void CURL;
typedef void CURLM;

namespace fl {

struct HttpTimeouts {
    long connectSeconds = 15;
    long stallSeconds = 20;
    // FLAUNCHER_CONNECT_TIMEOUT and FLAUNCHER_STALL_TIMEOUT (seconds) override the defaults.
    static HttpTimeouts FromEnvironment();
};

// A shorter stall limit for the transfers this thread makes while it lives
// (a transfer tried again after a stall need not wait the full time again).
class CScopedStallLimit {
public:
    explicit CScopedStallLimit(long seconds);
    ~CScopedStallLimit();
    CScopedStallLimit(const CScopedStallLimit&) = delete;
    CScopedStallLimit& operator=(const CScopedStallLimit&) = delete;

private:
    long m_nPrevious;
};

// The header block of the final response.
struct HttpHead {
    long status = 0;
    long long contentLength = -1;  // -1 when the server sent none, or the body comes compressed
    std::string contentRange;      // the Content-Range value, empty when none
    std::string etag;              // ETag, empty when none
    std::string lastModified;      // Last-Modified, empty when none
    long retryAfterSeconds = -1;   // Retry-After in seconds, -1 when none (or a date)
};

// What a GET asks for beyond the address.
struct HttpRequest {
    std::string range;    // "first-last" or "first-" (zero-based), empty for the whole body
    std::string ifRange;  // a validator: the range only if the body is still that one
    std::string ifNoneMatch;  // an ETag held here: the body only if it is another (else 304)
    bool compressed = false;  // gzip on the way is welcome: the sink gets the body as it was
};

// Receives one response. Returning false from either call stops the transfer.
class IHttpSink {
public:
    virtual ~IHttpSink() = default;
    virtual bool OnResponse(const HttpHead& head) = 0;
    virtual bool OnData(const char* data, size_t size) = 0;
};

struct HttpResult {
    bool completed = false;        // the exchange ran to its end
    bool stoppedBySink = false;    // a sink call returned false
    bool aborted = false;          // the abort flag was raised
    long status = 0;
    long long contentLength = -1;
    long long bodyBytes = 0;
    std::string error;             // transport error text, empty when none
    int curlCode = 0;              // the HTTP library's result code (0 = none)
    bool stalled = false;          // nothing arrived for the stall time
    HttpHead head;                 // the final response's header block
};

// Sees every body byte of a client's transfers, and ticks while one runs
// (about once a second or more). Called from the transferring thread.
class ITransferObserver {
public:
    virtual ~ITransferObserver() = default;
    // Before the bytes reach the sink; may wait (a rate cap). False stops the transfer.
    virtual bool OnBytes(size_t size) = 0;
    virtual void OnTick() {}
};

class CHttpClient {
public:
    explicit CHttpClient(bool followRedirects = false);
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // GET of `url`. `range` is an HTTP byte range "first-last" (zero-based), or empty.
    // The handle is kept between calls so the connection stays open (keep-alive).
    HttpResult Get(const std::string& url, IHttpSink& sink, const std::string& range = {});
    HttpResult Get(const std::string& url, IHttpSink& sink, const HttpRequest& request);

    // A flag that, once true, makes the running and every later transfer stop.
    void SetAbortFlag(const std::atomic<bool>* flag) { m_pAbort = flag; }
    void SetObserver(ITransferObserver* observer) { m_pObserver = observer; }

private:
    ITransferObserver* m_pObserver = nullptr;
    CURL* m_pCurl = nullptr;
    CURLM* m_pMulti = nullptr;  // drives the transfer, so an abort is seen within 100 ms
    bool m_bFollowRedirects;
    const std::atomic<bool>* m_pAbort = nullptr;
};

// Bytes that cannot stand raw in an HTTP request line (controls, space, DEL)
// are percent-encoded; everything else stays as it is.
std::string EncodeRequestTarget(const std::string& text);

// Every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~), and "/" when
// keepSlash is set, as %XX: a name from a list is requested as itself.
std::string PercentEncode(std::string_view text, bool keepSlash);

// A "bytes FIRST-LAST/TOTAL" Content-Range value; total is -1 for "*".
// False when the value is not of that form.
bool ParseContentRange(const std::string& value, long long& first, long long& last, long long& total);

// An address taken apart by the HTTP library's URL parser, the path as written.
struct UrlParts {
    std::string scheme, host, path;
    unsigned short port = 0;
    bool hasQuery = false, hasFragment = false, hasUser = false;
};
bool ParseUrl(const std::string& url, UrlParts& parts);

// Decimal text-to-integer rules: leading white space, leading digits, none gives 0.
long long ParseLeadingNumber(const std::string& text);

}  // namespace fl
