#include "cli/CliFrontEnd.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/StatusText.h"
#include "platform/Clock.h"
#include "platform/TextCodec.h"

namespace flcli {

CCliProgress::CCliProgress() : m_bTerminal(isatty(STDOUT_FILENO)) {}

std::string CCliProgress::BarLine(int columns) const {
    const int percent = std::max(0, std::min(100, m_nPercent));
    // The bar gives way to the texts on a narrow terminal, down to 10 cells.
    std::string texts = m_strCounter;
    if (!m_strRate.empty()) texts += (texts.empty() ? "" : "  ") + m_strRate;
    const int textWidth = fl::DisplayWidth(texts);
    const int cells = std::max(10, std::min(40, columns - 1 - 8 - textWidth));
    const int filled = percent * cells / 100;
    std::string line = "[" + std::string(size_t(filled), '#') + std::string(size_t(cells - filled), ' ') + "]";
    line += fl::Format(" %3d%%  ", percent) + texts;
    // Never wider than the terminal: a wrapped line could not be redrawn in place.
    return fl::CutToWidth(line, columns - 1);
}

void CCliProgress::DrawBar() {
    int columns = m_nColumns;
    winsize size{};
    if (columns <= 0) columns = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    std::printf("\r%s\033[K", BarLine(columns).c_str());
    std::fflush(stdout);
    m_bBarShown = true;
}

void CCliProgress::PrintAbove(FILE* stream, const std::string& line) {
    const bool bar = m_bBarShown;
    if (bar) {
        std::fputs("\r\033[K", stdout);
        std::fflush(stdout);
    }
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
    m_bBarShown = false;
    if (bar) DrawBar();
}

void CCliProgress::ShowStatusText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    const std::string stem = fl::CounterStem(text);
    if (!stem.empty()) {
        if (m_bTerminal) {
            m_strCounter = text;
            DrawBar();
            return;
        }
        const long long now = fl::SteadyMs();
        const bool news = stem != m_strCounterStem || fl::CounterComplete(text) || now - m_nCounterPrintedMs >= 5000;
        if (!news || text == m_strCounter) return;
        m_strCounterStem = stem;
        m_strCounter = text;
        m_nCounterPrintedMs = now;
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        return;
    }
    // A text said again (one per unpacked entry) is said once.
    if (text == m_strLast) return;
    m_strLast = text;
    m_strCounter.clear();  // a new stage: the old count is over
    m_strCounterStem.clear();
    if (m_bTerminal) {
        PrintAbove(stdout, text);
        return;
    }
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void CCliProgress::SetProgressPercent(int percent) {
    std::lock_guard lock(m_mutex);
    if (!m_bTerminal || percent == m_nPercent) return;
    m_nPercent = percent;
    DrawBar();
}

void CCliProgress::ShowRateLine(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_strRate = text;
    if (m_bTerminal) {
        if (m_bBarShown || m_nPercent >= 0 || !text.empty()) DrawBar();
        return;
    }
    const long long now = fl::SteadyMs();
    if (text.empty() || now - m_nRatePrintedMs < 5000) return;
    m_nRatePrintedMs = now;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void CCliProgress::ShowTransferNote(const std::string& text) { Say(stderr, "flauncher-cli: " + text); }

void CCliProgress::Say(FILE* stream, const std::string& line) {
    std::lock_guard lock(m_mutex);
    if (m_bTerminal) {
        PrintAbove(stream, line);
        return;
    }
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

void CCliProgress::Finish() {
    SetProgressPercent(100);
    std::lock_guard lock(m_mutex);
    if (m_bBarShown) std::fputs("\n", stdout);  // the finished bar stays on screen
    std::fflush(stdout);
    m_bBarShown = false;
}

fl::BoxResult CCliBoxes::Show(const std::string& text, const std::string&, fl::BoxIcon, bool yesNo) {
    std::string line = text;
    for (auto& c : line)
        if (c == '\n') c = ' ';
    m_progress.Say(stderr, line);
    return yesNo ? fl::BoxResult::No : fl::BoxResult::Ok;
}

}  // namespace flcli
