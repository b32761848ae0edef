#include "ui/CacheCleaner.h"

#include <gtkmm/box.h>
#include <gtkmm/grid.h>
#include <webkit2/webkit2.h>

#include "app/SharedTexts.h"
#include "platform/TextCodec.h"
#include "ui/CacheFiles.h"
#include "web/WebContext.h"

namespace fl {

namespace {

void PumpPending() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

}  // namespace

CDialogStatus::CDialogStatus(Gtk::Window& parent) : m_text(g_strCleaning) {
    set_title(g_strCacheTool);
    set_transient_for(parent);
    set_modal(false);
    set_resizable(false);
    set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    set_default_size(250, 70);
    m_text.set_margin_top(24);
    m_text.set_margin_bottom(24);
    m_text.set_margin_start(20);
    m_text.set_margin_end(20);
    add(m_text);
    m_text.show();
}

CDialogSetting::CDialogSetting(std::function<std::string()> resourceHost) : m_fnResourceHost(std::move(resourceHost)) {}

CDialogSetting::~CDialogSetting() { DestroyWindow(); }

void CDialogSetting::DestroyWindow() {
    m_pStatus.reset();
    m_pDialog.reset();
    m_pEntry.reset();
    m_pBrowser.reset();
    m_pFlash.reset();
    m_pWarning.reset();
    m_pTypeYes.reset();
}

void CDialogSetting::Open(Gtk::Window& parent) {
    DestroyWindow();
    m_pDialog = std::make_unique<Gtk::Dialog>(g_strCacheTool, parent, false);
    m_pDialog->set_resizable(false);
    m_pDialog->set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    m_pBrowser = std::make_unique<Gtk::CheckButton>(g_strCleanBrowser);
    m_pFlash = std::make_unique<Gtk::CheckButton>(g_strCleanFlash);
    m_pWarning = std::make_unique<Gtk::Label>(g_strCleanWarning);
    m_pTypeYes = std::make_unique<Gtk::Label>(g_strTypeYes);
    m_pEntry = std::make_unique<Gtk::Entry>();
    m_pBrowser->set_active(m_bCleanBrowser);
    m_pFlash->set_active(m_bCleanFlash);
    m_pEntry->set_text(m_strConfirm);
    m_pEntry->set_activates_default(true);
    m_pWarning->set_xalign(0);
    m_pTypeYes->set_xalign(0);

    auto* grid = Gtk::manage(new Gtk::Grid());
    grid->set_row_spacing(8);
    grid->set_column_spacing(12);
    grid->set_margin_top(10);
    grid->set_margin_start(12);
    grid->set_margin_end(12);
    grid->attach(*m_pBrowser, 0, 0, 1, 1);
    grid->attach(*m_pFlash, 1, 0, 1, 1);
    grid->attach(*m_pWarning, 0, 1, 2, 1);
    grid->attach(*m_pTypeYes, 0, 2, 2, 1);
    grid->attach(*m_pEntry, 0, 3, 1, 1);
    m_pDialog->get_content_area()->pack_start(*grid);
    Gtk::Button* start = m_pDialog->add_button(g_strStartCleaning, Gtk::RESPONSE_OK);
    start->set_can_default(true);
    m_pDialog->set_default_response(Gtk::RESPONSE_OK);
    m_pDialog->signal_response().connect([this](int response) {
        if (response == Gtk::RESPONSE_OK)
            OnOK();
        else
            OnCancel();
    });
    m_pStatus = std::make_unique<CDialogStatus>(*m_pDialog);
    m_pDialog->show_all();
}

void CDialogSetting::OnCancel() {
    if (m_pStatus) m_pStatus->hide();
    if (m_pDialog) m_pDialog->hide();
}

void CDialogSetting::OnOK() {
    if (!m_pDialog) return;
    m_bCleanBrowser = m_pBrowser->get_active();
    m_bCleanFlash = m_pFlash->get_active();
    // Upper-cased in place; blanks are not trimmed.
    m_strConfirm = ToUpperAscii(std::string(m_pEntry->get_text()));
    m_pEntry->set_text(m_strConfirm);
    if (m_strConfirm != "YES") {
        m_pEntry->grab_focus();
        return;
    }
    ++m_nCleanings;
    // The status is on screen before the work starts.
    m_pStatus->show();
    m_pStatus->queue_draw();
    PumpPending();
    if (m_bCleanBrowser) ClearBrowserCache();
    if (m_bCleanFlash) CleanFlashFolders(GetFlashDataFolder(), m_fnResourceHost ? m_fnResourceHost() : "");
    m_pStatus->hide();
}

void CDialogSetting::ClearBrowserCache() {
    WebKitWebsiteDataManager* manager = webkit_web_context_get_website_data_manager(LauncherWebContext());
    // The disk and memory caches through the engine; cookies are another kind of data and stay.
    bool done = false;
    webkit_website_data_manager_clear(
        manager, WebKitWebsiteDataTypes(WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE), 0,
        nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
            *static_cast<bool*>(data) = true;
        },
        &done);
    while (!done) gtk_main_iteration_do(TRUE);
    // Then whatever the cache folder still holds; the folder stays.
    if (const char* cache = webkit_website_data_manager_get_base_cache_directory(manager)) EmptyFolder(cache);
}

}  // namespace fl
