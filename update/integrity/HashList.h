#pragma once
// The signed list of hashes ("hash.pat"): a line "name|SIZE SHA256HEX" for
// every published file and pack, the first line "#release|NAME", in the
// key/value line format of the other lists; "hash.pat.minisig" signs its bytes.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/integrity/Digest.h"
#include "update/integrity/Minisign.h"

namespace fl {

struct HashEntry {
    long long size = -1;
    std::string sha256;  // 64 lower-case hex digits
};
// What Find answers: empty when the list does not name it.
using FoundEntry = std::optional<HashEntry>;
inline bool operator==(const FoundEntry& e, std::nullptr_t) { return !e; }
inline bool operator!=(const FoundEntry& e, std::nullptr_t) { return e.has_value(); }

class CHashList {
public:
    // False when any line is malformed, or a name is listed twice with two
    // contents (a list that is signed must be whole and unambiguous).
    bool Parse(const std::string& text);
    FoundEntry Find(const std::string& name) const;
    const std::string& Release() const { return m_strRelease; }
    size_t Size() const { return m_entries.size(); }
    // In order of name.
    void ForEach(const std::function<void(const std::string&, const HashEntry&)>& fn) const;

private:
    struct Entry {
        std::string name;  // "/" between folders
        long long size;
        Digest sha256;
    };
    std::string m_strRelease;
    std::vector<Entry> m_entries;  // sorted by name: compact for lists of many files
};

// The names a publisher replaces in place (the lists, the launcher) also stand
// under a name of their release that is never rewritten: "R.version.pat". A
// run that holds release R's list asks for those, so a release published
// while it runs, or a cache holding another release's copy, cannot mix.
std::string ReleaseCopyName(const std::string& release, const std::string& name);
const std::vector<std::string>& ReleaseCopiedNames();
// The signature of release R's list under a name of its own: "R.minisig"
// (signed anew only when the release is rolled back to).
std::string ReleaseSignatureName(const std::string& release);
// The publisher's report of what release R costs players: "R.report.txt".
std::string ReleaseReportName(const std::string& release);
// Every name release R gives its own files, written once and never rewritten:
// its packs, chunk store and index, patches, list copies, signature and report
// (and its delta indexes, "R.from-P.didx", which name another release too).
std::vector<std::string> ReleaseOwnFileNames(const std::string& release);

// The last signed list the run folder accepted, kept beside it with its
// signature ("<name>.minisig"): what the player already trusts.
inline constexpr const char* kKeptListFile = "hash.pat.kept";

// The trusted comment a release is signed with: "release NAME time SECONDS".
std::string MakeTrustedComment(const std::string& release, long long time);
bool ParseTrustedComment(const std::string& comment, std::string& release, long long& time);

// Public keys pinned in the build: the base64 lines of minisign public keys,
// separated by white space or ";". Keys that do not parse are left out.
std::vector<MinisignPublicKey> ParsePinnedKeys(const std::string& text);

// The list verified by any of `keys`, its release and publishing time from the
// trusted comment. False when no key made the signature or the comment is not ours.
bool VerifySignedList(const std::string& list, const std::string& signature, const std::vector<MinisignPublicKey>& keys,
                      std::string& release, long long& time);

}  // namespace fl
