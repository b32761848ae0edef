#pragma once
// Message boxes. Every user-visible box goes through one host: the windowed
// front end installs one that shows real dialogs; without it (tests, the
// headless runner) the text goes to standard error and the call returns at once.
#include <string>

namespace fl {

enum class BoxIcon { None, Error };
enum class BoxResult { Ok, Yes, No };

class IMessageBoxHost {
public:
    virtual ~IMessageBoxHost() = default;
    // May be called from any thread; returns when the user has answered.
    virtual BoxResult Show(const std::string& text, const std::string& caption, BoxIcon icon, bool yesNo) = 0;
};

void SetMessageBoxHost(IMessageBoxHost* host);
IMessageBoxHost* GetMessageBoxHost();

BoxResult ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon = BoxIcon::None,
                         bool yesNo = false);

}  // namespace fl
