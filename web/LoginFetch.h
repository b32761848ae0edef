#pragma once
// The login fetch: the page's login address is fetched by the launcher itself
// (with the client marker added) and the answer becomes the login values.
#include <string>

namespace fl {

class IMainWindow;

// What the login fetch needs of the program it runs in (the launcher's
// application, the runner).
class ILoginHost {
public:
    virtual ~ILoginHost() = default;
    // Where the login record goes and the start-update code is posted (null: none).
    virtual IMainWindow* GetMainDlg() const = 0;
    virtual void SetPageValues(const std::string& text) = 0;
    virtual void SetStep(int step) = 0;
};

// 1 when the address was a login address (it holds "/login?"), else 0.
// A usable answer posts the start-update code to the main window.
int HandleLoginUrl(ILoginHost& app, const std::string& address);
// 1 when the answer holds usable values (rsurl, and preloadver or vm).
int FetchLoginValues(ILoginHost& app, const std::string& address);
// Fills the main window's login record with the answer's body (UTF-8).
void DownloadLoginText(ILoginHost& app, const std::string& address);
void AppendLoginText(ILoginHost& app, const std::string& piece, size_t count);

// The address with "&fclient=9" (or "?fclient=9") at its very end.
std::string AddClientMarker(const std::string& address);

}  // namespace fl
