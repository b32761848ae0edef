#pragma once
// Files too large to hold in memory, read and written a piece at a time.
#include <functional>
#include <string>
#include <string_view>

namespace fl {

// Calls `onLine` for each line of the file (without its "\n"); a last line
// without one is passed with `whole` false. Stops when `onLine` returns false.
// False when the file cannot be read.
bool ForEachLine(const std::string& path, const std::function<bool(std::string_view line, bool whole)>& onLine);

// A file replaced only once it is complete: written to a temporary file
// beside it through a buffer, flushed to disk, then renamed over it.
class CAtomicFileWriter {
public:
    explicit CAtomicFileWriter(std::string path);
    ~CAtomicFileWriter();  // an uncommitted file is removed
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;
    void Write(std::string_view bytes);
    bool Commit();

private:
    bool Flush();
    std::string m_strPath, m_strTemp, m_strBuffer;
    int m_fd = -1;
    bool m_bFailed = false;
};

}  // namespace fl
