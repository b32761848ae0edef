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

private:
    Gtk::Window* m_pOwner = nullptr;
};

}  // namespace fl
