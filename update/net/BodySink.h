#pragma once
// Receives one request-thread body: into a ".temp" file moved into place when
// whole (continuing one that an earlier attempt or run left), or (memory
// mode) into the version-line parser.
#include <memory>

#include "platform/HttpClient.h"
#include "update/net/TempFile.h"

namespace fl {

class CDownloader;

class CBodySink : public IHttpSink {
public:
    explicit CBodySink(CDownloader& engine);
    // The request of this attempt (the missing bytes of a file left half-fetched).
    HttpRequest Plan();
    bool OnResponse(const HttpHead& head) override;
    bool OnData(const char* data, size_t size) override;
    // Ends the attempt: true when the body arrived whole (the file is closed).
    bool Whole(const HttpResult& result);
    // Hands the body over: the last line to the parser, or the file into place.
    void Commit();
    bool Responded() const { return m_bResponded; }
    bool Failed() const { return m_bFailed; }  // a local failure, already reported
    bool TooBig() const { return m_bTooBig; }  // a list body past its limit
    // The body is not the one the hash list names: why.
    bool Damaged() const { return !m_strDamage.empty(); }
    const std::string& Damage() const { return m_strDamage; }

private:
    CDownloader& m_engine;
    std::unique_ptr<CTempFile> m_pFile;  // file mode only
    bool m_bResponded = false;
    bool m_bFailed = false;
    bool m_bTooBig = false;  // a list body past its limit
    std::string m_strDamage;
};

}  // namespace fl
