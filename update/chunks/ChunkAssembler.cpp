#include "update/chunks/ChunkAssembler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <condition_variable>
#include <thread>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "update/integrity/BodyCheck.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

RemoteChunks::const_iterator LowerBound(const RemoteChunks& remote, long long offset) {
    return std::lower_bound(remote.begin(), remote.end(), offset,
                            [](const std::pair<long long, const ChunkRef*>& e, long long o) { return e.first < o; });
}

}  // namespace

CChunkAssembler::CChunkAssembler(std::string root, const CChunkIndex& index, const CLocalChunks& local)
    : m_strRoot(std::move(root)),
      m_index(index),
      m_local(local),
      m_files([this](size_t i) { return m_strRoot + PartialName(*m_targets[i]); }) {}

CChunkAssembler::~CChunkAssembler() { Discard(m_bResumable); }

std::string CChunkAssembler::PartialName(const IndexedFile& file) {
    return kPartialFolder + Sha256Of(file.name + "\n" + file.sha256.Hex()).substr(0, 40);
}

void CChunkAssembler::AdoptPartials(const std::string& root, const CChunkIndex& index, CLocalChunks& local) {
    std::set<std::string> needed;
    std::string bytes;
    for (const IndexedFile& file : index.m_files) {
        if (file.whole) continue;  // nothing to build
        const std::string name = PartialName(file);
        needed.insert(name.substr(std::strlen(kPartialFolder)));
        struct stat st {};
        if (stat((root + name).c_str(), &st) != 0 || (long long)st.st_size != file.size) continue;
        long long at = 0;
        for (const ChunkRef& c : file.chunks) {
            bytes.resize(size_t(c.size));
            if (ReadFileAt(root + name, bytes, at) && Sha256DigestOf(bytes) == c.sha256)
                local.AddChunk(name, at, c.size, c.sha256);
            at += c.size;
        }
    }
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(root + kPartialFolder, ec))
        if (!needed.count(e.path().filename().string())) std::filesystem::remove(e.path(), ec);
}

long long CChunkAssembler::BytesHeld(const std::string& root, const ChunkPlan& plan) {
    long long held = 0;
    for (const IndexedFile* file : plan.build) {
        struct stat st {};
        if (stat((root + PartialName(*file)).c_str(), &st) == 0 && (long long)st.st_size == file->size)
            held += std::min<long long>((long long)st.st_blocks * 512, file->size);
    }
    return held;
}

void CChunkAssembler::Discard(bool keep) {
    m_files.CloseAll();
    if (!keep)
        for (const IndexedFile* file : m_targets) unlink((m_strRoot + PartialName(*file)).c_str());
    m_targets.clear();
    m_files.Clear();
    if (!keep) rmdir((m_strRoot + kPartialFolder).c_str());  // only when empty
}

bool CChunkAssembler::ClearWay(const std::string& name, std::string& why) const {
    // A file where the release has a folder: the release no longer has that file.
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        const std::string folder = m_strRoot + name.substr(0, slash);
        struct stat st {}, target {};
        // A link to a folder is a folder the player moved elsewhere: files go on behind it.
        if (lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && stat(folder.c_str(), &target) == 0 &&
            S_ISDIR(target.st_mode))
            continue;
        if (lstat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && unlink(folder.c_str()) != 0) {
            why = "cannot put " + name + " in place: " + name.substr(0, slash) + " cannot be removed";
            return false;
        }
    }
    // A folder where the release has a file: removed when it holds only files
    // the launcher put there (nothing of the player's is lost).
    const std::string path = m_strRoot + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec); !ec && it != std::filesystem::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory()) continue;
        const std::string inner = std::filesystem::relative(it->path(), m_strRoot).generic_string();
        if (!m_local.Knows(inner)) {
            why = "cannot put " + name + " in place: the folder " + name + " holds " + inner + ", not a file of the game";
            return false;
        }
    }
    std::filesystem::remove_all(path, ec);
    if (ec) why = "cannot put " + name + " in place: the folder " + name + " cannot be removed";
    return !ec;
}

bool TakeFrame(long long& position, const char*& data, size_t& size, long long offset, long long stored,
               std::string& frame) {
    if (position < offset) {  // bytes between wanted frames
        const size_t skip = size_t(std::min<long long>(offset - position, (long long)size));
        position += (long long)skip;
        data += skip;
        size -= skip;
        return false;
    }
    const size_t take = size_t(std::min<long long>(stored - (long long)frame.size(), (long long)size));
    frame.append(data, take);
    position += (long long)take;
    data += take;
    size -= take;
    return (long long)frame.size() == stored;
}

bool CChunkAssembler::WriteChunk(const Digest& sha256, const char* data, size_t size) {
    std::lock_guard lock(m_cs);  // the two workers write into the same files
    auto [from, to] = m_places.equal_range(sha256);
    for (auto it = from; it != to; ++it)
        if (!m_files.WriteAt(it->second.first, data, size, it->second.second)) {
            if (IsDiskFull(errno)) m_bDiskFull = true;
            return false;
        }
    m_places.erase(from, to);
    return true;
}

bool CChunkAssembler::FetchRanges(const std::vector<StoreRange>& ranges, IStoreSource& source,
                                  const RemoteChunks& remote, std::string& why, bool& failed,
                                  const std::function<void()>& answered) {
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    std::string frame, plain;
    bool first = true;
    for (const StoreRange& range : ranges) {
        long long position = range.offset;
        auto next = LowerBound(remote, position);
        frame.clear();
        const bool got = source.Fetch(range, [&](const char* data, size_t size) {
            if (first && answered) answered();
            first = false;
            m_nFetched += (long long)size;
            // A server that sent the whole store: read on past the range while chunks are wanted.
            const bool onward = source.RangesIgnored();
            while (size > 0 && !failed) {
                if (next == remote.end()) return !onward;
                if (!onward && next->first >= range.offset + range.length) return true;  // the rest is a gap
                const ChunkRef& c = *next->second;
                if (!TakeFrame(position, data, size, c.offset, c.stored, frame)) continue;
                plain.resize(size_t(c.size));
                const size_t n = ZSTD_decompressDCtx(dctx, plain.data(), plain.size(), frame.data(), frame.size());
                if (ZSTD_isError(n) || n != size_t(c.size) || Sha256DigestOf(plain) != c.sha256) {
                    why = "a chunk of the store is not the one the index names (at " + std::to_string(c.offset) + ")";
                    failed = true;
                } else if (!WriteChunk(c.sha256, plain.data(), plain.size())) {
                    why = m_bDiskFull ? "the disk is full" : "cannot write a chunk";
                    failed = true;
                }
                frame.clear();
                ++next;
            }
            return !failed;
        });
        if (!got || failed) {
            ZSTD_freeDCtx(dctx);
            return false;
        }
        if (source.RangesIgnored()) break;  // the one body served every range after this one
    }
    ZSTD_freeDCtx(dctx);
    return true;
}

bool CChunkAssembler::Run(const ChunkPlan& plan, IStoreSource& source, std::string& why) {
    return Run(plan, std::vector<IStoreSource*>{&source}, why);
}

std::vector<std::vector<StoreRange>> ShareRanges(const std::vector<StoreRange>& ranges, const RemoteChunks& remote,
                                                 size_t count) {
    std::vector<std::vector<StoreRange>> shares(count > 1 ? 2 : 1);
    long long total = 0, given = 0;
    for (const StoreRange& r : ranges) total += r.length;
    for (StoreRange r : ranges) {
        if (shares.size() == 1) {
            shares[0].push_back(r);
            continue;
        }
        if (given < total / 2 && given + r.length > total / 2) {
            auto cut = LowerBound(remote, r.offset + (total / 2 - given));
            if (cut != remote.end() && cut->first > r.offset && cut->first < r.offset + r.length) {
                shares[0].push_back({r.offset, cut->first - r.offset});
                given += cut->first - r.offset;
                r = {cut->first, r.offset + r.length - cut->first};
            }
        }
        if (given < total / 2) {
            shares[0].push_back(r);
            given += r.length;
        } else {
            shares[1].push_back(r);
        }
    }
    return shares;
}

bool CChunkAssembler::FetchFromWholeStore(IStoreSource& source, const RemoteChunks& remote,
                                          std::string& why, bool& failed) {
    RemoteChunks wanted;
    {
        std::lock_guard lock(m_cs);
        for (const auto& [offset, c] : remote)
            if (m_places.count(c->sha256)) wanted.emplace_back(offset, c);
    }
    if (wanted.empty()) return true;
    const long long end = wanted.rbegin()->first + wanted.rbegin()->second->stored;
    why.clear();
    // From the store's first byte: the answer is the whole body, read up to the last chunk wanted.
    return FetchRanges({{0, end}}, source, wanted, why, failed);
}

bool CChunkAssembler::PlaceAll(std::string& why) {
    m_files.CloseAll();
    // Every file is checked whole before any is put in place.
    for (const IndexedFile* file : m_targets) {
        const std::string temp = m_strRoot + PartialName(*file);
        bool follow = false;
        const std::string verdict = chmod(temp.c_str(), file->mode) == 0 ? CheckBuiltFile(temp, *file, m_index.m_params, follow)
                                                                         : std::string("could not be written");
        if (!verdict.empty()) {
            why = file->name + " as built " + verdict;
            return false;
        }
        if (follow) m_setCutsFollow.insert(file);
    }
    for (const IndexedFile* file : m_targets) {
        const std::string path = m_strRoot + file->name;
        if (!ClearWay(file->name, why)) return false;
        std::string verdict = EnsureFolder(ParentOf(path)) ? PlaceBuiltFile(m_strRoot + PartialName(*file), path, *file)
                                                           : std::string("has no folder to go in");
        if (!verdict.empty()) {
            why = "cannot put " + file->name + " in place: it " + verdict;
            return false;
        }
    }
    return true;
}

bool CChunkAssembler::Run(const ChunkPlan& plan, const std::vector<IStoreSource*>& sources, std::string& why) {
    Discard(true);
    m_places.clear();
    m_bResumable = false;
    m_bDiskFull = false;
    m_setCutsFollow.clear();
    // Each file to build as a partial file of its final size; one an earlier
    // run left keeps its bytes (its checked chunks are among the sources).
    const bool folder = EnsureFolder(m_strRoot + kPartialFolder);
    for (const IndexedFile* file : plan.build) {
        m_targets.push_back(file);
        if (!folder || !m_files.Add(file->size)) {
            m_bDiskFull = IsDiskFull(errno);
            why = m_bDiskFull ? "the disk is full" : "cannot write " + m_strRoot + PartialName(*file);
            m_bResumable = m_bDiskFull;
            m_targets.pop_back();
            Discard(m_bResumable);
            return false;
        }
        long long at = 0;
        for (const ChunkRef& c : file->chunks) {
            m_places.emplace(c.sha256, std::make_pair(m_targets.size() - 1, at));
            at += c.size;
        }
    }
    // What the folder holds, each checked before it is used; what is not as the cache said is fetched.
    RemoteChunks remote;
    std::set<Digest> done;
    for (const IndexedFile* file : plan.build)
        for (const ChunkRef& c : file->chunks) {
            if (done.count(c.sha256)) continue;
            const LocalChunk* here = m_local.Find(c.sha256);
            std::string bytes;
            if (here && here->size == c.size && !ReadLocalChunk(m_strRoot, *here, c.sha256, bytes)) {
                ++m_nStale;
                here = nullptr;
            }
            if (!here && c.stored <= 0) {
                // Known from the folder alone (a delta index names no place in the store for it).
                why = "a file of the folder changed during the update: " + file->name;
                Discard();
                return false;
            }
            if (!here) {
                remote.emplace_back(c.offset, &c);
                continue;
            }
            if (!WriteChunk(c.sha256, bytes.data(), bytes.size())) {
                why = m_bDiskFull ? "the disk is full" : "cannot write a chunk of " + file->name;
                m_bResumable = m_bDiskFull;
                Discard(m_bResumable);
                return false;
            }
            done.insert(c.sha256);
        }
    std::sort(remote.begin(), remote.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    remote.erase(std::unique(remote.begin(), remote.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                 remote.end());
    // The store's ranges: the planned ones, and single chunks for stale local ones.
    std::vector<StoreRange> ranges = plan.fetch;
    for (const auto& [offset, c] : remote) {
        bool covered = false;
        for (const StoreRange& r : plan.fetch) covered |= offset >= r.offset && offset + c->stored <= r.offset + r.length;
        if (!covered) ranges.push_back({offset, c->stored});
    }
    std::sort(ranges.begin(), ranges.end(), [](const StoreRange& a, const StoreRange& b) { return a.offset < b.offset; });
    const std::vector<std::vector<StoreRange>> shares = ShareRanges(ranges, remote, sources.size());
    std::string whyOther;
    bool failedHere = false, failedOther = false, gotHere = true, gotOther = true;
    // The second worker starts once the first one's answer is in: a server that
    // answers a range with the whole store serves every range from that one body,
    // read once; one that answers ranges has both read at once.
    std::mutex gate;
    std::condition_variable opened;
    bool answered = false, firstFailed = false;
    const auto open = [&] {
        std::lock_guard lock(gate);
        answered = true;
        opened.notify_all();
    };
    std::thread other;
    if (shares.size() > 1 && !shares[1].empty())
        other = std::thread([&] {
            std::unique_lock lock(gate);
            opened.wait(lock, [&] { return answered; });
            if (firstFailed || sources[0]->RangesIgnored()) return;
            lock.unlock();
            gotOther = FetchRanges(shares[1], *sources[1], remote, whyOther, failedOther);
        });
    if (!shares[0].empty()) gotHere = FetchRanges(shares[0], *sources[0], remote, why, failedHere, open);
    {
        std::lock_guard lock(gate);
        firstFailed = !gotHere && !answered;  // nothing came: the other worker would fail the same way
    }
    open();
    if (other.joinable()) other.join();
    if (why.empty()) why = whyOther;
    // A server that answered a range whole: what is still wanted comes from one more body.
    IStoreSource* whole = nullptr;
    for (IStoreSource* source : sources)
        if (!whole && source->RangesIgnored()) whole = source;
    if (whole && gotHere && gotOther && !failedHere && !failedOther) {
        gotHere = gotOther = FetchFromWholeStore(*whole, remote, why, failedHere);
    }
    if (!gotHere || !gotOther) {
        // Unreachable, stopped or out of room: what is built so far is kept for the next run.
        const bool transient = whole ? whole->FailureIsTransient()
                                     : (gotHere || sources[0]->FailureIsTransient()) &&
                                           (gotOther || sources.back()->FailureIsTransient());
        m_bResumable = m_bDiskFull || (!failedHere && !failedOther && transient);
        if (why.empty()) why = "the chunk store could not be read";
        Discard(m_bResumable);
        return false;
    }
    if (!m_places.empty()) {
        why = "chunks were missing from the store";
        Discard();
        return false;
    }
    if (!PlaceAll(why)) {
        Discard();
        return false;
    }
    m_targets.clear();
    m_files.Clear();
    rmdir((m_strRoot + kPartialFolder).c_str());
    return true;
}

}  // namespace fl
