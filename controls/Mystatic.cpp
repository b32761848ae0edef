#include "controls/Mystatic.h"

#include "controls/SkinImages.h"
#include "controls/TextDraw.h"

namespace fl {

void Mystatic::SetWindowText(const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        m_strText = text;
    }
    if (m_fnRedraw) m_fnRedraw();
}

std::string Mystatic::GetWindowText() const {
    std::lock_guard lock(m_mutex);
    return m_strText;
}

void Mystatic::Paint(cairo_t* cr, int width, int height) const {
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    if (cairo_surface_t* strip = SkinSurface(258)) {
        cairo_set_source_surface(cr, strip, 0, 0);
        cairo_paint(cr);
    }
    DrawTextCentered(cr, GetWindowText(), kDefaultFont, 0, 0, width, height, Rgba::FromRgb(255, 254, 255));
    cairo_restore(cr);
}

}  // namespace fl
