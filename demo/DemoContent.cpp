#include "demo/DemoContent.h"

#include <vector>

#include "demo/PackWriter.h"

namespace fldemo {

std::string GameData(size_t size, unsigned seed) {
    std::string s(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char('a' + (x % 26));
    }
    return s;
}

std::string DemoContent::LocalName(const std::string& name) {
    std::string out = name;
    for (auto& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::string DemoContent::VersionPat() const {
    std::string s;
    for (const auto& [name, version] : versions) s += name + "|" + version + "\r\n";
    return s;
}

std::string DemoContent::PackVersionPat() const {
    return "newversion|" + newVersion + "\r\nlastversion|" + lastVersion + "\r\nfull_pack|" + fullPackName + "\r\n";
}

std::string DemoContent::LuncherVersionPat() const { return "version|" + launcherVersion + "\r\n"; }

DemoContent BuildDemoContent(const ContentOptions& o) {
    DemoContent c;
    c.launcherVersion = o.launcherVersion;
    c.launcherBytes = o.launcherBytes;
    c.delayMs = o.delayMs;
    c.autoLogin = o.autoLogin;
    c.files["client.exe"] = o.clientBytes.empty() ? "#!/bin/sh\necho \"client started: $*\"\n" : o.clientBytes;
    c.versions["client.exe"] = "1";
    for (int i = 0; i < o.files; ++i) {
        // Folders written with either separator, as resource servers do.
        std::string name = (i % 3 == 0 ? "data\\maps\\" : i % 3 == 1 ? "data/ui/" : "") + std::string("res") +
                           std::to_string(i) + ".dat";
        c.files[name] = GameData(o.fileSize, unsigned(i + 1));
        c.versions[name] = std::to_string(1 + i % 4);
    }

    // The full pack: every file but the last few, and the file list at its root.
    std::vector<PackEntry> full;
    int index = 0;
    const int keep = int(c.files.size()) - o.packLacks;
    for (const auto& [name, bytes] : c.files) {
        if (index++ >= keep) break;
        full.push_back({DemoContent::LocalName(name), bytes, name == "client.exe" ? 0755u : 0644u});
    }
    full.push_back({"version.pat", c.VersionPat(), 0644});
    c.fullPack = BuildPack(full);

    // The incremental pack from p1 to p2: the first two files.
    std::vector<PackEntry> inc;
    for (const auto& [name, bytes] : c.files) {
        if (inc.size() == 2) break;
        inc.push_back({DemoContent::LocalName(name), bytes, 0644});
    }
    c.newPack = BuildPack(inc);
    return c;
}

}  // namespace fldemo
