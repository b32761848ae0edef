#include "app/AppMessage.h"

#include "app/SharedTexts.h"

namespace fl {

BoxResult ShowAppMessage(const std::string& text) { return ShowMessageBox(text, kGameName); }

}  // namespace fl
