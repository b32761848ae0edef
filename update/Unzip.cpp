// Unpacking a pack into the run folder (libzip: zip64 and archives of any size).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <unordered_set>
#include <vector>

#include "platform/Folders.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"
#include "update/integrity/BodyCheck.h"
#include "update/RunRecords.h"

namespace fl {

namespace {

// The pack's own file list takes effect only once every entry is in place.
constexpr const char* kDeferredList = "version.pat";

// Unix permission bits of an entry: no set-id or sticky bits, no group or other write.
mode_t EntryMode(zip_t* za, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &system, &attributes) == 0 && system == ZIP_OPSYS_UNIX) {
        const mode_t mode = (attributes >> 16) & 0755;
        if (mode & 0700) return mode;
    }
    return 0644;
}

// Writes entry `index` to `temp` and, unless `keep` is set, renames it to `path`:
// a failed entry never leaves half a file in place of a good one. The CRC is
// checked by the library when the entry has been read to its end; with
// `check`, the entry's bytes must also be the file the hash list names, or
// nothing is put in place and `why` says so.
bool ExtractEntry(zip_t* za, zip_uint64_t index, const std::string& path, const std::string& temp,
                  std::vector<char>& buf, const std::atomic<bool>& stop, CBodyCheck* check = nullptr,
                  std::string* why = nullptr) {
    if (!EnsureFolder(ParentOf(path))) return false;
    zip_file_t* zf = zip_fopen_index(za, index, 0);
    if (!zf) return false;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    while (ok) {
        const zip_int64_t n = zip_fread(zf, buf.data(), buf.size());
        if (n == 0) break;
        ok = n > 0 && !stop && WriteAll(fd, buf.data(), size_t(n));
        if (ok && check) check->Update(buf.data(), size_t(n));
    }
    zip_fclose(zf);
    if (fd >= 0) {
        ok = ok && fchmod(fd, EntryMode(za, index)) == 0;
        ok = close(fd) == 0 && ok;
    }
    if (ok && check && why) {
        *why = check->Verdict();
        if (!why->empty()) ok = false;
    }
    ok = ok && (temp == path || std::rename(temp.c_str(), path.c_str()) == 0);
    if (!ok && fd >= 0) unlink(temp.c_str());
    return ok;
}

// An empty or unreadable file is no archive; libzip would take an empty file for a new one.
// (Its stricter consistency check is not used: it refuses Info-ZIP's zip64 archives.
// Every entry's data is still checked against its CRC.)
zip_t* OpenArchive(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return nullptr;
    int err = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!za) TraceF("archive %s not opened: libzip error %d", path.c_str(), err);
    return za;
}

}  // namespace

int CDownloader::UnzipPack(const std::string& archive) {
    m_host.ShowStatusText("正在解压资源...");
    const uint32_t started = timeGetTime();
    if (!PathFileExists(archive)) return UNZIP_NO_ARCHIVE;

    std::lock_guard lock(m_csUnzip);
    const std::string root = GetRunFolder(false);
    zip_t* za = OpenArchive(archive);
    const zip_int64_t count = za ? zip_get_num_entries(za, 0) : -1;
    if (count < 1) {
        m_host.ShowStatusText("解压文件出错,尝试下载文件列表");
        if (za) zip_discard(za);
        // A valid archive without entries has nothing to unpack; anything else is a failure.
        return count == 0 ? UNZIP_OK : UNZIP_BAD_ARCHIVE;
    }
    // What the entries take once unpacked must fit before the first is written.
    long long unpacked = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(za, zip_uint64_t(i), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) unpacked += (long long)st.size;
    }
    if (!EnsureSpace(unpacked)) {
        zip_discard(za);
        return UNZIP_NO_SPACE;
    }
    std::vector<char> buf(256 * 1024);
    EnsureFolder(RecordsFolder(root));
    const std::string deferred = RecordPath(root, std::string(kDeferredList) + ".pack");
    bool haveList = false;
    std::unordered_set<std::string> written;     // files this unpack replaced
    std::unordered_set<std::string> mismatched;  // entries that are not the listed files (left out)
    int rc = UNZIP_OK;
    for (zip_int64_t i = 0; i < count && rc == UNZIP_OK; ++i) {
        const char* raw = zip_get_name(za, zip_uint64_t(i), 0);
        const std::string name = raw ? raw : "";
        const std::string entry = NormalizeSeparators(name);
        if (m_bStopping) {
            rc = UNZIP_STOPPED;
        } else if (!IsSafeRelativeName(entry, true)) {
            // Nothing is ever written outside the run folder.
            OutputDebugStringW("refused a pack entry outside the run folder: " + ShortName(entry));
            rc = UNZIP_ENTRY_FAILED;
        } else if (entry.back() == '/') {
            rc = EnsureFolder(root + entry) ? UNZIP_OK : UNZIP_ENTRY_FAILED;
        } else if (entry == kDeferredList) {
            haveList = ExtractEntry(za, zip_uint64_t(i), deferred, deferred, buf, m_bStopping);
            rc = haveList ? UNZIP_OK : UNZIP_ENTRY_FAILED;
        } else {
            const std::string path = root + entry;
            // With a hash list, an entry it names is put in place only as the listed file.
            const Expectation expect = ExpectFor(entry);
            CBodyCheck check(expect);
            std::string why;
            const bool checked = expect.check && expect.listed;
            rc = ExtractEntry(za, zip_uint64_t(i), path, path + ".unzip", buf, m_bStopping, checked ? &check : nullptr,
                              &why)
                     ? UNZIP_OK
                     : UNZIP_ENTRY_FAILED;
            if (rc == UNZIP_OK) {
                written.insert(entry);
            } else if (!why.empty()) {
                // The pack disagrees with the list: the file comes on its own instead.
                OutputDebugStringW("pack entry " + ShortName(entry) + " is not the file hash.pat lists (" + why +
                                   "): fetched on its own");
                mismatched.insert(entry);
                rc = UNZIP_OK;
            }
        }
        if (rc != UNZIP_OK) {
            if (rc != UNZIP_STOPPED) Tell(Format("文件[%s]解压失败!", ShortName(name).c_str()));
            break;
        }
        m_host.ShowStatusText("正在解压资源...");
        m_host.SetProgressPercent(int(i * 100 / count));
    }
    zip_discard(za);
    // Files the pack replaced are no longer what a journal of fetched files says.
    if (!written.empty() || haveList) unlink(RecordPath(root, std::string(kDeferredList) + ".journal").c_str());
    // The pack's list must not claim the entries left out, or nothing would fetch them.
    if (rc == UNZIP_OK && haveList && !ForgetListedNames(deferred, mismatched)) rc = UNZIP_ENTRY_FAILED;
    if (rc == UNZIP_OK && haveList && std::rename(deferred.c_str(), (root + kDeferredList).c_str()) != 0)
        rc = UNZIP_ENTRY_FAILED;
    if (rc != UNZIP_OK) {
        // The previous list (or none) stays, so the per-file stage fetches what
        // is missing; it forgets the files this pack replaced, whose versions
        // are now the pack's, not the ones it names.
        unlink(deferred.c_str());
        written.insert(mismatched.begin(), mismatched.end());
        if (!ForgetListedNames(root + kDeferredList, written))
            OutputDebugStringW("the file list could not forget the replaced files");
        return rc;
    }
    TraceF("解压花费时间:%d", int(timeGetTime() - started));
    m_host.ShowStatusText("资源解压完成.");
    return UNZIP_OK;
}

}  // namespace fl
