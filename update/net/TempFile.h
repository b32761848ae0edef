#pragma once
// The ".temp" file one response fills, picked up where an earlier attempt or
// run left it: only the missing bytes are asked for, and only of the same body
// (its validator, If-Range); any other answer starts the file over.
#include <string>

#include "platform/HttpClient.h"
#include "update/net/ResumeRecord.h"

namespace fl {

// Bodies smaller than this start over rather than keep a record.
inline constexpr long long kResumableSize = 256 * 1024;

class CTempFile {
public:
    explicit CTempFile(std::string path) : m_strPath(std::move(path)) {}
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // The request for this attempt: the rest of the body the record names, or all of it.
    HttpRequest Plan();

    enum class Opened { Yes, NotThisAnswer, CannotWrite };
    // The answer's header block: a whole body (200) starts the file over, the
    // rest asked for (206 with exactly that range) continues it. `total` is the
    // body's whole size (0 when unknown), `held` the bytes already in the file.
    Opened Open(const HttpHead& head, long long& total, long long& held);
    bool Write(const char* data, size_t size);
    // Closes; `flush` puts the bytes on the disk first. False on an error.
    bool Close(bool flush = false);
    // The file is whole and moved away: its record goes too.
    void Finished() { RemoveResume(m_strPath); }
    const std::string& Path() const { return m_strPath; }
    long long Resumed() const { return m_nHeld; }

private:
    std::string m_strPath;
    int m_fd = -1;
    long long m_nHeld = 0;  // bytes the plan asked to continue from
    ResumeRecord m_record;
};

}  // namespace fl
