#pragma once
#include <string>

namespace fl {

// The user's desktop folder (XDG), without a trailing "/".
std::string GetDesktopFolder();
// A desktop entry named after the title, pointing at the install folder's
// launcher; made only when the argument text names an install folder (it holds
// a double quote) that is not the desktop itself. Returns whether one was written.
bool CreateDesktopShortcut(const std::string& argText, const std::string& title);

}  // namespace fl
