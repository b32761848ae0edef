#include "controls/TBButtonBitmap6.h"

#include "controls/SkinImages.h"

namespace fl {

void CTBButtonBitmap6::SetImages(int normal, int hover, int pressed, int disabled) {
    m_nImages[0] = normal;
    m_nImages[1] = hover;
    m_nImages[2] = pressed;
    m_nImages[3] = disabled;
}

void CTBButtonBitmap6::SetCaption(const std::string& caption) {
    m_strCaption = caption;
    RequestRepaint();
}

void CTBButtonBitmap6::EnableButton(bool enabled) {
    m_bEnabled = enabled;
    RequestRepaint();
}

void CTBButtonBitmap6::SetCheck(bool checked) {
    if (m_bChecked == int(checked)) return;
    m_bChecked = checked;
    RequestRepaint();
}

void CTBButtonBitmap6::RequestRepaint() {
    if (m_bVisible && m_pOwner) m_pOwner->PostNotify(m_nMessage, 1, 0);
}

int CTBButtonBitmap6::CurrentImage() const {
    if (!m_bEnabled) return m_nImages[3];
    if (m_bPressed || m_bChecked) return m_nImages[2];
    if (m_bHovered) return m_nImages[1];
    return m_nImages[0];
}

void CTBButtonBitmap6::UpdateRect() {
    cairo_surface_t* image = SkinSurface(CurrentImage());
    if (!image) return;
    m_rect = {m_x, m_y, m_x + cairo_image_surface_get_width(image), m_y + cairo_image_surface_get_height(image)};
}

void CTBButtonBitmap6::DrawInto(cairo_t* cr) {
    if (!m_bVisible || !m_pOwner) return;
    cairo_surface_t* image = SkinSurface(CurrentImage());
    if (!image) return;
    UpdateRect();
    cairo_set_source_surface(cr, image, m_x, m_y);
    cairo_paint(cr);
    if (m_strCaption.empty()) return;
    const bool pressedImage = m_bEnabled && (m_bPressed || m_bChecked);
    const int d = pressedImage ? 3 : 0;
    Rgba colour = !m_bEnabled ? Rgba::FromRgb(128, 128, 128)
                  : (m_bHovered || m_bPressed || m_bChecked) ? m_clrActiveText
                                                               : m_clrNormalText;
    DrawTextCentered(cr, m_strCaption, "Tahoma, Noto Sans CJK SC, DejaVu Sans 11px", m_rect.left + d, m_rect.top + d,
                     m_rect.Width() - d, m_rect.Height() - d, colour);
}

int CTBButtonBitmap6::OnMouse(MouseMsg message, int x, int y) {
    if (!m_bEnabled) return 0;
    switch (message) {
        case MouseMsg::LButtonDown:
            if (m_rect.PtInRect(x, y)) {
                if (m_pOwner) m_pOwner->SetMouseCapture(true);
                m_bPressed = true;
                RequestRepaint();
                if (m_pOwner) m_pOwner->PostNotify(m_nMessage, reinterpret_cast<uintptr_t>(this), 0);
            }
            break;
        case MouseMsg::LButtonUp:
            if (m_pOwner) m_pOwner->SetMouseCapture(false);
            if (m_bPressed) {
                m_bPressed = false;
                m_bHovered = false;
                RequestRepaint();
                // Wherever the pointer is: the owner decides whether it was a click.
                if (m_pOwner) m_pOwner->PostNotify(m_nMessage, reinterpret_cast<uintptr_t>(this), 1);
            }
            break;
        case MouseMsg::Move: {
            if (m_bPressed) break;
            const bool inside = m_rect.PtInRect(x, y);
            if (inside != m_bHovered) {
                m_bHovered = inside;
                RequestRepaint();
            }
            break;
        }
    }
    return 0;
}

}  // namespace fl
