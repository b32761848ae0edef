#include "ui/DesktopShortcut.h"

#include <glib.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/Folders.h"
#include "app/StartupChecks.h"
#include "platform/FileOps.h"
#include "platform/TextCodec.h"

namespace fl {

std::string GetDesktopFolder() {
    if (const char* env = std::getenv("XDG_DESKTOP_DIR"); env && *env) return env;
    const char* dir = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    std::string folder = dir ? dir : std::string(g_get_home_dir()) + "/Desktop";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool CreateDesktopShortcut(const std::string& argText, const std::string& title) {
    const size_t quote = argText.find('"');
    if (quote == std::string::npos) return false;
    std::string folder = Trim(argText.substr(0, quote));
    if (folder.empty()) return false;
    if (folder.back() != '/') folder += '/';
    const std::string target = folder + kLauncherFileName;
    const std::string desktop = GetDesktopFolder();
    if (folder == desktop + "/") return false;
    if (!EnsureFolder(desktop)) return false;
    const std::string entry = "[Desktop Entry]\nType=Application\nName=" + title + "\nExec=\"" + target +
                              "\"\nPath=" + folder + "\nTerminal=false\n";
    const std::string path = desktop + "/" + title + ".desktop";
    if (!WriteFileAtomically(path, entry)) return false;
    chmod(path.c_str(), 0755);  // desktops only start entries marked runnable
    return true;
}

}  // namespace fl
