#pragma once
// A strip of up to ten windowless buttons drawn from image strips that hold
// every button side by side; a click is posted with the strip and the index.
#include <cairo.h>

#include <string>

#include "controls/ControlTypes.h"

namespace fl {

class CMultiButtonBitmap {
public:
    static constexpr int kMaxButtons = 10;
    enum Image { Normal, Hover, Pressed, Disabled };

    virtual ~CMultiButtonBitmap() = default;
    virtual void SetCaption(const std::string& caption) { m_strCaption = caption; }
    virtual void DrawInto(cairo_t* cr);

    void SetColorKey(unsigned key) { m_clrKey = key; }
    void SetBitmaps(int normal, int hover, int pressed, int disabled);
    void SetPosition(int x, int y) { m_x = x; m_y = y; }
    void SetOwner(IButtonOwner* owner) { m_pOwner = owner; }
    void SetMessage(unsigned message) { m_nMessage = message; }
    // The rectangle comes from the position and the normal image's size.
    void UpdateRect();

    int HitTest(int x, int y) const;
    bool Contains(int x, int y) const;
    void SetButtonEnabled(int i, bool v);
    void SetButtonDown(int i, bool v);
    void SetAllEnabled(bool v);
    void SetAllDown(bool v);
    int OnMouse(MouseMsg message, int x, int y);
    void Repaint();
    // The image a button draws with now.
    Image ImageFor(int i) const;

    CRect m_rect;
    int m_bEnabled = 1;
    int m_nWidths[kMaxButtons] = {};
    int m_nCount = 0;
    int m_nBitmaps[4] = {};
    int m_bHovered = 0;
    int m_x = 0, m_y = 0;
    IButtonOwner* m_pOwner = nullptr;
    unsigned m_nMessage = 0;
    bool m_bPressed = false;
    bool m_bTracking = false;
    unsigned m_clrKey = 0;
    int m_bButtonEnabled[kMaxButtons] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    int m_bButtonDown[kMaxButtons] = {};
    int m_nPressedIndex = 0;
    int m_nHoverIndex = 0;
    std::string m_strCaption;
};

}  // namespace fl
