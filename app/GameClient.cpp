// Starting the game client with the account values.
#include "app/ClientParams.h"
#include "app/StartupChecks.h"
#include "app/WobrApp.h"
#include "platform/FileOps.h"
#include "platform/ProcessStart.h"
#include "platform/TextCodec.h"
#include "platform/Trace.h"

#include <fcntl.h>
#include <unistd.h>

namespace fl {

ClientParams SplitClientParams(std::string text, const std::string& launcherExe) {
    // A tail after the last comma that is not a quoted pair is dropped; the comma stays.
    size_t lastComma = text.rfind(',');
    if (lastComma != std::string::npos && text.find('\'', lastComma) == std::string::npos)
        text.resize(lastComma + 1);

    std::string icons;
    for (const char* key : {",'small_icon':'", ",'middle_icon':'"}) {
        size_t at = text.find(key);
        if (at == std::string::npos) continue;
        size_t comma = text.find(',', at + std::char_traits<char>::length(key));
        if (comma == std::string::npos) continue;
        icons += text.substr(at, comma - at);
        text.erase(at, comma - at);
    }
    icons += ',';
    if (icons[0] == ',') icons.erase(0, 1);
    return {icons, "'LauncherPath':'" + launcherExe + "'," + text};
}

void StartGameClient(const std::string& folder, const std::string& pageValueText, const std::string& launcherExe) {
    const std::string clientPath = folder + "client.exe";
    ClientParams params = SplitClientParams(pageValueText, launcherExe);
    const std::string paramPath = folder + "param.tmp";
    OutputDebugStringW(paramPath);
    // The client reads the bytes a Windows text-mode stream of UTF-16 units would leave.
    const std::string bytes = Utf16LeTextModeBytes(Utf8ToUtf16(params.strIconText));
    int fd = open(paramPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t ignored = write(fd, bytes.data(), bytes.size());
        (void)ignored;
        close(fd);
    }
    std::string why;
    if (ShellOpenProgram(clientPath, params.strClientArgs, &why) != 0) OutputDebugStringW(why);
}

void CWobrApp::LaunchGameClient() {
    SetStep(7);
    IMainWindow* dlg = m_pMainDlg;
    const std::string text = dlg ? dlg->GameParams().Copy() : std::string();
    if (text.empty() || m_bSkipClientLaunch) return;
    StartGameClient(GetClientBaseFolder() + GetResFolder(), text, m_strLauncherFolder + kLauncherFileName);
}

}  // namespace fl
