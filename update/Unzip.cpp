// Unpacking a pack into the run folder (zlib's minizip).
#include <fcntl.h>
#include <minizip/unzip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "app/AppMessage.h"
#include "app/Folders.h"
#include "app/WobrApp.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"

namespace fl {

namespace {

constexpr int kUnixHost = 3;

// Writes the current entry to `path` through a temporary file beside it, so a
// failed entry never leaves half a file in place of a good one.
int ExtractCurrent(unzFile uf, const std::string& path, const unz_file_info64& info, std::vector<char>& buf) {
    if (!EnsureFolder(ParentOf(path))) return UNZ_ERRNO;
    int rc = unzOpenCurrentFile(uf);
    if (rc != UNZ_OK) return rc;
    const std::string temp = path + ".unzip";
    mode_t mode = 0644;
    if ((info.version >> 8) == kUnixHost && ((info.external_fa >> 16) & 0777)) mode = (info.external_fa >> 16) & 0777;
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        unzCloseCurrentFile(uf);
        return UNZ_ERRNO;
    }
    for (;;) {
        int n = unzReadCurrentFile(uf, buf.data(), unsigned(buf.size()));
        if (n < 0) {
            rc = n;
            break;
        }
        if (n == 0) break;
        if (!WriteAll(fd, buf.data(), size_t(n))) {
            rc = UNZ_ERRNO;
            break;
        }
    }
    int closeRc = unzCloseCurrentFile(uf);  // reports a CRC mismatch
    if (rc == UNZ_OK) rc = closeRc;
    if (fchmod(fd, mode) != 0 && rc == UNZ_OK) rc = UNZ_ERRNO;
    if (close(fd) != 0 && rc == UNZ_OK) rc = UNZ_ERRNO;
    if (rc == UNZ_OK && std::rename(temp.c_str(), path.c_str()) != 0) rc = UNZ_ERRNO;
    if (rc != UNZ_OK) unlink(temp.c_str());
    return rc;
}

}  // namespace

int CDownloader::UnzipPack(const std::string& archive) {
    m_app.ShowStatusText("正在解压资源...");
    const uint32_t started = timeGetTime();
    if (!PathFileExists(archive)) return 0;

    std::lock_guard lock(m_csUnzip);
    const std::string root = GetRunFolder(false);
    unzFile uf = unzOpen64(archive.c_str());
    unz_global_info64 gi{};
    long long count = 0;
    if (uf && unzGetGlobalInfo64(uf, &gi) == UNZ_OK) count = (long long)gi.number_entry;
    if (count < 1) {
        m_app.ShowStatusText("解压文件出错,尝试下载文件列表");
    } else {
        std::vector<char> buf(256 * 1024);
        int rc = unzGoToFirstFile(uf);
        for (long long i = 0; i < count && rc == UNZ_OK; ++i) {
            unz_file_info64 info{};
            char name[4096] = {};
            rc = unzGetCurrentFileInfo64(uf, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0);
            const std::string entry = NormalizeSeparators(name);
            if (rc == UNZ_OK) {
                if (!IsSafeRelativeName(entry)) {
                    // Nothing is ever written outside the run folder.
                    OutputDebugStringW("refused a pack entry outside the run folder: " + entry);
                    rc = UNZ_BADZIPFILE;
                } else if (entry.back() == '/') {
                    rc = EnsureFolder(root + entry) ? UNZ_OK : UNZ_ERRNO;
                } else {
                    rc = ExtractCurrent(uf, root + entry, info, buf);
                }
            }
            if (rc != UNZ_OK) {
                unzClose(uf);
                Tell(Format("文件[%s]解压失败!", name));
                return rc;
            }
            m_app.ShowStatusText("正在解压资源...");
            m_app.SetProgressPercent(int(i * 100 / count));
            if (i + 1 < count) {
                rc = unzGoToNextFile(uf);
                if (rc != UNZ_OK) {
                    unzClose(uf);
                    Tell(Format("文件[%s]解压失败!", name));
                    return rc;
                }
            }
        }
    }
    if (uf) unzClose(uf);
    TraceF("解压花费时间:%d", int(timeGetTime() - started));
    m_app.ShowStatusText("资源解压完成.");
    return 0;
}

}  // namespace fl
