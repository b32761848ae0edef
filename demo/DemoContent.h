#pragma once
// The demo platform's resource tree: game files with versions, the full pack
// (which also ships with the installer), an incremental pack, the version files.
#include <map>
#include <string>

namespace fldemo {

struct ContentOptions {
    int files = 24;                 // files in the tree besides client.exe
    size_t fileSize = 4096;         // bytes of each
    std::string clientBytes;        // client.exe; a small script when empty
    std::string launcherVersion = "1.0.6";
    std::string launcherBytes = "#!/bin/sh\necho new launcher\n";
    int packLacks = 4;              // the last N files are missing from the full pack
    int delayMs = 0;                // each single file is answered this much later (to watch progress)
    bool autoLogin = false;         // the login page submits itself (for runs without a player)
};

struct DemoContent {
    std::map<std::string, std::string> files;     // name (as listed) -> bytes, at the current version
    std::map<std::string, std::string> versions;  // name -> version
    std::string fullPackName = "fenwa_full";      // "<name>.zip" on the server, "<name>.dydr" for the installer
    std::string newVersion = "p2", lastVersion = "p1";
    std::string fullPack, newPack;                // archives
    std::string installVersion = "i1";
    std::string launcherVersion, launcherBytes;
    int delayMs = 0;
    bool autoLogin = false;
    bool sendValidators = true;  // ETag on every resource
    bool honourRanges = true;    // else every answer is the whole body
    // "hash.pat" and its signature: of the content as it is when asked for,
    // unless fixed (a test then changes the content behind the list's back).
    bool serveHashList = true;
    std::string fixedHashList, fixedSignature;

    std::string VersionPat() const;
    std::string PackVersionPat() const;
    std::string LuncherVersionPat() const;
    // The local path of a listed name ("\" becomes "/").
    static std::string LocalName(const std::string& name);
};

DemoContent BuildDemoContent(const ContentOptions& options);
// Letters that compress like real game data, not trivially; the same for the same seed.
std::string GameData(size_t size, unsigned seed);

}  // namespace fldemo
