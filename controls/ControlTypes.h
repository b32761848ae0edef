#pragma once
// What the windowless controls share with their owner window.
#include <cstdint>

namespace fl {

// The window messages the controls post to their owner.
inline constexpr unsigned WM_SKINBUTTON = 0x465;
inline constexpr unsigned WM_LAUNCHER = 0x466;
inline constexpr unsigned WM_CAPTIONBUTTON = 0x467;

enum class MouseMsg { Move, LButtonDown, LButtonUp };

struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool PtInRect(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class CMultiButtonBitmap;

// The owner window as the controls see it.
class IButtonOwner {
public:
    virtual ~IButtonOwner() = default;
    // Posted: handled later on the owner's thread. wParam carries an object's address, or 1.
    virtual void PostNotify(unsigned message, uintptr_t wParam, long lParam) = 0;
    virtual void SetMouseCapture(bool capture) = 0;
    // A strip asks to be drawn onto the owner now.
    virtual void RepaintStrip(CMultiButtonBitmap& strip) = 0;
};

}  // namespace fl
