#include "ui/ProgressHost.h"

#include <chrono>
#include <cstdint>

#include "app/WobrApp.h"
#include "controls/SkinImages.h"
#include "platform/CrashFilter.h"
#include "platform/Trace.h"
#include "ui/WobrDlg.h"

namespace fl {

CDialogProgess::CDialogProgess() { set_size_request(651, 363); }

bool CDialogProgess::on_draw(const Cairo::RefPtr<Cairo::Context>& context) {
    Paint(context->cobj());
    return true;
}

void CDialogProgess::Paint(cairo_t* cr) {
    std::lock_guard lock(m_cs);
    if (cairo_surface_t* bg = SkinSurface(250)) {
        cairo_set_source_surface(cr, bg, 0, 0);
        cairo_paint(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, 0, 265);
    m_status.Paint(cr, 653, 24);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, 200, 300);
    m_bar.Paint(cr, 289, 28);
    cairo_restore(cr);
    if (!m_rate.GetWindowText().empty()) {
        cairo_save(cr);
        cairo_translate(cr, 0, 334);
        m_rate.Paint(cr, 653, 24);
        cairo_restore(cr);
    }
}

CProgressHost::CProgressHost(CWobrApp& app)
    : m_app(app), m_pDialog(std::make_unique<CDialogProgess>()), m_pump([this](unsigned, uintptr_t, long) {
          if (m_pDialog) m_pDialog->queue_draw();
      }) {}

CProgressHost::~CProgressHost() { Shutdown(); }

void CProgressHost::Redraw() { m_pump.Post(0, 0, 0); }

void CProgressHost::ShowProgress(CWobrDlg& window) {
    m_hEvent = std::make_unique<CEvent>(true, false);
    window.GiveUpLoginArea();
    window.Area().put(*m_pDialog, 268, 140);
    m_pDialog->show();
    m_pDialog->queue_draw();
    m_updateThread = std::thread([this] {
        InstallThreadCrashStack();
        m_app.StartDownloader();
        m_hEvent->Wait();
    });
}

void CProgressHost::Shutdown() {
    m_hStop.Set();
    if (m_hEvent) m_hEvent->Set();
    m_app.ShutdownDownloader();
    if (m_updateThread.joinable()) m_updateThread.join();
}

void CProgressHost::ShowStatusText(const std::string& text) {
    m_pDialog->m_status.SetWindowText(text);
    Redraw();
}

void CProgressHost::SetProgressPercent(int percent) {
    {
        std::lock_guard lock(m_pDialog->m_cs);
        m_pDialog->m_bar.SetPercent(percent);
    }
    Redraw();
}

void CProgressHost::SetProgressRange(int lower, int upper) {
    // Bounds that are negative as 16-bit values change nothing, not even the position.
    if (int16_t(lower) < 0 || int16_t(upper) < 0) return;
    {
        std::lock_guard lock(m_pDialog->m_cs);
        m_pDialog->m_bar.SetRange(lower, upper);
        m_pDialog->m_bar.SetPercent(0);
    }
    Redraw();
}

void CProgressHost::Finish() {
    OutputDebugStringW("CDialogProgess    更新完成");
    SetProgressPercent(100);
    m_hStop.Wait(1000);  // on the update thread; a close does not wait for the second
    m_pDialog->m_bCompleted = 1;
    if (m_hEvent) m_hEvent->Set();
}

void CProgressHost::ShowRateLine(const std::string& text) {
    // Traced as shown (once a second at most): what the panel says can be followed from outside.
    if (!text.empty()) OutputDebugStringW("CDialogProgess    " + text);
    m_pDialog->m_rate.SetWindowText(text);
    Redraw();
}

void CProgressHost::Abort() {
    if (m_hEvent) m_hEvent->Set();
}

}  // namespace fl
