// The two download workers of a segmented or list run.
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/Trace.h"
#include "update/Downloader.h"

namespace fl {

void CDownloader::StartWorkers() {
    m_vecWorkerThreads.clear();
    // The events live as long as the engine (a shutdown may set them at any
    // moment); each run starts them unsignalled.
    m_hWorkerDone[0]->Reset();
    m_hWorkerDone[1]->Reset();
    for (int w = 0; w < 2; ++w) m_vecWorkerThreads.emplace_back([this, w] { DownloadWorkerProc(w); });
}

void CDownloader::DownloadWorkerProc(int w) {
    DownloadWorkItem item;
    if (size_t(w) < m_vecWorkItems.size()) item = m_vecWorkItems[size_t(w)];
    item.worker = w;
    TraceF("第%d个线程开始下载,线程id:%d\n", w + 1, int(syscall(SYS_gettid)));
    const uint32_t started = timeGetTime();
    item.running = 1;
    try {
        RunWorkItem(item);
    } catch (...) {
        // Nothing may leave the caller waiting: a failure still signals done.
        m_bSuccess = false;
        m_hWorkerDone[w]->Set();
    }
    TraceF(w == 0 ? "第%d个线程下载完成花费%d毫秒,下载数据大小:%d\n" : "第%d个线程下载完成花费%d毫秒,下载大小:%d\n", w + 1,
           int(timeGetTime() - started), int(m_nWorkerBytes[w].load()));
}

void CDownloader::RunWorkItem(DownloadWorkItem& item) {
    switch (item.kind) {
        case 1:
            DownloadFileList(item);  // signals done itself
            break;
        case 2:
            DownloadRange(m_strRequest, item);
            item.start = 0;
            item.end = 0;
            m_hWorkerDone[item.worker]->Set();
            break;
        default:
            m_hWorkerDone[item.worker]->Set();
            break;
    }
}

}  // namespace fl
