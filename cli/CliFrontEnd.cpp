#include "cli/CliFrontEnd.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/Clock.h"

namespace flcli {

CCliProgress::CCliProgress() : m_bTerminal(isatty(STDOUT_FILENO)) {}

void CCliProgress::EndBar() {
    if (m_bBarShown) std::fputs("\r\033[K", stdout);
    m_bBarShown = false;
}

void CCliProgress::ShowStatusText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    // The byte counter of a range download changes with every block: one line
    // per distinct text is enough.
    if (text == m_strLast) return;
    m_strLast = text;
    EndBar();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void CCliProgress::SetProgressPercent(int percent) {
    std::lock_guard lock(m_mutex);
    if (!m_bTerminal || percent == m_nPercent) return;
    m_nPercent = percent;
    DrawBar();
}

void CCliProgress::DrawBar() {
    const int width = 40, percent = std::max(0, m_nPercent);
    int filled = std::max(0, std::min(width, percent * width / 100));
    std::printf("\r[%.*s%*s] %3d%%  %s\033[K", filled, "########################################", width - filled, "",
                percent, m_strRate.c_str());
    std::fflush(stdout);
    m_bBarShown = true;
}

void CCliProgress::ShowRateLine(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_strRate = text;
    if (m_bTerminal) {
        if (m_nPercent >= 0 || !text.empty()) DrawBar();
        return;
    }
    const long long now = fl::SteadyMs();
    if (text.empty() || now - m_nRatePrintedMs < 5000) return;
    m_nRatePrintedMs = now;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void CCliProgress::ShowTransferNote(const std::string& text) {
    std::lock_guard lock(m_mutex);
    EndBar();
    std::fprintf(stderr, "flauncher-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

void CCliProgress::Finish() {
    SetProgressPercent(100);
    std::lock_guard lock(m_mutex);
    EndBar();
}

fl::BoxResult CCliBoxes::Show(const std::string& text, const std::string&, fl::BoxIcon, bool yesNo) {
    std::string line = text;
    for (auto& c : line)
        if (c == '\n') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return yesNo ? fl::BoxResult::No : fl::BoxResult::Ok;
}

}  // namespace flcli
