#pragma once
// The ".temp" file one response fills, picked up where an earlier attempt or
// run left it: only the missing bytes are asked for, and only of the same body
// (its validator, If-Range); any other answer starts the file over.
#include <string>

#include "platform/HttpClient.h"
#include "update/integrity/BodyCheck.h"
#include "update/net/ResumeRecord.h"

namespace fl {

// Bodies smaller than this start over rather than keep a record.
inline constexpr long long kResumableSize = 256 * 1024;

class CTempFile {
public:
    explicit CTempFile(std::string path, Expectation expect = {})
        : m_strPath(std::move(path)), m_check(std::move(expect)) {}
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
    // False on a write error, or once the body is longer than listed (Overrun()).
    bool Write(const char* data, size_t size);
    bool Overrun() const { return m_bOverrun; }
    int Error() const { return m_nError; }  // errno of the failed write or open
    // Why an answer's whole size cannot be the listed body (empty when it can).
    std::string SizeProblem(long long total) const { return m_check.SizeProblem(total); }
    // After a whole body: empty when it is the listed one, else why not.
    std::string Verdict() { return m_check.Verdict(); }
    // A body that is not the listed one goes, with its record.
    void Discard();
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
    CBodyCheck m_check;
    bool m_bOverrun = false;
    int m_nError = 0;
};

// A failed write in plain words ("disk full" for the usual one).
std::string WriteErrorCause(const std::string& path, int error);

}  // namespace fl
