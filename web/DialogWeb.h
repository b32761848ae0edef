#pragma once
// The page host: a WebKit view with the launcher's navigation rules. The start
// of a navigation (it may be cancelled), its commit and its end are the events
// the rules act on; no context menu, no scroll bars, no border.
#include <gtk/gtk.h>

#include <functional>
#include <string>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitPolicyDecision WebKitPolicyDecision;

namespace fl {

class CWobrApp;
class IMainWindow;

class CDialogWeb {
public:
    CDialogWeb(CWobrApp& app, std::string advertisingHost);
    ~CDialogWeb();
    CDialogWeb(const CDialogWeb&) = delete;
    CDialogWeb& operator=(const CDialogWeb&) = delete;

    // Creates the view (OnInitDialog): "about:blank" is loaded first.
    void Create();
    GtkWidget* Widget() const { return m_pView ? GTK_WIDGET(m_pView) : nullptr; }
    bool HasWindow() const { return m_pView != nullptr; }

    void NavigateTo(const std::string& url);
    void RefreshPage();
    void Stop();
    // Calls the page's script function; `done` runs on the UI thread with
    // whether the call was made (g_strScriptResult holds a string result).
    void CallPageFunction(const std::string& name, std::function<void(bool)> done);
    void DestroyWindow();

    // The window the notifications go to (null: the navigation rules are skipped).
    IMainWindow* m_pMainWnd = nullptr;
    bool m_bFirstDocument = true;

    // The rules, as the browser events reach them.
    bool OnBeforeNavigate2(const std::string& address);  // true: cancel
    void OnNavigateComplete2(const std::string& address);
    void OnDocumentComplete(const std::string& address);

private:
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, int type, gpointer self);
    static void OnLoadChanged(WebKitWebView*, int event, gpointer self);
    static gboolean OnContextMenu(WebKitWebView*, gpointer, gpointer, gpointer, gpointer);

    CWobrApp& m_app;
    std::string m_strAdvertisingHost;
    WebKitWebView* m_pView = nullptr;
    // Cancelled when the view goes: a script answer arriving later is dropped.
    GCancellable* m_pCancel = nullptr;
};

}  // namespace fl
