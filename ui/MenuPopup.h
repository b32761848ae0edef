#pragma once
// Shows a CMenuEx as a popup window of our own at a screen point and returns
// the chosen command id, or 0 when it is dismissed (a click outside, Esc).
#include "controls/MenuEx.h"

namespace fl {

// Runs until the menu closes. `onShown`, when given, runs once the popup is on
// screen (tests choose an item from there).
int TrackPopupMenu(CMenuEx& menu, int screenX, int screenY, const std::function<void()>& onShown = {});

// The popup currently open (null when none): lets tests pick an item or dismiss it.
void ChoosePopupItem(int commandId);
void DismissPopup();
bool PopupIsOpen();

}  // namespace fl
