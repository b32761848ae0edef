#include "platform/MessageBox.h"

#include <unistd.h>

#include <atomic>

namespace fl {

namespace {

class CStderrBoxes : public IMessageBoxHost {
public:
    BoxResult Show(const std::string& text, const std::string& caption, BoxIcon, bool yesNo) override {
        std::string line = (caption.empty() ? std::string() : caption + ": ") + text + "\n";
        ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
        (void)ignored;
        return yesNo ? BoxResult::No : BoxResult::Ok;
    }
};

CStderrBoxes g_stderrBoxes;
std::atomic<IMessageBoxHost*> g_host{nullptr};

}  // namespace

void SetMessageBoxHost(IMessageBoxHost* host) { g_host.store(host); }

IMessageBoxHost* GetMessageBoxHost() {
    IMessageBoxHost* h = g_host.load();
    return h ? h : &g_stderrBoxes;
}

BoxResult ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon, bool yesNo) {
    return GetMessageBoxHost()->Show(text, caption, icon, yesNo);
}

}  // namespace fl
