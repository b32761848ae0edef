#pragma once
// Game files put into a live tree: each under a temporary name, checked and
// renamed; room made where a release turns a file into a folder or back.
#include <string>

#include "update/integrity/HashList.h"

namespace fl {

// Copies `source` (of that size and hash) to `path` unless it holds it already;
// through a temporary name, a piece at a time. False when it could not, or the
// source changed since it was measured.
bool PutFile(const std::string& path, const std::string& source, long long size, const std::string& sha256);

// Makes room in the tree for game file `name` where the release turned a file
// into a folder or back: only what the list in place names is removed.
bool ClearTreeWay(const std::string& out, const std::string& name, const CHashList& published, std::string& error);

}  // namespace fl
