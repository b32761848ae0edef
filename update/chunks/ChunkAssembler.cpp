#include "update/chunks/ChunkAssembler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "app/Folders.h"
#include "platform/FileOps.h"
#include "update/integrity/BodyCheck.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

bool WriteAt(int fd, const char* data, size_t size, long long offset) {
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, off_t(offset));
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

bool ReadAt(const std::string& path, std::string& out, long long offset) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = pread(fd, out.data() + got, out.size() - got, off_t(offset + (long long)got));
        if (n <= 0) break;
        got += size_t(n);
    }
    close(fd);
    return got == out.size();
}

}  // namespace

CChunkAssembler::CChunkAssembler(std::string root, const CChunkIndex& index, const CLocalChunks& local)
    : m_strRoot(std::move(root)), m_index(index), m_local(local) {}

CChunkAssembler::~CChunkAssembler() { Discard(m_bResumable); }

std::string CChunkAssembler::PartialName(const IndexedFile& file) {
    return kPartialFolder + Sha256Of(file.name + "\n" + file.sha256).substr(0, 40);
}

void CChunkAssembler::AdoptPartials(const std::string& root, const CChunkIndex& index, CLocalChunks& local) {
    std::set<std::string> needed;
    std::string bytes;
    for (const IndexedFile& file : index.m_files) {
        const std::string name = PartialName(file);
        needed.insert(name.substr(std::strlen(kPartialFolder)));
        struct stat st {};
        if (stat((root + name).c_str(), &st) != 0 || (long long)st.st_size != file.size) continue;
        long long at = 0;
        for (const ChunkRef& c : file.chunks) {
            bytes.resize(size_t(c.size));
            if (ReadAt(root + name, bytes, at) && Sha256Of(bytes) == c.sha256)
                local.AddChunk(name, at, c.size, c.sha256);
            at += c.size;
        }
    }
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(root + kPartialFolder, ec))
        if (!needed.count(e.path().filename().string())) std::filesystem::remove(e.path(), ec);
}

void CChunkAssembler::Discard(bool keep) {
    for (Target& t : m_targets) {
        if (t.fd >= 0) close(t.fd);
        t.fd = -1;
        if (!keep) unlink((m_strRoot + PartialName(*t.file)).c_str());
    }
    m_targets.clear();
    if (!keep) rmdir((m_strRoot + kPartialFolder).c_str());  // only when empty
}

bool CChunkAssembler::ClearWay(const std::string& name, std::string& why) const {
    // A file where the release has a folder: the release no longer has that file.
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        const std::string folder = m_strRoot + name.substr(0, slash);
        struct stat st {};
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

bool CChunkAssembler::WriteChunk(const std::string& sha256, const char* data, size_t size) {
    std::lock_guard lock(m_cs);  // the two workers write into the same files
    auto [from, to] = m_places.equal_range(sha256);
    for (auto it = from; it != to; ++it)
        if (!WriteAt(m_targets[it->second.first].fd, data, size, it->second.second)) return false;
    m_places.erase(from, to);
    return true;
}

bool CChunkAssembler::FetchRanges(const std::vector<StoreRange>& ranges, IStoreSource& source,
                                  const std::map<long long, const ChunkRef*>& remote, std::string& why, bool& failed) {
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    std::string frame, plain;
    for (const StoreRange& range : ranges) {
        long long position = range.offset;
        auto next = remote.lower_bound(position);
        frame.clear();
        const bool got = source.Fetch(range, [&](const char* data, size_t size) {
            m_nFetched += (long long)size;
            while (size > 0 && !failed) {
                if (next == remote.end() || next->first >= range.offset + range.length) return true;  // the rest is a gap
                const ChunkRef& c = *next->second;
                if (position < c.offset) {  // bytes between wanted chunks
                    const size_t skip = size_t(std::min<long long>(c.offset - position, (long long)size));
                    position += (long long)skip;
                    data += skip;
                    size -= skip;
                    continue;
                }
                const size_t take = size_t(std::min<long long>(c.stored - (long long)frame.size(), (long long)size));
                frame.append(data, take);
                position += (long long)take;
                data += take;
                size -= take;
                if ((long long)frame.size() < c.stored) continue;
                plain.resize(size_t(c.size));
                const size_t n = ZSTD_decompressDCtx(dctx, plain.data(), plain.size(), frame.data(), frame.size());
                if (ZSTD_isError(n) || n != size_t(c.size) || Sha256Of(plain) != c.sha256) {
                    why = "a chunk of the store is not the one the index names (at " + std::to_string(c.offset) + ")";
                    failed = true;
                } else if (!WriteChunk(c.sha256, plain.data(), plain.size())) {
                    why = "cannot write a chunk";
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
    }
    ZSTD_freeDCtx(dctx);
    return true;
}

bool CChunkAssembler::Run(const ChunkPlan& plan, IStoreSource& source, std::string& why) {
    return Run(plan, std::vector<IStoreSource*>{&source}, why);
}

bool CChunkAssembler::Run(const ChunkPlan& plan, const std::vector<IStoreSource*>& sources, std::string& why) {
    Discard(true);
    m_places.clear();
    m_bResumable = false;
    // Each file to build as a partial file of its final size; one an earlier
    // run left keeps its bytes (its checked chunks are among the sources).
    for (const IndexedFile* file : plan.build) {
        const std::string partial = m_strRoot + PartialName(*file);
        Target t{file, -1};
        if (EnsureFolder(m_strRoot + kPartialFolder)) t.fd = open(partial.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        m_targets.push_back(t);
        struct stat st {};
        if (t.fd < 0 || fstat(t.fd, &st) != 0 ||
            ((long long)st.st_size != file->size && (ftruncate(t.fd, 0) != 0 || ftruncate(t.fd, off_t(file->size)) != 0))) {
            why = "cannot write " + partial;
            Discard();
            return false;
        }
        long long at = 0;
        for (const ChunkRef& c : file->chunks) {
            m_places.emplace(c.sha256, std::make_pair(m_targets.size() - 1, at));
            at += c.size;
        }
    }
    // What the folder holds, each checked before it is used; what is not as the cache said is fetched.
    std::map<long long, const ChunkRef*> remote;  // by store offset
    std::set<std::string> done;
    for (const IndexedFile* file : plan.build)
        for (const ChunkRef& c : file->chunks) {
            if (done.count(c.sha256)) continue;
            const LocalChunk* here = m_local.Find(c.sha256);
            std::string bytes;
            if (here && here->size == c.size) {
                bytes.resize(size_t(c.size));
                if (!ReadAt(m_strRoot + here->name, bytes, here->offset) || Sha256Of(bytes) != c.sha256) {
                    ++m_nStale;
                    here = nullptr;
                }
            }
            if (!here) {
                remote.emplace(c.offset, &c);
                continue;
            }
            if (!WriteChunk(c.sha256, bytes.data(), bytes.size())) {
                why = "cannot write a chunk of " + file->name;
                Discard();
                return false;
            }
            done.insert(c.sha256);
        }
    // The store's ranges: the planned ones, and single chunks for stale local ones.
    std::vector<StoreRange> ranges = plan.fetch;
    for (const auto& [offset, c] : remote) {
        bool covered = false;
        for (const StoreRange& r : plan.fetch) covered |= offset >= r.offset && offset + c->stored <= r.offset + r.length;
        if (!covered) ranges.push_back({offset, c->stored});
    }
    // Two workers, each with about half the bytes: a range across the middle is cut at a chunk.
    std::vector<std::vector<StoreRange>> shares(sources.size() > 1 ? 2 : 1);
    long long total = 0, given = 0;
    for (const StoreRange& r : ranges) total += r.length;
    for (StoreRange r : ranges) {
        if (shares.size() == 1) {
            shares[0].push_back(r);
            continue;
        }
        if (given < total / 2 && given + r.length > total / 2) {
            auto cut = remote.lower_bound(r.offset + (total / 2 - given));
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
    std::string whyOther;
    bool failedHere = false, failedOther = false, gotHere = true, gotOther = true;
    std::thread other;
    if (shares.size() > 1 && !shares[1].empty())
        other = std::thread([&] { gotOther = FetchRanges(shares[1], *sources[1], remote, whyOther, failedOther); });
    gotHere = FetchRanges(shares[0], *sources[0], remote, why, failedHere);
    if (other.joinable()) other.join();
    if (why.empty()) why = whyOther;
    if (!gotHere || !gotOther) {
        // Unreachable, or stopped: what is built so far is kept for the next run.
        m_bResumable = !failedHere && !failedOther && (gotHere || sources[0]->FailureIsTransient()) &&
                       (gotOther || sources.back()->FailureIsTransient());
        if (why.empty()) why = "the chunk store could not be read";
        Discard(m_bResumable);
        return false;
    }
    if (!m_places.empty()) {
        why = "chunks were missing from the store";
        Discard();
        return false;
    }
    // Every file is checked whole before any is put in place.
    for (Target& t : m_targets) {
        const std::string temp = m_strRoot + PartialName(*t.file);
        const bool closed = fchmod(t.fd, t.file->mode) == 0 && close(t.fd) == 0;
        t.fd = -1;
        const std::string verdict = CheckFile(temp, {true, true, t.file->size, t.file->sha256});
        if (!closed || !verdict.empty()) {
            why = t.file->name + " as built " + (closed ? verdict : std::string("could not be written"));
            Discard();
            return false;
        }
    }
    for (Target& t : m_targets) {
        const std::string path = m_strRoot + t.file->name;
        if (!ClearWay(t.file->name, why) || !EnsureFolder(ParentOf(path)) ||
            std::rename((m_strRoot + PartialName(*t.file)).c_str(), path.c_str()) != 0) {
            if (why.empty()) why = "cannot put " + t.file->name + " in place";
            Discard();
            return false;
        }
    }
    m_targets.clear();
    rmdir((m_strRoot + kPartialFolder).c_str());
    return true;
}

}  // namespace fl
