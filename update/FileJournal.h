#pragma once
// The per-file stage's journal: a line "name|version" for each file that is
// complete and in place, appended at once, so a run that is cut short does not
// fetch those files again. The saved file list makes it obsolete.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace fl {

class CFileJournal {
public:
    ~CFileJournal();
    void SetPath(const std::string& path);
    // One writer at a time; a failure only costs the file being fetched again.
    void Append(const std::string& name, const std::string& version);
    // Each whole line; a torn last line is left out and cut from the file, so
    // the next line appended stands on its own. False when there is no journal.
    bool Replay(const std::function<void(std::string_view)>& onLine);
    void Remove();

private:
    mutable std::mutex m_cs;
    std::string m_strPath;
    int m_fd = -1;
};

}  // namespace fl
