#include "controls/MultiButtonBitmap.h"

#include <algorithm>

#include "controls/SkinImages.h"
#include "controls/TextDraw.h"

namespace fl {

void CMultiButtonBitmap::SetBitmaps(int normal, int hover, int pressed, int disabled) {
    m_nBitmaps[Normal] = normal;
    m_nBitmaps[Hover] = hover;
    m_nBitmaps[Pressed] = pressed;
    m_nBitmaps[Disabled] = disabled;
}

void CMultiButtonBitmap::UpdateRect() {
    cairo_surface_t* normal = SkinSurfaceKeyed(m_nBitmaps[Normal], m_clrKey);
    if (!normal) return;
    m_rect = {m_x, m_y, m_x + cairo_image_surface_get_width(normal), m_y + cairo_image_surface_get_height(normal)};
}

int CMultiButtonBitmap::HitTest(int x, int y) const {
    if (y < m_rect.top || y >= m_rect.bottom) return -1;
    int a = m_rect.left;
    for (int i = 0; i < m_nCount && i < kMaxButtons; ++i) {
        // Columns span their full widths, even past the image's right edge.
        if (x >= a && x < a + m_nWidths[i]) return i;
        a += m_nWidths[i];
    }
    return -1;
}

bool CMultiButtonBitmap::Contains(int x, int y) const { return HitTest(x, y) != -1; }

void CMultiButtonBitmap::SetButtonEnabled(int i, bool v) {
    if (i < 0 || i >= kMaxButtons) return;
    m_bButtonEnabled[i] = v;
    Repaint();
}

void CMultiButtonBitmap::SetButtonDown(int i, bool v) {
    if (i < 0 || i >= kMaxButtons) return;
    m_bButtonDown[i] = v;
    Repaint();
}

void CMultiButtonBitmap::SetAllEnabled(bool v) {
    std::fill(std::begin(m_bButtonEnabled), std::end(m_bButtonEnabled), v);
    Repaint();
}

void CMultiButtonBitmap::SetAllDown(bool v) {
    std::fill(std::begin(m_bButtonDown), std::end(m_bButtonDown), v);
    Repaint();
}

void CMultiButtonBitmap::Repaint() {
    if (m_bEnabled && m_pOwner) m_pOwner->RepaintStrip(*this);
}

int CMultiButtonBitmap::OnMouse(MouseMsg message, int x, int y) {
    switch (message) {
        case MouseMsg::LButtonDown:
            if (m_rect.PtInRect(x, y)) {
                m_nPressedIndex = HitTest(x, y);
                if (m_nPressedIndex >= 0 && m_nPressedIndex < kMaxButtons && m_bButtonEnabled[m_nPressedIndex]) {
                    if (m_pOwner) m_pOwner->SetMouseCapture(true);
                    m_bPressed = true;
                    Repaint();
                }
            }
            break;
        case MouseMsg::LButtonUp: {
            if (m_pOwner) m_pOwner->SetMouseCapture(false);
            // Only a press on an enabled button of this strip can end in a click:
            // a release dragged in from elsewhere, or over a disabled button, posts nothing.
            const bool wasPressed = m_bPressed;
            if (m_bPressed) {
                m_bPressed = false;
                m_bTracking = false;
                Repaint();
            }
            if (wasPressed && m_nPressedIndex != -1 && Contains(x, y) && m_pOwner)
                m_pOwner->PostNotify(m_nMessage, reinterpret_cast<uintptr_t>(this), m_nPressedIndex);
            break;
        }
        case MouseMsg::Move:
            if (m_bPressed) break;
            if (m_rect.PtInRect(x, y)) {
                const int index = HitTest(x, y);
                if (m_bTracking && index == m_nHoverIndex) break;
                m_bHovered = 1;
                m_nHoverIndex = index;
                m_bTracking = true;
                Repaint();
            } else if (m_bTracking) {
                m_bHovered = 0;
                m_nPressedIndex = -1;
                m_bTracking = false;
                Repaint();
            }
            break;
    }
    return 0;
}

CMultiButtonBitmap::Image CMultiButtonBitmap::ImageFor(int i) const {
    if (!m_bButtonEnabled[i]) return Disabled;
    if ((m_bPressed && i == m_nPressedIndex) || m_bButtonDown[i]) return Pressed;
    if (m_bTracking && i == m_nHoverIndex) return Hover;
    return Normal;
}

void CMultiButtonBitmap::DrawInto(cairo_t* cr) {
    if (!m_bEnabled) return;
    cairo_surface_t* images[4];
    for (int k = 0; k < 4; ++k) {
        images[k] = SkinSurfaceKeyed(m_nBitmaps[k], m_clrKey);
        if (!images[k]) return;
    }
    UpdateRect();
    int a = m_x;
    bool captionPressed = false;
    for (int i = 0; i < m_nCount && i < kMaxButtons; ++i) {
        const Image which = ImageFor(i);
        cairo_surface_t* src = images[which];
        const int srcW = cairo_image_surface_get_width(src), srcH = cairo_image_surface_get_height(src);
        const int w = std::min(m_nWidths[i], std::max(0, srcW - (a - m_x)));
        if (w > 0) {
            cairo_save(cr);
            cairo_rectangle(cr, a, m_y, w, srcH);
            cairo_clip(cr);
            // With a key its pixels were made transparent at load; otherwise opaque.
            cairo_set_source_surface(cr, src, m_x, m_y);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        if (i == 0) captionPressed = which == Pressed;
        a += m_nWidths[i];
    }
    if (!m_strCaption.empty() && m_nCount > 0) {
        const int d = captionPressed ? 1 : 0;
        DrawTextCentered(cr, m_strCaption, kTahoma9, m_x + d, m_y + d, m_nWidths[0], m_rect.Height(), {1, 1, 1, 1});
    }
}

}  // namespace fl
