#pragma once
// The skinned progress bar: background 254, left cap 252, and the fill taken
// from the right end of 253; the position as "%d%%" in red on top.
#include <cairo.h>

#include <functional>

namespace fl {

class CMyProGress {
public:
    void SetPercent(int n);
    // Both bounds are kept as 16-bit signed values, as the bar always has.
    void SetRange(int lower, int upper);
    int GetPos() const { return m_nPos; }
    int GetUpper() const { return m_nUpper; }
    int GetLower() const { return m_nLower; }
    // Width of the fill: position × 261 / upper + 11; -1 (no fill) when upper is 0.
    int FillWidth() const;
    void Paint(cairo_t* cr, int width, int height) const;

    std::function<void()> m_fnRedraw;  // asks the owner to repaint now

private:
    int m_nPos = 0;
    int m_nLower = 0;
    int m_nUpper = 100;
};

}  // namespace fl
