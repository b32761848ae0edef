#pragma once
// The headless runner's stand-ins for the window, the progress panel and the
// message boxes: status texts on standard output, boxes on standard error, a
// progress bar only on a terminal.
#include <atomic>
#include <mutex>
#include <string>

#include "app/MainWindow.h"
#include "app/ProgressHost.h"
#include "platform/Event.h"
#include "platform/MessageBox.h"

namespace flcli {

class CCliWindow : public fl::IMainWindow {
public:
    void PostLauncherMessage(int code, long) override { m_nLastCode = code; }
    void PostClose() override {
        m_bCloseRequested = true;
        m_hWake.Set();
    }
    fl::CGameParams& GameParams() override { return m_params; }
    void Destroy() override {}

    std::atomic<bool> m_bCloseRequested{false};
    std::atomic<int> m_nLastCode{0};
    fl::CEvent m_hWake{true, false};  // close requested or task ended

private:
    fl::CGameParams m_params;
};

class CCliProgress : public fl::IProgressHost {
public:
    CCliProgress();
    void ShowStatusText(const std::string& text) override;
    void SetProgressPercent(int percent) override;
    void SetProgressRange(int, int) override {}
    void Finish() override;
    void Abort() override {}
    // Retries, resumed transfers and address changes: a line on standard error.
    void ShowTransferNote(const std::string& text) override;
    // On a terminal beside the bar; otherwise a line at most every 5 s.
    void ShowRateLine(const std::string& text) override;

private:
    void EndBar();
    void DrawBar();
    std::mutex m_mutex;
    bool m_bTerminal;
    bool m_bBarShown = false;
    int m_nPercent = -1;
    std::string m_strLast;
    std::string m_strRate;
    long long m_nRatePrintedMs = 0;
};

class CCliBoxes : public fl::IMessageBoxHost {
public:
    fl::BoxResult Show(const std::string& text, const std::string&, fl::BoxIcon, bool yesNo) override;
};

}  // namespace flcli
