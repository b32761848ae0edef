#include "web/LoginFetch.h"

#include <algorithm>

#include "app/MainWindow.h"
#include "platform/HttpClient.h"
#include "platform/TextCodec.h"
#include "platform/RunLog.h"
#include "platform/Trace.h"
#include "web/PageValue.h"

namespace fl {

namespace {

constexpr size_t kPieceSize = 2048;

// Hands the body on in pieces of at most 2,048 bytes; a UTF-8 sequence split
// between two pieces is joined before it is appended.
class CLoginSink : public IHttpSink {
public:
    explicit CLoginSink(ILoginHost& app) : m_app(app) {}
    bool OnResponse(const HttpHead& head) override {
        m_bAccepted = head.status == 200;
        return m_bAccepted;
    }
    bool OnData(const char* data, size_t size) override {
        for (size_t off = 0; off < size; off += kPieceSize) {
            size_t n = std::min(kPieceSize, size - off);
            // The count covers the bytes held over from the previous piece too.
            std::string text = m_joiner.Feed(data + off, n);
            AppendLoginText(m_app, text, text.size());
        }
        return true;
    }
    void Finish() {
        std::string tail = m_joiner.Flush();
        AppendLoginText(m_app, tail, tail.size());
    }
    bool m_bAccepted = false;

private:
    ILoginHost& m_app;
    CUtf8Joiner m_joiner;
};

}  // namespace

std::string AddClientMarker(const std::string& address) {
    return address + (address.find('?') != std::string::npos ? "&fclient=9" : "?fclient=9");
}

int HandleLoginUrl(ILoginHost& app, const std::string& address) {
    if (address.find("/login?") == std::string::npos) return 0;
    // The login's query (the account and what proves it) never reaches the run's log.
    const std::string query = address.substr(address.find("/login?") + 7);
    AddLogSecret(query.substr(0, query.find('#')));
    for (size_t at = 0; at < query.size();) {
        size_t end = query.find_first_of("&#", at);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(at, end - at);
        if (const size_t eq = pair.find('='); eq != std::string::npos) AddLogSecret(pair.substr(eq + 1));
        at = end + 1;
    }
    OutputDebugStringW(address);
    if (FetchLoginValues(app, AddClientMarker(address)) == 1) {
        if (IMainWindow* dlg = app.GetMainDlg()) dlg->PostLauncherMessage(kCodeStartUpdate, 0);
    }
    return 1;
}

int FetchLoginValues(ILoginHost& app, const std::string& address) {
    IMainWindow* dlg = app.GetMainDlg();
    if (!dlg) return 0;
    dlg->GameParams().Clear();
    DownloadLoginText(app, address);
    const std::string text = dlg->GameParams().Copy();
    if (text.empty()) return 0;
    const std::string rsurl = GetPageValue(text, "rsurl");
    const std::string version = GetPageValue(text, "preloadver") + GetPageValue(text, "vm");
    if (rsurl.empty() || version.empty()) return 0;
    app.SetPageValues(text);
    app.SetStep(1);
    return 1;
}

void DownloadLoginText(ILoginHost& app, const std::string& address) {
    if (address.empty()) return;
    if (address.rfind("http://", 0) != 0 && address.rfind("https://", 0) != 0) return;
    // The platform's session follows redirects; only the update engine refuses them.
    CHttpClient client(true);
    CLoginSink sink(app);
    HttpResult r = client.Get(address, sink);
    if (sink.m_bAccepted) sink.Finish();  // what arrived before an error stays
    if (!r.error.empty()) OutputDebugStringW("login fetch: " + r.error);
}

void AppendLoginText(ILoginHost& app, const std::string& piece, size_t count) {
    if (piece.empty()) return;
    if (IMainWindow* dlg = app.GetMainDlg()) dlg->GameParams().Append(piece.substr(0, count));
}

}  // namespace fl
