#pragma once
// The headless runner's stand-ins for the window, the progress panel and the
// message boxes: status texts on standard output, boxes on standard error, a
// progress bar only on a terminal.
#include <atomic>
#include <cstdio>
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

// On a terminal, one line at the bottom is the bar: the percentage, the text
// that counts progress and the speed, redrawn in place; texts that say
// something new are printed above it. Piped, counting texts are thinned (a
// new count, its end, otherwise one every 5 s) and the speed is a line every 5 s.
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
    void ShowRateLine(const std::string& text) override;
    // Any other line of the runner's, above the bar when there is one.
    void Say(FILE* stream, const std::string& line);

    // Columns of the terminal (tests set it; 0 asks the terminal).
    int m_nColumns = 0;

private:
    // Above the bar: the bar's line is cleared, the text printed, the bar drawn again.
    void PrintAbove(FILE* stream, const std::string& line);
    void DrawBar();
    std::string BarLine(int columns) const;
    std::mutex m_mutex;
    bool m_bTerminal;
    bool m_bBarShown = false;
    int m_nPercent = -1;
    std::string m_strLast;     // the last text that said something new
    std::string m_strCounter;  // the counting text the bar shows
    std::string m_strCounterStem;
    std::string m_strRate;
    long long m_nRatePrintedMs = 0;
    long long m_nCounterPrintedMs = 0;
};

class CCliBoxes : public fl::IMessageBoxHost {
public:
    explicit CCliBoxes(CCliProgress& progress) : m_progress(progress) {}
    fl::BoxResult Show(const std::string& text, const std::string&, fl::BoxIcon, bool yesNo) override;

private:
    CCliProgress& m_progress;
};

}  // namespace flcli
