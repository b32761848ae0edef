#include "web/WebContext.h"

#include <webkit2/webkit2.h>

#include <string>

#include "platform/Folders.h"

namespace fl {

WebKitWebContext* LauncherWebContext() {
    static WebKitWebContext* context = [] {
        const std::string data = GetDataFolder();
        WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
            "base-cache-directory", (data + "/browser-cache").c_str(), "base-data-directory",
            (data + "/browser-data").c_str(), nullptr);
        WebKitWebContext* c = webkit_web_context_new_with_website_data_manager(manager);
        g_object_unref(manager);
        webkit_cookie_manager_set_persistent_storage(webkit_web_context_get_cookie_manager(c),
                                                     (data + "/browser-data/cookies.sqlite").c_str(),
                                                     WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
        return c;
    }();
    return context;
}

}  // namespace fl
