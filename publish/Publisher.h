#pragma once
// Publishing a release of the game as a resource tree: every file, the file
// list, the full pack, the incremental pack from a previous release, the
// launcher, and the signed hash list. Safe to run into a live tree: content
// first (new names only), the lists last, each written under a temporary name
// and renamed; running it twice with the same input changes nothing.
#include <string>

namespace fl {

struct PublishOptions {
    std::string gameDir;          // the game's files
    std::string outDir;           // the resource tree (created when missing)
    std::string previousDir;      // the previous release's tree, or empty
    std::string launcherFile;     // a new launcher, or empty
    std::string launcherVersion;  // its version
    std::string keyFile;          // an unencrypted minisign secret key, or empty
    std::string release;          // empty: named after the content
    long long time = 0;           // the publishing time (seconds); 0: now
    int keep = 3;                 // releases whose files stay in the tree (at least 1)
    bool dryRun = false;          // everything read and reckoned, nothing written to the tree
};

// False with `error` set when nothing usable was written. `report` (when
// given) receives what the release costs players; a publication also keeps it
// beside the release.
bool PublishRelease(const PublishOptions& options, std::string& error, std::string* report = nullptr);

// A key pair in minisign's format: "<prefix>.pub" and "<prefix>.key".
bool WriteKeyPair(const std::string& prefix, std::string& error);

}  // namespace fl
