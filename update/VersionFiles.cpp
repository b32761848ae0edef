#include "update/VersionFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"

namespace fl {

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    lines.clear();
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        size_t len = end - start;
        if (len > 0 && bytes[end - 1] == '\r') --len;
        lines.emplace_back(bytes, start, len);
        start = end + 1;
    }
    return true;
}

std::string ReadFirstLine(const std::string& path) {
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) return {};
    for (const auto& l : lines)
        if (!l.empty()) return l;
    return {};
}

std::string ReadFirstTrimmedLine(const std::string& path) {
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) return {};
    for (const auto& l : lines) {
        std::string t = Trim(l);
        if (!t.empty()) return t;
    }
    return {};
}

bool ForgetListedNames(const std::string& path, const std::unordered_set<std::string>& names) {
    std::vector<std::string> lines;
    if (names.empty() || !ReadLines(path, lines)) return true;  // no list: nothing claims anything
    std::string kept;
    bool changed = false;
    for (const auto& line : lines) {
        const std::string_view t = TrimView(line);
        const size_t bar = t.find('|');
        if (bar != std::string_view::npos && names.count(NormalizeSeparators(std::string(TrimView(t.substr(0, bar)))))) {
            changed = true;
            continue;
        }
        kept += line + "\r\n";
    }
    return !changed || WriteFileAtomically(path, kept);
}

std::string GetUrlLastSegment(const std::string& urlIn) {
    std::string url = Trim(urlIn);
    size_t slash = url.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == url.size() - 1) {
        url.pop_back();
        slash = url.rfind('/');
        if (slash == std::string::npos) return {};
    }
    return url.substr(slash + 1);
}

void CDownloader::ResetListCounts() {
    m_strPendingLine.clear();
    m_bLineTooLong = false;
    m_nListLines = 0;
    m_nListValues = 0;
}

void CDownloader::OnReceiveText(const char* data, size_t size) {
    // Bytes are decoded as UTF-8; a sequence split between two blocks is joined.
    const std::string block = size == 0 ? m_joiner.Flush() : m_joiner.Feed(data, size);
    SplitLines(block, m_strPendingLine, m_bLineTooLong, [this](std::string_view line, bool tooLong) {
        if (tooLong) {
            ++m_nListLines;
            OutputDebugStringW("ignored a list line over 64 KiB: " + ShortName(line));
        } else {
            ParseVersionLine(line);
        }
    });
}

void CDownloader::ParseVersionLine(std::string_view lineIn) {
    const std::string_view line = TrimView(lineIn);
    if (line.empty()) return;
    ++m_nListLines;
    size_t bar = line.find('|');
    if (bar == std::string_view::npos) return;
    StoreVersionValue(TrimView(line.substr(0, bar)), TrimView(line.substr(bar + 1)));
}

namespace {

// A pack value names files (".zip", ".dydr", segments, temporaries): it passes the gate or counts as missing.
bool IsUsablePackValue(const std::string& value) {
    if (IsSafeRelativeName(value + ".zip")) return true;
    OutputDebugStringW("refused a pack value: " + ShortName(value));
    return false;
}

}  // namespace

void CDownloader::StoreVersionValue(std::string_view key, std::string_view value) {
    if (key.empty() || value.empty()) return;
    switch (m_nTaskKind.load()) {
        case TASK_LAUNCHER_VERSION:
            m_strServerLauncherVersion = value;
            break;
        case TASK_PACK_LIST: {
            std::string* target = EqualsNoCase(key, "newversion")    ? &m_strNewVersion
                                  : EqualsNoCase(key, "lastversion") ? &m_strLastVersion
                                  : Contains(key, "full_pack")       ? &m_strFullPack
                                                                     : nullptr;
            if (!target) return;
            if (!IsUsablePackValue(std::string(value))) {
                target->clear();  // as if the server had not named it
                m_bPackValueRefused = true;
                return;
            }
            *target = value;
            break;
        }
        case TASK_FILE_LIST: {
            if (!IsSafeRelativeName(key)) {
                OutputDebugStringW("refused a listed name: " + ShortName(key));
                return;
            }
            std::lock_guard lock(m_csFileList);
            m_mapServerFiles.insert_or_assign(std::string(key), std::string(value));
            break;
        }
        case TASK_LOCAL_LIST:
            m_mapLocalFiles.insert_or_assign(std::string(key), std::string(value));
            break;
        default:
            return;
    }
    ++m_nListValues;
}

bool CDownloader::LoadLocalVersionList() { return LoadLocalVersionList(GetRunFolder(false) + "version.pat"); }

bool CDownloader::LoadLocalVersionList(const std::string& path) {
    // Read in pieces through the same line rules as a server list: a huge or
    // damaged local copy costs no more memory than its usable lines.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    m_mapLocalFiles.clear();
    m_nTaskKind = TASK_LOCAL_LIST;
    std::string pending;
    bool tooLong = false;
    auto onLine = [this](std::string_view line, bool dropped) {
        if (dropped)
            OutputDebugStringW("ignored a local list line over 64 KiB");
        else
            ParseVersionLine(line);
    };
    std::vector<char> buf(256 * 1024);
    for (;;) {
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        SplitLines(std::string_view(buf.data(), size_t(n)), pending, tooLong, onLine);
    }
    close(fd);
    if (!tooLong && !pending.empty()) onLine(pending, false);
    return true;
}

}  // namespace fl
