#pragma once
// The status line: strip 258 with one line of near-white text centred on it.
#include <cairo.h>

#include <functional>
#include <mutex>
#include <string>

namespace fl {

class Mystatic {
public:
    // Every set repaints, also when the text is the same.
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    void Paint(cairo_t* cr, int width, int height) const;

    std::function<void()> m_fnRedraw;

private:
    mutable std::mutex m_mutex;
    std::string m_strText;
};

}  // namespace fl
