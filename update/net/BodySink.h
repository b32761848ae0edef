#pragma once
// Receives one request-thread body: into a ".temp" file moved into place when
// whole, or (memory mode) into the version-line parser.
#include "platform/HttpClient.h"

namespace fl {

class CDownloader;

class CBodySink : public IHttpSink {
public:
    explicit CBodySink(CDownloader& engine) : m_engine(engine) {}
    ~CBodySink() override;
    bool OnResponse(const HttpHead& head) override;
    bool OnData(const char* data, size_t size) override;
    // The end of the body: moves the file into place, or reports the interruption.
    void Finish(const HttpResult& result);
    bool Responded() const { return m_bResponded; }

private:
    CDownloader& m_engine;
    bool m_bResponded = false;
    bool m_bFailed = false;   // a local failure already reported
    bool m_bDiscard = false;  // no usable temp name: the body goes nowhere
    bool m_bTooBig = false;   // a list body past its limit
    int m_fd = -1;
    std::string m_strTemp;
};

}  // namespace fl
