#pragma once
// How the login answer is split for the game client.
#include <string>

namespace fl {

struct ClientParams {
    std::string strIconText;    // what "param.tmp" holds
    std::string strClientArgs;  // the client's argument text
};

// `launcherExe` is the install folder followed by the launcher's file name.
ClientParams SplitClientParams(std::string text, const std::string& launcherExe);
// Writes "param.tmp" in `folder` ("/" at its end) and starts its "client.exe"
// with the login answer's values.
void StartGameClient(const std::string& folder, const std::string& pageValueText, const std::string& launcherExe);

}  // namespace fl
