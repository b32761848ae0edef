#include "cli/CliFrontEnd.h"

#include <unistd.h>

#include <cstdio>

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
    const int width = 40;
    int filled = std::max(0, std::min(width, percent * width / 100));
    std::printf("\r[%.*s%*s] %3d%%", filled, "########################################", width - filled, "", percent);
    std::fflush(stdout);
    m_bBarShown = true;
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
