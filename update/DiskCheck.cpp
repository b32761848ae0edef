// Whether a step's bytes fit on the disk, asked before the step writes any.
#include <algorithm>

#include "platform/Folders.h"
#include "platform/DiskSpace.h"
#include "platform/Trace.h"
#include "update/Downloader.h"

namespace fl {

bool CDownloader::EnsureSpace(long long bytes) {
    if (bytes <= 0) return true;
    const std::string run = GetRunFolder(false);
    EnsureFolder(run);
    const long long free = FreeBytes(run);
    if (free < 0 || free >= bytes + bytes / 20) return true;
    TellNoSpace(bytes);
    return false;
}

void CDownloader::TellNoSpace(long long bytes) {
    const std::string run = GetRunFolder(false);
    const long long free = std::max(0LL, FreeBytes(run));
    const long long need = bytes + bytes / 20;
    const std::string text = Format("磁盘空间不足,需要%.1fM,剩余%.1fM.", double(need) / 1048576.0, double(free) / 1048576.0);
    m_host.ShowStatusText(text);
    m_bSuccess = false;
    Tell(text);
    TellCause(Format("%lld bytes needed in %s, %lld free", need, run.c_str(), free), "");
}

}  // namespace fl
