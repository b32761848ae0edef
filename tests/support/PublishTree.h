#pragma once
// The demo platform's resource tree as files, for a real HTTP server to serve.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/DemoContent.h"
#include "demo/DemoHashList.h"
#include "publish/Publisher.h"
#include "update/integrity/Sha256.h"
#include "tests/support/TempDir.h"

namespace fltest {

// Publishing `game` into `out` as the named release, nothing else set.
inline fl::PublishOptions ReleaseOptions(const std::string& game, const std::string& out, const std::string& release) {
    fl::PublishOptions o;
    o.gameDir = game;
    o.outDir = out;
    o.release = release;
    return o;
}

// A signed hash list of every file under `folder`, named by its path there.
inline void SignTree(const std::string& folder, const std::string& release = "t1") {
    std::string list = "#release|" + release + "\r\n";
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) names.push_back(std::filesystem::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        if (name == "hash.pat" || name == "hash.pat.minisig") continue;
        const std::string bytes = ReadFile(folder + "/" + name);
        fl::CSha256 hash;
        hash.Update(bytes.data(), bytes.size());
        list += name + "|" + std::to_string(bytes.size()) + " " + hash.HexDigest() + "\r\n";
    }
    WriteFile(folder + "/hash.pat", list);
    WriteFile(folder + "/hash.pat.minisig", fldemo::SignWithDemoKey(list));
}

inline void PublishTree(const fldemo::DemoContent& c, const std::string& folder) {
    for (const auto& [name, bytes] : c.files) WriteFile(folder + "/" + fldemo::DemoContent::LocalName(name), bytes);
    WriteFile(folder + "/version.pat", c.VersionPat());
    WriteFile(folder + "/PackVersion.pat", c.PackVersionPat());
    WriteFile(folder + "/luncherVersion.pat", c.LuncherVersionPat());
    WriteFile(folder + "/" + c.fullPackName + ".zip", c.fullPack);
    WriteFile(folder + "/" + c.newVersion + ".zip", c.newPack);
    // Signed as the demo platform signs it: the build pins its key.
    const std::string list = fldemo::HashListOf(c);
    WriteFile(folder + "/hash.pat", list);
    WriteFile(folder + "/hash.pat.minisig", fldemo::SignWithDemoKey(list));
}

}  // namespace fltest
