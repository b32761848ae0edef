#pragma once
// The login fetch: the page's login address is fetched by the launcher itself
// (with the client marker added) and the answer becomes the login values.
#include <string>

namespace fl {

class CWobrApp;

// 1 when the address was a login address (it holds "/login?"), else 0.
// A usable answer posts the start-update code to the main window.
int HandleLoginUrl(CWobrApp& app, const std::string& address);
// 1 when the answer holds usable values (rsurl, and preloadver or vm).
int FetchLoginValues(CWobrApp& app, const std::string& address);
// Fills the main window's login record with the answer's body (UTF-8).
void DownloadLoginText(CWobrApp& app, const std::string& address);
void AppendLoginText(CWobrApp& app, const std::string& piece, size_t count);

// The address with "&fclient=9" (or "?fclient=9") at its very end.
std::string AddClientMarker(const std::string& address);

}  // namespace fl
