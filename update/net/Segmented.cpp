// Large transfers shared between the two workers: a file in two byte ranges
// merged afterwards, or a download list split in two.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/Folders.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/HttpClient.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/net/ResumeRecord.h"
#include "update/net/Retry.h"
#include "update/net/TempFile.h"

namespace fl {

std::string RangeProgressText(long long received, long long total, int* percent) {
    int pct = 0;
    std::string text;
    // A half that starts over may count some bytes twice: the figures never pass the total.
    if (total > 0) received = std::min(received, total);
    if (total <= 0) {
        text = Format("下载更新中...   %lldB/%lldB", received, total);
    } else if (total < 1024) {
        text = Format("下载更新中...   %dB/%dB", int(received), int(total));
        pct = int(received * 100 / total);
    } else if (total < 1048576) {
        long long r = received >> 10, t = total >> 10;
        text = Format("下载更新中...   %dKB/%dKB", int(r), int(t));
        pct = int(r * 100 / t);
    } else {
        double r = double(received) / 1048576.0, t = double(total) / 1048576.0;
        text = Format("下载更新中...   %.2fM/%.2fM", r, t);
        pct = int(r * 100.0 / t);
    }
    if (percent) *percent = pct;
    return text;
}

void ShowRangeProgress(CDownloader& e) {
    int percent = 0;
    const std::string text = RangeProgressText(e.m_nReceived, e.m_nTotalSize, &percent);
    e.Host().ShowStatusText(text);
    e.Host().SetProgressPercent(percent);
}

std::string CDownloader::MakeSegmentTempName(const DownloadWorkItem& item) const {
    // Segments are named after the full pack, a value that passed the name gate.
    if (m_strRequest.empty() || !IsSafeRelativeName(m_strFullPack + "_0.temp")) return {};
    return GetRunFolder(m_nTaskKind == TASK_LAUNCHER_EXE) + NormalizeSeparators(m_strFullPack) + "_" +
           std::to_string(item.worker) + ".temp";
}

void CDownloader::DownloadSegmented(int kind, long long count) {
    m_nSegmentState[0] = 0;
    m_nSegmentState[1] = 0;
    if (count <= 0 || m_bStopping) return;
    m_vecWorkItems.clear();
    const long long half = count / 2;
    for (int i = 0; i < 2; ++i) {
        DownloadWorkItem item;
        item.worker = i;
        item.kind = kind;
        long long start = 1 + i * half;
        if (start <= count) {
            item.start = start;
            item.end = i == 0 ? half : count;
        }
        m_vecWorkItems.push_back(item);
    }
    if (kind == 1) {
        // Counted per run, so the text never shows more files than the list holds.
        m_nFilesDone = 0;
        // In name order: the first max(1, half) entries to worker 0, the rest to worker 1.
        long long number = 1;
        int target = 0;
        for (const auto& [name, version] : m_mapDownloadList) {
            m_vecWorkItems[size_t(target)].entries.emplace_back(name, version);
            ++number;
            if (number > half && target == 0) {
                target = 1;
                number = 1;
            }
        }
    }
    m_bWorkersBusy = true;
    StartWorkers();
    WaitForAll({m_hWorkerDone[0].get(), m_hWorkerDone[1].get()});
    for (auto& t : m_vecWorkerThreads)
        if (t.joinable()) t.join();
    m_vecWorkerThreads.clear();
}

namespace {

// One attempt at a half: the bytes from `offset` (the half's start plus what it
// already holds) to the half's end, appended to its segment file.
class CRangeSink : public IHttpSink {
public:
    CRangeSink(CDownloader& e, int fd, long long halfStart, long long held, long long want, int worker,
               std::string temp, CBodyCheck* check)
        : m_e(e), m_fd(fd), m_nHalfStart(halfStart), m_nOffset(halfStart + held), m_nWant(want - held),
          m_nHalfWant(want), m_nWorker(worker), m_strTemp(std::move(temp)), m_pCheck(check) {}
    bool OnResponse(const HttpHead& head) override {
        m_nStatus = head.status;
        const long long total = m_e.m_nTotalSize;
        if (head.status == 206) {
            // Only the bytes asked for, of the file whose size was asked for.
            long long first = 0, last = 0, size = -1;
            if (!ParseContentRange(head.contentRange, first, last, size) || first != m_nOffset ||
                last != m_nOffset + m_nWant - 1 || (size >= 0 && size != total)) {
                m_strMismatch = "206 with Content-Range \"" + head.contentRange + "\"";
                return false;
            }
            m_nSkip = 0;
            m_strValidator = ValidatorOf(head);
            // Written before the first byte: a run killed mid-way knows what its half holds.
            if (m_nOffset == m_nHalfStart) SaveResume(m_strTemp, {total, m_strValidator});
            return true;
        }
        if (head.status == 200) {
            if (head.contentLength >= 0 && head.contentLength != total) {
                m_strMismatch = "200 of " + std::to_string(head.contentLength) + " bytes, expected " + std::to_string(total);
                return false;
            }
            // The whole body: the range was ignored, or the body changed since the
            // half began. The half starts over from its own start.
            if (m_nOffset != m_nHalfStart && (ftruncate(m_fd, 0) != 0 || lseek(m_fd, 0, SEEK_SET) != 0)) {
                m_bWriteFailed = true;
                return false;
            }
            m_nOffset = m_nHalfStart;
            m_nWant = m_nHalfWant;
            m_nSkip = m_nHalfStart;
            m_strValidator = ValidatorOf(head);
            m_bRestarted = true;
            if (m_pCheck) m_pCheck->Reset();
            SaveResume(m_strTemp, {total, m_strValidator});
            return true;
        }
        return false;  // that half stays as it is
    }
    bool OnData(const char* data, size_t size) override {
        if (m_nSkip > 0) {
            size_t skip = size_t(std::min<long long>(m_nSkip, static_cast<long long>(size)));
            m_nSkip -= static_cast<long long>(skip);
            data += skip;
            size -= skip;
        }
        size_t take = size_t(std::min<long long>(m_nWant - m_nGot, static_cast<long long>(size)));
        if (take > 0) {
            if (!WriteAll(m_fd, data, take)) {
                m_nError = errno;
                m_bWriteFailed = true;
                return false;
            }
            if (m_pCheck) m_pCheck->Update(data, take);  // the first half is hashed as it arrives
            m_nGot += static_cast<long long>(take);
            m_e.m_nReceived += static_cast<long long>(take);
            m_e.m_nWorkerBytes[m_nWorker] += static_cast<long long>(take);
            ShowRangeProgress(m_e);
        }
        return m_nGot < m_nWant;  // our half is complete: stop reading
    }
    bool Complete() const { return m_nGot >= m_nWant; }

    CDownloader& m_e;
    int m_fd;
    long long m_nHalfStart, m_nOffset, m_nWant, m_nHalfWant, m_nWorker;
    long long m_nSkip = 0;
    long long m_nGot = 0;
    long m_nStatus = 0;
    bool m_bWriteFailed = false;
    int m_nError = 0;
    bool m_bRestarted = false;
    std::string m_strTemp;
    std::string m_strValidator;
    std::string m_strMismatch;  // the answer was not the range asked for
    CBodyCheck* m_pCheck;       // the first half's: the pack's hash from its first byte
};

// The rest of `in` appended to `out`, in pieces so a closing launcher is not held up.
bool CopyInPieces(int in, int out, const std::atomic<bool>& stop) {
    for (;;) {
        if (stop) return false;
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, 64 << 20, 0);
        if (n == 0) return true;
        if (n < 0) return false;
    }
}

// The same, through memory: the bytes pass the pack's hash on their way.
bool CopyHashing(int in, int out, CBodyCheck& check, const std::atomic<bool>& stop) {
    std::vector<char> buffer(4 << 20);
    for (;;) {
        if (stop) return false;
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n == 0) return true;
        if (n < 0 || !WriteAll(out, buffer.data(), size_t(n))) return false;
        check.Update(buffer.data(), size_t(n));
    }
}

}  // namespace

void CDownloader::DownloadRange(const std::string& name, DownloadWorkItem item) {
    if ((item.start == 0 && item.end == 0) || name.empty()) return;
    const int w = item.worker;
    const std::string temp = MakeSegmentTempName(item);
    if (temp.empty()) return;
    if (!EnsureFolder(ParentOf(temp))) {
        m_bSuccess = false;
        m_nSegmentState[w] = 2;
        return;
    }
    const long long halfStart = item.start - 1, want = item.end - item.start + 1;
    bool counted = false, answered = false, writeFailed = false, openFailed = false;
    int writeError = 0;
    std::string mismatch;
    auto attempt = [&](int, long& retryAfter, std::string& cause) {
        // What this half holds already of the same body, from an earlier attempt or run.
        ResumeRecord record;
        long long held = 0;
        if (!LoadResume(temp, record, held) || record.total != m_nTotalSize) held = 0;
        // More than the half: a merge cut off while it appended the other half.
        // The half's own bytes come first; the rest is cut away.
        if (held > want && truncate(temp.c_str(), want) != 0) held = 0;
        held = std::min(held, want);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (held > 0 ? O_APPEND : O_TRUNC), 0644);
        if (fd < 0) {
            openFailed = true;
            return Attempt::Final;
        }
        if (!counted) {
            counted = true;
            m_nReceived += held;  // the progress starts at what is held
            if (held > 0) {
                const std::string note = Format("resuming %s at %lld of %lld bytes", ShortName(temp).c_str(), held, want);
                OutputDebugStringW(note);
                m_host.ShowTransferNote(note);
            }
        }
        if (w == 0) {
            // The pack's hash starts with the bytes this half holds already.
            m_halfCheck = CBodyCheck(ExpectFor(name));
            if (!m_halfCheck.AddFile(temp, held)) {
                close(fd);
                openFailed = true;
                return Attempt::Final;
            }
        }
        if (held == want) {
            close(fd);
            return Attempt::Done;
        }
        auto client = m_pHttpConn->NewConnection();  // a private session
        client->SetAbortFlag(&m_bStopping);
        CRangeSink sink(*this, fd, halfStart, held, want, w, temp, w == 0 && m_halfCheck.Active() ? &m_halfCheck : nullptr);
        HttpRequest request;
        request.range = Format("%lld-%lld", halfStart + held, item.end - 1);
        if (held > 0) request.ifRange = record.validator;
        const HttpResult r = client->Get(m_pHttpConn->RequestUrl(name, m_strPreloadVer), sink, request);
        const bool closed = close(fd) == 0;
        if (sink.m_nStatus == 200 || sink.m_nStatus == 206) answered = true;
        if (sink.m_bWriteFailed || !closed) {
            writeFailed = true;
            writeError = sink.m_bWriteFailed ? sink.m_nError : errno;
            return Attempt::Final;
        }
        if (sink.Complete()) return Attempt::Done;
        if (!sink.m_strMismatch.empty()) {
            // Not the bytes asked for: the half starts over.
            mismatch = sink.m_strMismatch;
            RemoveResume(temp);
            cause = "range " + request.range + " answered with " + mismatch;
            return Attempt::Retry;
        }
        cause = DescribeFailure(r);
        retryAfter = r.head.retryAfterSeconds;
        mismatch.clear();
        if (IsConnectionFailure(r) || IsRetryableStatus(r.status) || answered) return Attempt::Retry;
        return Attempt::Final;
    };
    const bool whole = want <= 0 || RunWithRetries(ShortName(m_strRequest) + " (part " + std::to_string(w + 1) + ")", attempt);
    OutputDebugStringW(Format("[%s]下载成功,关闭文件!", ShortName(temp).c_str()));
    m_nSegmentState[w] = whole ? 1 : 2;
    if (whole || m_bStopping) return;
    m_bSuccess = false;
    if (openFailed) {
        Tell("写文件" + ShortName(temp) + "错误！\n文件正在使用中,请先关闭文件！");
    } else if (writeFailed) {
        Tell("请求服务器数据失败!");
        TellCause(WriteErrorCause(temp, writeError), "");
    } else if (!mismatch.empty()) {
        OutputDebugStringW(Format("range of %s refused: %s", ShortName(name).c_str(), mismatch.c_str()));
        Tell(Format("文件[%s]下载失败!", ShortName(m_strRequest).c_str()));
        TellCause(LastAttemptCause(), m_pHttpConn->RequestUrl(name, m_strPreloadVer));
    } else if (answered) {
        Tell(Format("文件[%s]下载失败,服务器连接中断!", ShortName(m_strRequest).c_str()));
        TellCause(LastAttemptCause(), m_pHttpConn->RequestUrl(name, m_strPreloadVer));
    } else {
        TellCause(LastAttemptCause(), m_pHttpConn->RequestUrl(name, m_strPreloadVer));
    }
}

void CDownloader::RemoveSegments() {
    for (int w = 0; w < 2; ++w) {
        DownloadWorkItem item;
        item.worker = w;
        const std::string temp = MakeSegmentTempName(item);
        if (temp.empty()) continue;
        RemoveResume(temp);
        unlink(temp.c_str());
    }
}

void CDownloader::MergeSegments() {
    // A half that arrived short is never merged as if whole: both segments stay.
    if (m_nSegmentState[0] == 2 || m_nSegmentState[1] == 2) {
        OutputDebugStringW("合并文件取消: segment incomplete");
        return;
    }
    DownloadWorkItem first, second;
    second.worker = 1;
    const std::string a = MakeSegmentTempName(first), b = MakeSegmentTempName(second);
    if (a.empty() || !IsSafeRelativeName(m_strRequest)) return;
    if (m_nSegmentState[0] != 1 || m_nSegmentState[1] != 1 || !PathFileExists(a) || !PathFileExists(b)) {
        // Nothing to merge (the run is closing, or a half was never fetched): what is held stays.
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败!", ShortName(m_strRequest).c_str()));
        return;
    }
    // Two halves make one file only when they are of the same body.
    ResumeRecord ra, rb;
    long long ha = 0, hb = 0;
    const bool hasA = LoadResume(a, ra, ha), hasB = LoadResume(b, rb, hb);
    if (hasA != hasB || ra.total != rb.total || ra.validator != rb.validator) {
        OutputDebugStringW("合并文件取消: the halves are of different bodies");
        RemoveSegments();
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败!", ShortName(m_strRequest).c_str()));
        return;
    }
    const std::string target = GetRunFolder(false) + NormalizeSeparators(m_strRequest);
    const uint32_t started = timeGetTime();
    OutputDebugStringW("开始合并文件。");
    // The first half grows into the whole pack and is renamed into place last.
    // Until then both halves and their records stay as they were fetched: a run
    // cut off while merging continues from them (the first half is cut back to
    // its own bytes), and fetches nothing again.
    // Not O_APPEND: the kernel's copy refuses a file opened for appending.
    const int out = open(a.c_str(), O_WRONLY | O_CLOEXEC);
    const int in = open(b.c_str(), O_RDONLY | O_CLOEXEC);
    // The first half was hashed as it arrived; the second is hashed as it is copied.
    const bool checking = m_halfCheck.Active();
    bool ok = out >= 0 && in >= 0 && lseek(out, 0, SEEK_END) >= 0;
    if (ok) ok = checking ? CopyHashing(in, out, m_halfCheck, m_bStopping) : CopyInPieces(in, out, m_bStopping);
    if (in >= 0) close(in);
    if (out >= 0 && close(out) != 0) ok = false;
    OutputDebugStringW(Format("合并文件花费时间：%d", int(timeGetTime() - started)));
    if (!ok) {
        if (m_bStopping) return;
        m_bSuccess = false;
        Tell(out < 0 || in < 0 ? Format("文件[%s]打开失败!", ShortName(out < 0 ? a : b).c_str())
                               : std::string("请求服务器数据失败!"));
        return;
    }
    if (checking) {
        // A pack that is not the listed one is never unpacked, nor kept.
        const std::string why = m_halfCheck.Verdict();
        if (!why.empty()) {
            OutputDebugStringW(Format("%s is not the file hash.pat lists: %s", ShortName(m_strRequest).c_str(), why.c_str()));
            RemoveSegments();
            m_bPackDamaged = true;
            return;
        }
    }
    // What the merged pack is, should the run end before it is unpacked: written
    // before the rename, so the pack is never in place without it.
    SaveResume(target, ra);
    if (std::rename(a.c_str(), target.c_str()) != 0) {
        RemoveResume(target);
        m_bSuccess = false;
        Tell(Format("文件[%s]打开失败!", ShortName(target).c_str()));
        return;
    }
    RemoveSegments();
}

}  // namespace fl
