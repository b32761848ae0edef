#pragma once
// The demo platform's resource tree as files, for a real HTTP server to serve.
#include <string>

#include "demo/DemoContent.h"
#include "tests/support/TempDir.h"

namespace fltest {

inline void PublishTree(const fldemo::DemoContent& c, const std::string& folder) {
    for (const auto& [name, bytes] : c.files) WriteFile(folder + "/" + fldemo::DemoContent::LocalName(name), bytes);
    WriteFile(folder + "/version.pat", c.VersionPat());
    WriteFile(folder + "/PackVersion.pat", c.PackVersionPat());
    WriteFile(folder + "/luncherVersion.pat", c.LuncherVersionPat());
    WriteFile(folder + "/" + c.fullPackName + ".zip", c.fullPack);
    WriteFile(folder + "/" + c.newVersion + ".zip", c.newPack);
}

}  // namespace fltest
