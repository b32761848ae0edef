#pragma once
// The progress holder and its panel: the engine's progress operations arrive
// from the update thread and are shown by the UI thread; the update thread
// waits on the holder's event after the task.
#include <gtkmm/drawingarea.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "app/ProgressHost.h"
#include "controls/MyProGress.h"
#include "controls/Mystatic.h"
#include "platform/Event.h"
#include "ui/MessagePump.h"

namespace fl {

class CWobrApp;
class CWobrDlg;

// The panel: background 250, the status line at (0, 265), the bar at (200, 300),
// the rate line at (0, 334).
class CDialogProgess : public Gtk::DrawingArea {
public:
    CDialogProgess();
    Mystatic m_status;
    CMyProGress m_bar;
    Mystatic m_rate;  // speed and time left, under the bar (hidden when empty)
    std::mutex m_cs;  // the update thread changes what the UI thread paints
    std::atomic<int> m_bCompleted{0};
    // What on_draw paints (the panel is 651 x 363).
    void Paint(cairo_t* cr);

protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
};

class CProgressHost : public IProgressHost {
public:
    explicit CProgressHost(CWobrApp& app);
    ~CProgressHost() override;

    // Gives the login area up, shows the panel and starts the update thread.
    void ShowProgress(CWobrDlg& window);
    // Ends the update thread (the application is closing).
    void Shutdown();

    void ShowStatusText(const std::string& text) override;
    void SetProgressPercent(int percent) override;
    void SetProgressRange(int lower, int upper) override;
    void Finish() override;
    void Abort() override;
    void ShowRateLine(const std::string& text) override;

    CDialogProgess* Dialog() { return m_pDialog.get(); }
    std::unique_ptr<CEvent> m_hEvent;
    CEvent m_hStop{true, false};  // the application is closing: nothing waits any longer

private:
    void Redraw();

    CWobrApp& m_app;
    std::unique_ptr<CDialogProgess> m_pDialog;
    std::thread m_updateThread;
    CMessagePump m_pump;
};

}  // namespace fl
