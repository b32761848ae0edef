#pragma once
// A release's signed lists: its hash list made from what the tree holds, its
// signature, and the lists put in place (the copies first, the hash list last),
// for a publication and for a rollback alike.
#include <map>
#include <string>

#include "update/integrity/Minisign.h"

namespace fl {

// Size and SHA-256 of a regular file, read once a piece at a time (files may be larger than memory).
bool HashFile(const std::string& path, long long& size, std::string& sha256);

// Release `release`'s hash list: `gameFileLines` ("name|SIZE SHA256" lines, by
// name), then its packs, chunk files and launcher (its own copy's bytes) as
// `tree` holds them, then `lists` (name → bytes) under their own names and the
// release's.
std::string MakeHashList(const std::string& tree, const std::string& release, const std::string& previous,
                         const std::string& gameFileLines, const std::map<std::string, std::string>& lists);

// Key/value lines "key|value" of a list in the tree (empty when absent).
std::map<std::string, std::string> ReadListValues(const std::string& path);

bool ReadSecretKey(const std::string& keyFile, MinisignSecretKey& key, std::string& error);
// The signature in place in `tree` (hash.pat.minisig), parsed; false when there is none.
bool SignatureInPlace(const std::string& tree, MinisignSignature& signature, long long& time);
// `list` signed for `release` at `time` (0: now), and never at or before the
// signature in place: launchers refuse a list no younger than one they hold.
std::string SignLater(const MinisignSecretKey& key, const std::string& tree, const std::string& release,
                      const std::string& list, long long time);

// The lists in place: `lists` (with gzip copies), the signature, then the hash list.
bool PutListsInPlace(const std::string& tree, const std::map<std::string, std::string>& lists,
                     const std::string& signature, const std::string& hashList, std::string& error);

}  // namespace fl
