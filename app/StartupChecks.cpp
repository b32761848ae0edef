#include "app/StartupChecks.h"

#include <cstring>

#include "platform/TextCodec.h"

namespace fl {

std::string JoinArguments(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

std::string ParseLauncherFolder(const std::string& argText) {
    size_t quote = argText.find('"');
    return quote == std::string::npos ? std::string() : argText.substr(0, quote);
}

bool PathIsExe(const std::string& path) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot);
    for (const char* e : {".exe", ".com", ".bat", ".cmd", ".pif"})
        if (EqualsNoCase(ext, e)) return true;
    return false;
}

bool CheckExecutableName(const std::string& modulePath) {
    std::string path = Trim(modulePath);
    const size_t n = std::strlen(kLauncherFileName);
    std::string right = path.size() > n ? path.substr(path.size() - n) : path;
    return EqualsNoCase(right, kLauncherFileName);
}

}  // namespace fl
