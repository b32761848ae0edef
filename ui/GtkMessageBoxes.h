#pragma once
// Real modal message boxes. Callable from any thread: the box runs on the UI
// thread and the caller waits for the answer.
#include <gtkmm/window.h>

#include "platform/MessageBox.h"

namespace fl {

class CGtkMessageBoxes : public IMessageBoxHost {
public:
    BoxResult Show(const std::string& text, const std::string& caption, BoxIcon icon, bool yesNo) override;
    void SetOwner(Gtk::Window* owner) { m_pOwner = owner; }
    // A line that needs no answer: a box that does not hold up what follows. UI thread only.
    void ShowNotice(const std::string& text, const std::string& caption);

private:
    Gtk::Window* m_pOwner = nullptr;
};

}  // namespace fl
