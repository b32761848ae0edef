#include "update/launcher/LauncherState.h"

#include <cstdlib>
#include <sstream>

#include "platform/FileOps.h"

namespace fl {

namespace {

// Values are single lines: a line break would start a key of its own.
std::string OneLine(std::string value) {
    for (char& c : value)
        if (c == '\n' || c == '\r') c = ' ';
    return value;
}

}  // namespace

LauncherState LoadLauncherState(const std::string& dataFolder) {
    LauncherState s;
    std::string text;
    if (!ReadWholeFile(dataFolder + "/" + kStateName, text)) return s;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written elsewhere with CR LF, as other records may be
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "updt.sha256") s.updtSha = value;
        else if (key == "updt.version") s.updtVersion = value;
        else if (key == "updt.stamp") s.updtStamp = value;
        else if (key == "updt.good") s.updtGood = value == "1";
        else if (key == "updt.attempts") s.attempts = std::atoi(value.c_str());
        else if (key == "updt.last-start") s.lastStart = std::atoll(value.c_str());
        else if (key == "prev.sha256") s.prevSha = value;
        else if (key == "prev.version") s.prevVersion = value;
        else if (key == "run.source") s.runSource = value;
        else if (key == "run.sha256") s.runSha = value;
        else if (key == "refused.version") s.refusedVersion = value;
        else if (key == "refused.sha256") s.refusedSha = value;
        else if (key == "refused.reason") s.refusedReason = value;
        else if (key == "notice") s.notice = value;
    }
    if (s.attempts < 0) s.attempts = 0;
    return s;
}

bool SaveLauncherState(const std::string& dataFolder, const LauncherState& s) {
    std::string text;
    auto put = [&](const char* key, const std::string& value) {
        if (!value.empty()) text += std::string(key) + "=" + OneLine(value) + "\n";
    };
    put("updt.sha256", s.updtSha);
    put("updt.version", s.updtVersion);
    put("updt.stamp", s.updtStamp);
    put("updt.good", s.updtGood ? "1" : "");
    put("updt.attempts", s.attempts ? std::to_string(s.attempts) : "");
    put("updt.last-start", s.lastStart ? std::to_string(s.lastStart) : "");
    put("prev.sha256", s.prevSha);
    put("prev.version", s.prevVersion);
    put("run.source", s.runSource);
    put("run.sha256", s.runSha);
    put("refused.version", s.refusedVersion);
    put("refused.sha256", s.refusedSha);
    put("refused.reason", s.refusedReason);
    put("notice", s.notice);
    return WriteFileAtomically(dataFolder + "/" + kStateName, text);
}

}  // namespace fl
