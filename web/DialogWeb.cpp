#include "web/DialogWeb.h"

#include <webkit2/webkit2.h>

#include "app/MainWindow.h"
#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "platform/Trace.h"
#include "web/LoginFetch.h"
#include "web/NavigationRules.h"
#include "web/WebContext.h"

namespace fl {

namespace {

// No scroll bars, in every frame.
const char* kNoScrollBars = "::-webkit-scrollbar{display:none!important} html{scrollbar-width:none!important}";

}  // namespace

CDialogWeb::CDialogWeb(CWobrApp& app, std::string advertisingHost)
    : m_app(app), m_strAdvertisingHost(std::move(advertisingHost)) {}

CDialogWeb::~CDialogWeb() { DestroyWindow(); }

void CDialogWeb::Create() {
    if (m_pView) return;
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserStyleSheet* sheet =
        webkit_user_style_sheet_new(kNoScrollBars, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES, WEBKIT_USER_STYLE_LEVEL_USER,
                                    nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, sheet);
    webkit_user_style_sheet_unref(sheet);
    m_pView = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", LauncherWebContext(),
                                           "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_ref_sink(m_pView);
    g_signal_connect(m_pView, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(m_pView, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(m_pView, "context-menu", G_CALLBACK(OnContextMenu), this);
    gtk_widget_set_name(GTK_WIDGET(m_pView), g_strTitle.c_str());
    m_pCancel = g_cancellable_new();
    // No load of its own: the window's first navigation is the only one in
    // flight at start (two competing loads could lose the home page).
    m_bFirstDocument = true;
}

void CDialogWeb::DestroyWindow() {
    if (!m_pView) return;
    g_cancellable_cancel(m_pCancel);
    g_object_unref(m_pCancel);
    m_pCancel = nullptr;
    webkit_web_view_stop_loading(m_pView);
    g_signal_handlers_disconnect_by_data(m_pView, this);
    if (GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(m_pView)))
        gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(m_pView));
    g_object_unref(m_pView);
    m_pView = nullptr;
}

void CDialogWeb::NavigateTo(const std::string& url) {
    if (m_pView) webkit_web_view_load_uri(m_pView, url.c_str());
}

void CDialogWeb::RefreshPage() {
    if (m_pView) webkit_web_view_reload(m_pView);
}

void CDialogWeb::Stop() {
    if (m_pView) webkit_web_view_stop_loading(m_pView);
}

bool CDialogWeb::OnBeforeNavigate2(const std::string& address) {
    if (!m_pMainWnd) return false;
    const BeforeNavigateActions a = ClassifyBeforeNavigate(address, m_strAdvertisingHost);
    if (a.bHandleLogin) HandleLoginUrl(m_app, address);
    if (a.bTestPage) {
        if (!a.strTestArgument.empty()) LaunchFromTestPage(a.strTestArgument);
        m_pMainWnd->PostLauncherMessage(kCodeEnterGameView, 0);
    }
    if (a.bAdvertising) m_pMainWnd->PostLauncherMessage(kCodeLeaveGameView, 0);
    return a.bCancel;
}

void CDialogWeb::OnNavigateComplete2(const std::string& address) {
    OutputDebugStringW("completed " + address);
    if (!m_pMainWnd) return;
    const NavigateCompleteActions a = ClassifyNavigateComplete(address);
    if (a.bHandleLogin) HandleLoginUrl(m_app, address);
    if (a.bStop) Stop();
    // A login address reached without a start of its own (a redirect) still starts the update.
    if (a.bHandleLogin) m_pMainWnd->PostLauncherMessage(kCodeStartUpdate, 0);
}

void CDialogWeb::OnDocumentComplete(const std::string&) {
    if (m_bFirstDocument) {
        m_bFirstDocument = false;
        if (m_pMainWnd) m_pMainWnd->PostLauncherMessage(kCodeLoadHomePage, 0);
        return;
    }
    if (m_pView) gtk_widget_show(GTK_WIDGET(m_pView));
}

gboolean CDialogWeb::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, int type, gpointer self) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (!uri) return FALSE;
    auto* page = static_cast<CDialogWeb*>(self);
    // A reload is no new navigation: none of the rules run for it.
    if (webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_RELOAD) return FALSE;
    if (page->OnBeforeNavigate2(uri)) {
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        // No second browser window: the page opens where it is.
        page->NavigateTo(uri);
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    return FALSE;
}

void CDialogWeb::OnLoadChanged(WebKitWebView* view, int event, gpointer self) {
    auto* page = static_cast<CDialogWeb*>(self);
    const char* uri = webkit_web_view_get_uri(view);
    const std::string address = uri ? uri : "";
    if (event == WEBKIT_LOAD_COMMITTED) page->OnNavigateComplete2(address);
    if (event == WEBKIT_LOAD_FINISHED) page->OnDocumentComplete(address);
}

gboolean CDialogWeb::OnContextMenu(WebKitWebView*, gpointer, gpointer, gpointer, gpointer) { return TRUE; }

void CDialogWeb::CallPageFunction(const std::string& name, std::function<void(bool)> done) {
    if (!m_pView) {
        done(false);
        return;
    }
    struct Call {
        std::function<void(bool)> done;
        GCancellable* cancel;
    };
    auto* call = new Call{std::move(done), G_CANCELLABLE(g_object_ref(m_pCancel))};
    const std::string script = "(typeof " + name + " === 'function') ? " + name + "() : undefined";
    webkit_web_view_evaluate_javascript(
        m_pView, script.c_str(), -1, nullptr, nullptr, m_pCancel,
        [](GObject* object, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Call> c(static_cast<Call*>(data));
            const bool gone = g_cancellable_is_cancelled(c->cancel);
            g_object_unref(c->cancel);
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
            bool made = false;
            if (value) {
                // A page without the function answers undefined: the call was not made.
                made = !jsc_value_is_undefined(value);
                if (jsc_value_is_string(value)) {
                    char* text = jsc_value_to_string(value);
                    g_strScriptResult = text;
                    g_free(text);
                }
                g_object_unref(value);
            }
            if (error) g_error_free(error);
            if (!gone) c->done(made);  // the window that asked may be gone with its view
        },
        call);
}

}  // namespace fl
