#pragma once
#include <atomic>
#include <mutex>
#include <vector>

#include "app/MainWindow.h"

namespace fltest {

// Stands in for the main window: records what is posted to it.
class FakeMainWindow : public fl::IMainWindow {
public:
    void PostLauncherMessage(int code, long wParam) override {
        std::lock_guard lock(m_mutex);
        m_posts.push_back({code, wParam});
    }
    void PostClose() override { ++m_nCloses; }
    fl::CGameParams& GameParams() override { return m_params; }
    void Destroy() override { m_bDestroyed = true; }

    std::vector<std::pair<int, long>> Posts() {
        std::lock_guard lock(m_mutex);
        return m_posts;
    }

    std::atomic<int> m_nCloses{0};
    std::atomic<bool> m_bDestroyed{false};

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, long>> m_posts;
    fl::CGameParams m_params;
};

}  // namespace fltest
