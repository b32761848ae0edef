#pragma once
// What an update costs a player, told from the tree alone: the requests the
// launcher makes to reach the release the lists in place name, from a folder
// whole for an earlier release (or from nothing), and their bytes. It follows
// the launcher's own choices (delta index or whole index, patches, chunk
// ranges merged and shared by two workers) through the engine's own planning,
// and counts a list by its gzip copy where the tree has one (a server that
// sends them: nginx's gzip_static).
#include <string>

#include "update/chunks/ChunkIndex.h"
#include "update/integrity/HashList.h"

namespace fl {

struct RequestCost {
    long long bytes = 0;
    int requests = 0;
    void Add(long long b, int n = 1) {
        bytes += b;
        requests += n;
    }
    void Add(const RequestCost& other) { Add(other.bytes, other.requests); }
};

struct PlayerCost {
    std::string from;     // the release the folder is whole for; empty: a fresh folder
    bool known = false;   // false: the tree no longer holds that release's index
    bool delta = false;   // the delta index serves it
    long long filesBuilt = 0, patchesUsed = 0;
    RequestCost lists, index, patches, chunks;
    RequestCost Total() const {
        RequestCost t = lists;
        for (const RequestCost* c : {&index, &patches, &chunks}) t.Add(*c);
        return t;
    }
};

// Bytes a server sends for a list or an index of `tree`: its gzip copy's when
// it has one; -1 when the file is missing.
long long ListBytes(const std::string& tree, const std::string& name);

// The updates to the release `tree`'s lists in place name: its list and index
// are read once, for every player reckoned.
class CUpdateCosts {
public:
    explicit CUpdateCosts(std::string tree);
    const std::string& Release() const { return m_list.Release(); }
    // Null when the tree holds no readable list or index of the release.
    const CChunkIndex* Index() const { return m_bRead ? &m_index : nullptr; }
    // A folder whole for release `from` (empty: a fresh folder).
    PlayerCost From(const std::string& from) const;

private:
    std::string m_strTree;
    CHashList m_list;
    CChunkIndex m_index;
    bool m_bRead = false;
};

}  // namespace fl
