#include "ui/GtkMessageBoxes.h"

#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>

#include "platform/Trace.h"
#include "ui/MessagePump.h"

namespace fl {

BoxResult CGtkMessageBoxes::Show(const std::string& text, const std::string& caption, BoxIcon icon, bool yesNo) {
    OutputDebugStringW("message box: " + text);
    BoxResult result = BoxResult::Ok;
    const bool shown = RunOnUiThread([&] {
        Gtk::MessageDialog box(text, false, icon == BoxIcon::Error ? Gtk::MESSAGE_ERROR : Gtk::MESSAGE_INFO,
                               yesNo ? Gtk::BUTTONS_YES_NO : Gtk::BUTTONS_OK, true);
        box.set_title(caption.empty() ? "Error" : caption);
        if (m_pOwner && m_pOwner->get_visible()) box.set_transient_for(*m_pOwner);
        box.set_position(Gtk::WIN_POS_CENTER);
        box.set_keep_above(true);
        const int answer = box.run();
        if (yesNo) result = answer == Gtk::RESPONSE_YES ? BoxResult::Yes : BoxResult::No;
    });
    if (!shown) {
        OutputDebugStringW("message box not shown (the window has closed): " + text);
        return yesNo ? BoxResult::No : BoxResult::Ok;
    }
    return result;
}

void CGtkMessageBoxes::ShowNotice(const std::string& text, const std::string& caption) {
    OutputDebugStringW("notice: " + text);
    auto* box = new Gtk::MessageDialog(text, false, Gtk::MESSAGE_INFO, Gtk::BUTTONS_OK, false);
    box->set_title(caption);
    if (m_pOwner) box->set_transient_for(*m_pOwner);
    box->set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    box->signal_response().connect([box](int) {
        box->hide();
        Glib::signal_idle().connect_once([box] { delete box; });
    });
    box->show();
}

}  // namespace fl
