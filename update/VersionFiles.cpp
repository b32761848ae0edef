#include "update/VersionFiles.h"

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/Downloader.h"

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

void CDownloader::OnReceiveText(const char* data, size_t size) {
    // Bytes are decoded as UTF-8; a sequence split between two blocks is joined.
    const std::string block = size == 0 ? m_joiner.Flush() : m_joiner.Feed(data, size);
    std::string pending = std::move(m_strPendingLine);
    m_strPendingLine.clear();
    size_t pos = 0;
    for (;;) {
        size_t nl = block.find('\n', pos);
        if (nl == std::string::npos) break;
        pending.append(block, pos, nl - pos);
        ParseVersionLine(pending);
        pending.clear();
        pos = nl + 1;
    }
    pending.append(block, pos, std::string::npos);
    if (!pending.empty()) m_strPendingLine = std::move(pending);
}

void CDownloader::ParseVersionLine(const std::string& lineIn) {
    const std::string line = Trim(lineIn);
    size_t bar = line.find('|');
    if (bar == std::string::npos) return;
    StoreVersionValue(Trim(line.substr(0, bar)), Trim(line.substr(bar + 1)));
}

void CDownloader::StoreVersionValue(const std::string& key, const std::string& value) {
    if (key.empty() || value.empty()) return;
    switch (m_nTaskKind.load()) {
        case TASK_LAUNCHER_VERSION:
            m_strServerLauncherVersion = value;
            break;
        case TASK_PACK_LIST:
            if (EqualsNoCase(key, "newversion"))
                m_strNewVersion = value;
            else if (EqualsNoCase(key, "lastversion"))
                m_strLastVersion = value;
            else if (Contains(key, "full_pack"))
                m_strFullPack = value;
            break;
        case TASK_FILE_LIST: {
            std::lock_guard lock(m_csFileList);
            m_mapServerFiles[key] = value;
            break;
        }
        case TASK_LOCAL_LIST:
            m_mapLocalFiles[key] = value;
            break;
        default:
            break;
    }
}

bool CDownloader::LoadLocalVersionList() {
    std::vector<std::string> lines;
    if (!ReadLines(GetRunFolder(false) + "version.pat", lines)) return false;
    m_mapLocalFiles.clear();
    m_nTaskKind = TASK_LOCAL_LIST;
    for (const auto& l : lines)
        if (!Trim(l).empty()) ParseVersionLine(l);
    return true;
}

}  // namespace fl
