#pragma once
// The browser engine's context of the launcher: its cache and its data (cookies
// among them, kept on disk) live below the data folder, so the cache cleaner
// knows exactly which folder is the browser's cache.
typedef struct _WebKitWebContext WebKitWebContext;

namespace fl {

WebKitWebContext* LauncherWebContext();

}  // namespace fl
