#include "controls/MyProGress.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "controls/SkinImages.h"
#include "controls/TextDraw.h"

namespace fl {

void CMyProGress::SetPercent(int n) {
    m_nPos = n;
    if (m_fnRedraw) m_fnRedraw();
}

void CMyProGress::SetRange(int lower, int upper) {
    m_nLower = int16_t(lower);
    m_nUpper = int16_t(upper);
}

int CMyProGress::FillWidth() const {
    if (m_nUpper == 0) return -1;  // no division by zero: no fill at all
    return int(int64_t(m_nPos) * 261 / m_nUpper + 11);
}

void CMyProGress::Paint(cairo_t* cr, int width, int height) const {
    cairo_save(cr);
    if (cairo_surface_t* bg = SkinSurface(254)) {
        const int bw = cairo_image_surface_get_width(bg), bh = cairo_image_surface_get_height(bg);
        cairo_save(cr);
        cairo_scale(cr, double(width) / bw, double(height) / bh);
        cairo_set_source_surface(cr, bg, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    if (cairo_surface_t* cap = SkinSurface(252)) {
        cairo_set_source_surface(cr, cap, 3, 3);
        cairo_rectangle(cr, 3, 3, 11, 22);
        cairo_fill(cr);
    }
    cairo_surface_t* fill = SkinSurface(253);
    const int w = std::min(FillWidth(), fill ? cairo_image_surface_get_width(fill) : 0);
    if (fill && w > 0) {
        const int fw = cairo_image_surface_get_width(fill);
        // The strip comes from the bitmap's right end.
        cairo_set_source_surface(cr, fill, 14 - (fw - w), 3);
        cairo_rectangle(cr, 14, 3, w, 22);
        cairo_fill(cr);
    }
    DrawTextCentered(cr, std::to_string(m_nPos) + "%", kDefaultFont, 0, 0, width, height, {1, 0, 0, 1});
    cairo_restore(cr);
}

}  // namespace fl
