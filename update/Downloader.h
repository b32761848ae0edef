#pragma once
// The update engine: one object holding the whole state of an update run.
// The task runs on the calling (update) thread; bodies are moved by the
// request thread and by two download workers per segmented or list run.
#include <atomic>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <functional>

#include "platform/Event.h"
#include "platform/TextCodec.h"
#include "update/FileJournal.h"
#include "update/integrity/BodyCheck.h"
#include "update/integrity/HashList.h"
#include "update/net/HttpConn.h"
#include "update/UpdateHost.h"
#include "update/progress/TransferGauge.h"

namespace fl {

class CHttpClient;

enum TaskKind : int {
    TASK_IDLE = 0,
    TASK_PACK_LIST = 1,
    TASK_FILE_LIST = 2,
    TASK_FULL_PACK = 3,
    TASK_NEW_PACK = 4,
    TASK_SAVE_VERSION = 5,
    TASK_FILES = 6,
    TASK_LAUNCHER_VERSION = 7,
    TASK_LOCAL_LIST = 8,
    TASK_LAUNCHER_EXE = 9,
    TASK_HASH_LIST = 10,
    TASK_CHUNK_INDEX = 11,
};

// One worker's share of a segmented run.
struct DownloadWorkItem {
    int reserved = 0;
    long long start = 0;  // first byte, counted from 1
    long long end = 0;    // last byte, inclusive; (0, 0) = nothing to do
    int worker = 0;
    int kind = 0;         // 1 = file list, 2 = byte range
    int running = 0;
    std::vector<std::pair<std::string, std::string>> entries;  // kind 1: name and version
    std::string text;
};

inline constexpr const char* kLauncherVersion = FL_LAUNCHER_VERSION;  // the project's version (CMakeLists.txt)

// Results of UnzipPack: 0 when every entry is in place.
enum UnzipResult : int {
    UNZIP_OK = 0,
    UNZIP_NO_ARCHIVE = -101,    // there is no archive to unpack
    UNZIP_BAD_ARCHIVE = -102,   // not an archive, or its directory cannot be read
    UNZIP_ENTRY_FAILED = -103,  // an entry could not be extracted (or may not be)
    UNZIP_STOPPED = -104,       // the application is closing
    UNZIP_NO_SPACE = -105,      // the entries would not fit on the disk (nothing was written)
};

class CDownloader {
public:
    // The host is told what the engine does; the settings are read, never changed.
    CDownloader(IUpdateHost& host, UpdateSettings settings);
    ~CDownloader();
    CDownloader(const CDownloader&) = delete;
    CDownloader& operator=(const CDownloader&) = delete;

    // --- orchestration -------------------------------------------------------
    bool Initialize(const std::string& pageValueText);
    void StartDownLoadTask();
    void OnDownloadComplete();

    // --- launcher self-update ------------------------------------------------
    bool CheckLauncherVersion();
    bool CompareLauncherVersion();

    // --- packs -----------------------------------------------------------------
    bool UpdatePack();
    // A fresh run folder on the chunked path: the installer's pack that hash.pat
    // lists is unpacked first, so the chunks come from it rather than the store.
    void SeedFromInstallersPack();
    // The installer's "<pack>.dydr" copied in, checked against hash.pat, recorded
    // and unpacked. False when it is not the listed pack (nothing unpacked).
    bool UnpackInstallersPack(const std::string& pack);
    int GetPackState();
    int CompareInstallVersion();
    bool DownloadFullPack();
    bool DownloadNewPack(const std::string& version);
    int UnzipPack(const std::string& archivePath);
    // Bytes the full pack's halves hold from an earlier attempt or run.
    long long SegmentBytesHeld() const;

    // --- per-file update -------------------------------------------------------
    bool DownloadVersionList();
    void UpdateFiles();
    bool LoadLocalVersionList();
    bool LoadLocalVersionList(const std::string& path);
    void BuildDownloadList();
    // The rate line of the per-file stage of `total` bytes (-1 unknown: no time left).
    void BeginFileStage(long long total);
    // The bytes of those files by the hash list; -1 without one.
    long long ListedBytes(const std::map<std::string, std::string>& files) const;

    // --- version files -----------------------------------------------------------
    void OnReceiveText(const char* data, size_t size);
    void ParseVersionLine(std::string_view line);
    void StoreVersionValue(std::string_view key, std::string_view value);
    std::string GetRunFolder(bool dataOnly) const;
    void ResetListCounts();

    // --- transfers ---------------------------------------------------------------
    bool FetchToFile(const std::string& name);
    bool FetchToMemory(const std::string& name);
    // A memory fetch whose body arrived whole (a list cut short is never used).
    bool FetchListWhole(const std::string& name);
    void HandleRequest();
    void AbortRequests();
    long long PrepareBody(long long contentLength);
    std::string MakeTempName(const std::string& name) const;
    // Returns false when the worker should give up the rest of its share.
    bool DownloadListFile(const std::string& name, const std::string& version, int worker);
    void DownloadSegmented(int kind, long long count);
    void DownloadRange(const std::string& name, DownloadWorkItem item);
    void DownloadFileList(DownloadWorkItem item);
    void MergeSegments();
    // The full pack's halves and their records, gone.
    void RemoveSegments();
    std::string MakeSegmentTempName(const DownloadWorkItem& item) const;
    long long QueryRemoteSize(const std::string& name);
    void StartWorkers();
    void RunWorkItem(DownloadWorkItem& item);
    CHttpClient& GetWorkerConnection(size_t index);
    std::string GetObjectBase() const { return m_pHttpConn ? m_pHttpConn->GetObjectBase() : std::string(); }

    // --- integrity ----------------------------------------------------------------
    // The hash list and, with pinned keys, its signature: false (told) when the
    // update must stop. Without keys a server without the list passes.
    bool FetchHashList();
    // What a body of that name must be (nothing to check without a list).
    Expectation ExpectFor(const std::string& name) const;
    // A file of the run folder against the list: empty when it is the listed one.
    std::string CheckLocalFile(const std::string& path, const std::string& name) const;
    // Checks the run folder against the lists (fetched first); with `repair`
    // fetches what is missing or differs. Prints through `report`; true when whole.
    bool VerifyRunFolder(bool repair, const std::function<void(const std::string&)>& report);
    // Why the run folder is not whole for the server's file list (every listed
    // file there, at its signed size), `file` the one that is not; empty when it is.
    std::string FolderNotWhole(std::string& file);
    // Each file's mode as the release's chunk index gives it (empty without one).
    std::map<std::string, unsigned> ReleaseModes();

    // --- files a release removed -------------------------------------------------
    // At a run's start: the names the saved version.pat lists and the signed
    // list the folder was last whole for, before this run replaces either.
    void CaptureInstalledState();
    // The copies CaptureInstalledState made, gone at the run's end.
    void ForgetInstalledState();
    // The previous release's files the lists in force no longer name: reported,
    // and with `apply` those still as the launcher put them removed. The number
    // of such files of ours; -1 when no signed list proves anything.
    int RemoveWhatTheReleaseRemoved(bool apply, const std::function<void(const std::string&)>& report);
    // After a whole run: the list in force becomes the one the folder is whole for.
    void KeepInstalledList();
    // The list in force is the one the folder was last whole for, and no file
    // of it changed since (by size and time): nothing to fetch.
    bool FolderWholeForListInForce();
    // The signed list the folder was last whole for, while its files are still as that run left them.
    bool ListWholeBefore(CHashList& list);
    bool Stopping() const { return m_bStopping; }  // the application is closing

    // --- chunked releases ----------------------------------------------------------
    // The release's chunk index, when the signed list names one: the run folder
    // is brought to it, fetching only the chunks it lacks. False when the
    // server publishes none or the chunked update failed (the other paths then run).
    bool UpdateFromChunks();

    // --- disk space ---------------------------------------------------------------
    // True when `bytes` (and 5 % more) fit on the run folder's file system; else
    // says so with both figures and the step fails before writing anything.
    bool EnsureSpace(long long bytes);
    // Says that `bytes` (and 5 % more) do not fit, with both figures; the run fails.
    void TellNoSpace(long long bytes);

    // --- passing faults and other addresses ---------------------------------------
    enum class Attempt { Done, Retry, Final };
    using AttemptFn = std::function<Attempt(int attempt, long& retryAfterSeconds, std::string& cause)>;
    // Tries a transfer up to four times on an address, waiting between tries, and
    // moves the rest of the run to the next address when one is used up. True
    // when an attempt succeeded; false when one failed for good, all were used up,
    // or the application is closing.
    bool RunWithRetries(const std::string& what, const AttemptFn& attempt);
    // Moves from address `from` to the next one (once, whoever asks first).
    bool SwitchMirror(int from);
    // A list fetch tried again parses from its start.
    void RestartListFetch();

    // Stops every transfer and wait at once (the application is closing).
    void Shutdown();
    IUpdateHost& Host() { return m_host; }
    // Shows a message box unless the run was aborted (the application is closing).
    void Tell(const std::string& text);
    // The cause of a failure just told, in plain words, with the address: a
    // line of its own in the trace and in the runner's standard error.
    void TellCause(const std::string& cause, const std::string& address);

    // --- state (names as the engine has always used them) --------------------
    std::vector<std::unique_ptr<CHttpClient>> m_vecWorkerConnections;
    std::unique_ptr<HttpConn> m_pHttpConn;
    std::atomic<int> m_nFilesDone{0};
    std::atomic<long long> m_nTotalSize{0};
    std::atomic<long long> m_nReceived{0};
    std::string m_strRequest;     // the name of the current request, as listed
    std::string m_strRequestVer;  // its "?v=" value
    std::atomic<bool> m_bLastFetchOk{false};  // the last request-thread body arrived whole (and in place)
    bool m_bOptionalFetch = false;             // a 404 is an answer (the file is not published), not a failure
    std::atomic<bool> m_bLastFetchMissing{false};
    // A memory fetch asks for a body other than the one with this ETag; answered
    // 304, it brings nothing and says so. Cleared by each fetch.
    std::string m_strIfNoneMatch;
    std::atomic<bool> m_bLastFetchNotModified{false};
    std::string m_strLastEtag;  // the ETag of the last memory body fetched whole
    // The hash list in force (none: bodies are taken as HTTP delivers them).
    bool m_bHashList = false;
    CHashList m_hashList;
    std::string m_strListInForceSha;  // the SHA-256 of its bytes
    std::string m_strOlderOffered;  // the release of an older list the server offered instead (the kept one is in force)
    bool m_bWholeAtStart = false;   // the folder was whole for the list in force when the run began
    // The saved version.pat and the signed list the folder was whole for, as
    // they were at the run's start (records, read only when files are removed).
    std::string m_strListedBeforePath, m_strSignedBeforePath;
    CBodyCheck m_listCheck;        // the memory body now arriving
    std::string m_strRawBody;      // a memory body kept as bytes (the hash list and its signature)
    std::string m_strLauncherListDigest;  // "luncherVersion.pat" arrives before the list that checks it
    long long m_nLauncherListSize = -1;
    CBodyCheck m_halfCheck;        // the first half of a pack as it arrives; the merge adds the second
    CTransferGauge m_gauge;        // every transfer's bytes: speed, time left, the cap
    bool m_bPackDamaged = false;   // the merged pack was not the listed one (and is gone)
    CEvent m_hRequestEvent{false, false};
    CEvent m_hDoneEvent{false, false};
    std::thread m_hRequestThread;
    bool m_bSaveToFile = false;
    std::map<std::string, std::string> m_mapServerFiles;
    std::map<std::string, std::string> m_mapLocalFiles;
    std::string m_strPendingLine;
    bool m_bLineTooLong = false;  // the pending line passed the length limit: dropped up to its end
    int m_nListLines = 0;         // lines of the current list that were parsed
    int m_nListValues = 0;        // values of them that were kept
    std::atomic<bool> m_bSuccess{true};
    std::atomic<bool> m_bCompleted{false};  // OnDownloadComplete ran
    std::atomic<int> m_nTaskKind{TASK_IDLE};
    std::string m_strNewVersion, m_strLastVersion, m_strFullPack;
    bool m_bPackValueRefused = false;  // the pack list named a file that may not become a path
    bool m_bLauncherUpdated = false;
    std::string m_strServerLauncherVersion;
    std::atomic<bool> m_bAbort{false};
    bool m_bChanged = false;
    bool m_bCheckLauncher = false;
    bool m_bFullPackDone = false;
    std::atomic<bool> m_bWorkersBusy{false};
    std::string m_strResDir;
    std::string m_strPreloadVer;
    std::string m_strResUrl;
    std::string m_strSizeValidator;  // the validator the last size query saw
    std::vector<std::string> m_vecResUrls;  // the resource URL and its mirrors ("hostconfig.ini")
    std::atomic<int> m_nMirror{0};          // which of them serves now
    std::mutex m_csMirror;
    CFileJournal m_journal;                 // the per-file stage's finished files
    std::vector<std::thread> m_vecWorkerThreads;
    std::unique_ptr<CEvent> m_hWorkerDone[2];
    std::vector<DownloadWorkItem> m_vecWorkItems;
    std::map<std::string, std::string> m_mapDownloadList;
    std::mutex m_csUnzip;
    std::mutex m_csFileList;

    // Per-worker statistics for the trace lines (bytes by ranges, entries by lists).
    std::atomic<long long> m_nWorkerBytes[2] = {0, 0};
    std::atomic<int> m_nWorkerEntries[2] = {0, 0};
    // Each segment of the last range run: 0 not fetched, 1 whole, 2 incomplete.
    std::atomic<int> m_nSegmentState[2] = {0, 0};

private:
    friend class CBodySink;
    void RequestThreadProc();
    void WaitForRequest();
    void DownloadWorkerProc(int worker);

    IUpdateHost& m_host;
    const UpdateSettings m_settings;
    CUtf8Joiner m_joiner;
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bRequestThreadEnded{true};
    std::mutex m_csShutdown;
};

// The installed state captured for one run, and its copies gone when the run ends.
class CCapturedState {
public:
    explicit CCapturedState(CDownloader& engine) : m_e(engine) { m_e.CaptureInstalledState(); }
    ~CCapturedState() { m_e.ForgetInstalledState(); }
    CCapturedState(const CCapturedState&) = delete;
    CCapturedState& operator=(const CCapturedState&) = delete;

private:
    CDownloader& m_e;
};

// Why the calling thread's last attempt in RunWithRetries failed (empty when it did not say).
const std::string& LastAttemptCause();

// Progress text of a range read: "下载更新中...   " with B, KB or M by the total size.
std::string RangeProgressText(long long received, long long total, int* percent);
// Shows that text and its percentage for the engine's received and total bytes.
void ShowRangeProgress(CDownloader& engine);

}  // namespace fl
