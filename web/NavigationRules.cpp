#include "web/NavigationRules.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/Folders.h"
#include "platform/ProcessStart.h"
#include "platform/Trace.h"

namespace fl {

std::string HostOf(const std::string& address) {
    size_t start = address.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = address.find_first_of("/?#", start);
    std::string host = address.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    if (size_t colon = host.rfind(':'); colon != std::string::npos && host.find(']') == std::string::npos)
        host.resize(colon);
    return host;
}

BeforeNavigateActions ClassifyBeforeNavigate(const std::string& address, const std::string& advertisingHost) {
    BeforeNavigateActions a;
    if (address.find("/login?") != std::string::npos) {
        a.bCancel = true;
        a.bHandleLogin = true;
    }
    if (address.find("enter_game.php") != std::string::npos) a.bCancel = true;
    if (size_t at = address.find("test.php"); at != std::string::npos) {
        a.bTestPage = true;
        const size_t from = at + 8 + 1;  // the character right after "test.php" is skipped
        if (from < address.size()) a.strTestArgument = address.substr(from);
    }
    // A whole address never equals a bare host; the host of the address is compared instead.
    if (!advertisingHost.empty() && HostOf(address) == advertisingHost) a.bAdvertising = true;
    return a;
}

NavigateCompleteActions ClassifyNavigateComplete(const std::string& address) {
    NavigateCompleteActions a;
    if (address.find("enter_game.php") != std::string::npos) a.bStop = true;
    if (address.find("/login?") != std::string::npos) {
        a.bHandleLogin = true;
        a.bStop = true;
    }
    return a;
}

void LaunchFromTestPage(const std::string& text) {
    const std::string dir = GetCurrentDirectory();
    int fd = open((dir + "/text.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t ignored = write(fd, text.data(), text.size());
        (void)ignored;
        close(fd);
    }
    std::string why;
    if (ShellOpenProgram(dir + "/client.exe", "", &why) != 0) OutputDebugStringW(why);
}

}  // namespace fl
