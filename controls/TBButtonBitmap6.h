#pragma once
// A single windowless button drawn from PNG images, with an optional caption.
// It asks its owner to repaint (notification with wParam 1) and reports
// pressing (lParam 0) and releasing (lParam 1).
#include <cairo.h>

#include <string>

#include "controls/ControlTypes.h"
#include "controls/TextDraw.h"

namespace fl {

class CTBButtonBitmap6 {
public:
    virtual ~CTBButtonBitmap6() = default;

    void SetImages(int normal, int hover, int pressed, int disabled);
    void SetPosition(int x, int y) { m_x = x; m_y = y; }
    void SetOwner(IButtonOwner* owner) { m_pOwner = owner; }
    void SetMessage(unsigned message) { m_nMessage = message; }
    void SetCaption(const std::string& caption);
    void EnableButton(bool enabled);
    void SetCheck(bool checked);
    void SetVisible(bool visible) { m_bVisible = visible; }

    void DrawInto(cairo_t* cr);
    int OnMouse(MouseMsg message, int x, int y);
    void RequestRepaint();
    // The rectangle comes from the position and the current image's size.
    void UpdateRect();
    int CurrentImage() const;

    CRect m_rect;
    Rgba m_clrNormalText{0, 0, 0, 1};
    Rgba m_clrActiveText{0, 0, 1, 1};
    bool m_bVisible = true;
    bool m_bFlag2 = false;
    std::string m_strCaption;
    int m_nImages[4] = {};
    int m_x = 0, m_y = 0;
    IButtonOwner* m_pOwner = nullptr;
    unsigned m_nMessage = 0;
    int m_bEnabled = 1;
    int m_bChecked = 0;
    bool m_bPressed = false;
    bool m_bHovered = false;
    unsigned m_clrKey = 0;
};

}  // namespace fl
