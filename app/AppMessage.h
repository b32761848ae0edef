#pragma once
#include <string>

#include "platform/MessageBox.h"

namespace fl {

// The application's message box: caption "Fenwa", an OK button, owned by the
// main window when there is one. Callable from any thread.
BoxResult ShowAppMessage(const std::string& text);

}  // namespace fl
