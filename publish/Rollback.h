#pragma once
// Rolling a resource tree back to a release it still keeps, without that
// release's inputs: its game files rebuilt from its own chunks where the tree's
// differ, its launcher and lists in place again, its hash list signed anew and
// later than the signature in place. Launchers take it as any newer release:
// players at a later one come back through the normal update.
#include <string>

namespace fl {

struct RollbackOptions {
    std::string tree;
    std::string release;   // the release to put in place again
    std::string keyFile;   // the secret key that signs the tree
    bool force = false;    // sign with a key other than the one that signed the tree
    long long time = 0;    // the signing time (seconds); 0: now
    bool dryRun = false;   // everything checked and reckoned, nothing written to the tree
};

// False with `error` set when the tree was left as it was (a release not in
// the tree, its files pruned, another key). `report` says what it costs players.
bool RollBack(const RollbackOptions& options, std::string& report, std::string& error);

}  // namespace fl
