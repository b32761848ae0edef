#pragma once
// The main window's record of the last login answer (m_GameParams). Written by
// the login fetch on the UI thread, copied by the update thread; guarded.
#include <mutex>
#include <string>

namespace fl {

class CGameParams {
public:
    void Clear() {
        std::lock_guard lock(m_cs);
        m_strText.clear();
        m_nNumber = 0;
    }
    void Append(const std::string& piece) {
        std::lock_guard lock(m_cs);
        m_strText += piece;
        m_nNumber = -1;
    }
    void Assign(const std::string& text) {
        std::lock_guard lock(m_cs);
        m_strText = text;
        m_nNumber = -1;
    }
    std::string Copy() const {
        std::lock_guard lock(m_cs);
        return m_strText;
    }
    int Number() const {
        std::lock_guard lock(m_cs);
        return m_nNumber;
    }

private:
    mutable std::mutex m_cs;
    std::string m_strText;
    int m_nNumber = 0;
};

}  // namespace fl
