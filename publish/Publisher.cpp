#include "publish/Publisher.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"
#include "publish/ChunkStore.h"
#include "publish/GzipCopy.h"
#include "publish/PatchWriter.h"
#include "update/chunks/ChunkIndex.h"
#include "update/chunks/DeltaIndex.h"
#include "update/chunks/PatchIndex.h"
#include "publish/ReleaseHistory.h"
#include "publish/ReleaseReport.h"
#include "publish/TreeMirror.h"
#include "publish/SignedLists.h"
#include "publish/TreeFiles.h"
#include "update/integrity/BodyCheck.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Minisign.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

namespace fs = std::filesystem;

struct FileInfo {
    long long size = 0;
    std::string sha256;
    std::string version;
};

// A pack of `names` from the game folder, with `list` as its "version.pat" (written first).
// An entry `from` (a pack of the same release) holds is copied as it is compressed there;
// a file `incompressible` names is stored as it is (deflate would only cost time). The
// packs are the launchers' fallback (the chunk store is what they fetch): deflated fast.
bool WritePackFile(const std::string& path, const std::string& gameDir, const std::vector<std::string>& names,
                   const std::string& list, const std::set<std::string>& incompressible, const std::string& from = {}) {
    const std::string temp = path + ".publishing";
    int err = 0;
    zip_t* za = zip_open(temp.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za) return false;
    zip_t* source = from.empty() ? nullptr : zip_open(from.c_str(), ZIP_RDONLY, &err);
    bool ok = true;
    auto add = [&](const std::string& name, zip_source_t* src, unsigned mode, bool store) {
        const zip_int64_t i = src ? zip_file_add(za, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
        if (i < 0) {
            if (src) zip_source_free(src);
            ok = false;
            return;
        }
        zip_set_file_compression(za, zip_uint64_t(i), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, store ? 0 : 1);
        zip_file_set_external_attributes(za, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, zip_uint32_t(0100000 | mode) << 16);
    };
    add("version.pat", zip_source_buffer(za, list.data(), list.size(), 0), 0644, false);
    for (const auto& name : names) {
        struct stat st {};
        const std::string file = gameDir + "/" + name;
        stat(file.c_str(), &st);
        const unsigned mode = (st.st_mode & 0100) ? 0755 : 0644;
        const zip_int64_t at = source ? zip_name_locate(source, name.c_str(), ZIP_FL_ENC_RAW) : -1;
        zip_stat_t zs;
        if (at >= 0 && zip_stat_index(source, zip_uint64_t(at), 0, &zs) == 0 && (zs.valid & ZIP_STAT_SIZE) &&
            zs.size == zip_uint64_t(st.st_size)) {
            // Compressed once: kept in its method (deflated or stored), libzip copies the bytes.
            zip_source_t* raw = zip_source_zip(za, source, zip_uint64_t(at), 0, 0, -1);
            const zip_int64_t i = raw ? zip_file_add(za, name.c_str(), raw, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
            if (i < 0) {
                if (raw) zip_source_free(raw);
                ok = false;
            } else {
                if (zs.valid & ZIP_STAT_COMP_METHOD) zip_set_file_compression(za, zip_uint64_t(i), zs.comp_method, 0);
                zip_file_set_external_attributes(za, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, zip_uint32_t(0100000 | mode) << 16);
            }
        } else {
            add(name, zip_source_file(za, file.c_str(), 0, -1), mode, incompressible.count(name) != 0);
        }
        if (!ok) break;
    }
    const bool closed = ok && zip_close(za) == 0;
    if (!ok) zip_discard(za);
    if (source) zip_discard(source);
    if (!closed) {
        unlink(temp.c_str());
        return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

// What the steps of one publication share.
struct Release {
    explicit Release(const PublishOptions& options) : o(options), out(options.outDir) {}
    const PublishOptions& o;
    const std::string out;
    std::map<std::string, FileInfo> files;  // the game's files, by name
    std::string name, fullName, incName, indexName, storeName, patchIndexName, patchStoreName;
    std::string deltaIndexName;  // against the previous release, when there is one
    std::set<std::string> own;              // the tree's own names
    std::string previousRelease;
    std::vector<std::string> changed;       // files new or changed since the previous release
    PatchFigures patches;
    std::string versionList, hashList, signature;
    std::map<std::string, std::string> lists;  // the small lists, by name
};

// The game's files, by name; names that could not be served are refused.
bool ReadGameFolder(Release& r, std::string& error) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(r.o.gameDir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const std::string name = fs::relative(it->path(), r.o.gameDir).generic_string();
        if (IsReservedName(name)) {
            error = "a game file may not be named " + ShortName(name) + ": the launcher keeps its own records in " +
                    kRecordsFolder + "/ of the game's folder";
            return false;
        }
        if (!IsSafeRelativeName(name) || name == "version.pat") {
            error = "not a name the launcher would accept: " + ShortName(name);
            return false;
        }
        FileInfo info;
        if (!HashFile(it->path().string(), info.size, info.sha256)) {
            error = "cannot read " + it->path().string();
            return false;
        }
        r.files[name] = info;
    }
    if (ec || r.files.empty()) {
        error = "no files in " + r.o.gameDir;
        return false;
    }
    return true;
}

// The release: as given, or named after the content (the same input, the same release).
bool NameRelease(Release& r, std::string& error) {
    r.name = r.o.release;
    if (r.name.empty()) {
        CSha256 h;
        for (const auto& [name, f] : r.files) h.Update((name + "|" + f.sha256 + "\n").data(), name.size() + 66);
        r.name = "r" + h.HexDigest().substr(0, 12);
    }
    if (!IsSafeRelativeName(r.name + "_full.zip") || r.name.find_first_of("/\\| ") != std::string::npos) {
        error = "not a usable release name: " + r.name;
        return false;
    }
    r.fullName = r.name + "_full.zip";
    r.incName = r.name + ".zip";
    r.indexName = r.name + ".idx";
    r.storeName = r.name + ".chunks";
    r.patchIndexName = PatchIndexName(r.name);
    r.patchStoreName = PatchStoreName(r.name);
    return true;
}

// The tree's own names are never a game file's: one would be published over
// the other, or listed twice.
bool CheckOwnNames(Release& r, std::string& error) {
    r.own = {"version.pat", "PackVersion.pat", "hash.pat", "hash.pat.minisig", "luncherVersion.pat",
             "FLauncher_zelt.exe", kPublishedHistory};
    // This release's names, and those of every release the tree or the previous one knows of.
    std::vector<std::string> releases = ReadPublishedHistory(r.out);
    releases.push_back(r.name);
    for (const std::string& tree : {r.out, r.o.previousDir}) {
        if (tree.empty()) continue;
        auto packs = ReadListValues(tree + "/PackVersion.pat");
        for (const char* key : {"newversion", "lastversion"})
            if (!packs[key].empty()) releases.push_back(packs[key]);
        if (!packs["full_pack"].empty()) r.own.insert(packs["full_pack"] + ".zip");
    }
    for (const std::string& release : releases)
        for (const std::string& name : ReleaseOwnFileNames(release)) r.own.insert(name);
    // The lists' gzip copies.
    for (const std::string& name : std::set<std::string>(r.own)) r.own.insert(name + ".gz");
    for (const auto& [name, f] : r.files)
        if (r.own.count(name)) {
            error = "a game file may not be named " + ShortName(name) + ": the resource tree uses that name itself";
            return false;
        }
    return true;
}

// A release name stands for one content. Published again, it must be the
// same content, or its packs and lists would disagree with its files.
bool CheckSameContent(const Release& r, std::string& error) {
    std::string text;
    CHashList published;
    const bool same = ReadWholeFile(r.out + "/hash.pat", text) && published.Parse(text) && published.Release() == r.name;
    if (same) {
        size_t listedFiles = 0;
        published.ForEach([&](const std::string& name, const HashEntry& e) {
            if (r.own.count(name) || IsDeltaIndexName(r.name, name)) return;
            ++listedFiles;
            auto f = r.files.find(name);
            if (f == r.files.end() || f->second.size != e.size || f->second.sha256 != e.sha256) listedFiles = ~size_t(0) / 2;
        });
        if (listedFiles != r.files.size()) {
            error = "release " + r.name + " is published in " + r.out +
                    " with other content; publish the new content under a new --release name";
            return false;
        }
    } else if (!r.o.release.empty() && (PathFileExists(r.out + "/" + r.fullName) || PathFileExists(r.out + "/" + r.incName) ||
                                        PathFileExists(r.out + "/" + r.indexName))) {
        // Packs of that name from an earlier publication: nothing proves they hold this content.
        error = "release " + r.name + " was published in " + r.out +
                " before; publish under a new --release name (or remove its packs first; while the tree keeps it, "
                "fenwa-publish --rollback " + r.name + " puts it in place again)";
        return false;
    }
    return true;
}

// Versions: kept while the content is unchanged since the previous release.
void PlanVersions(Release& r) {
    std::map<std::string, std::string> previousVersions;
    CHashList previousHashes;
    if (!r.o.previousDir.empty()) {
        previousVersions = ReadListValues(r.o.previousDir + "/version.pat");
        std::string text;
        if (ReadWholeFile(r.o.previousDir + "/hash.pat", text) && previousHashes.Parse(text))
            r.previousRelease = previousHashes.Release();
        auto packs = ReadListValues(r.o.previousDir + "/PackVersion.pat");
        if (r.previousRelease.empty()) r.previousRelease = packs["newversion"];
        // This release published again over itself: its previous release stays the one before.
        if (r.previousRelease == r.name) r.previousRelease = packs["lastversion"];
    }
    if (!r.previousRelease.empty()) r.deltaIndexName = DeltaIndexName(r.name, r.previousRelease);
    for (auto& [name, f] : r.files) {
        const FoundEntry old = previousHashes.Find(name);
        auto pv = previousVersions.find(name);
        const bool same = old && old->sha256 == f.sha256 && old->size == f.size && pv != previousVersions.end();
        f.version = same ? pv->second : r.name;
        if (!same) r.changed.push_back(name);
    }
    for (const auto& [name, f] : r.files) r.versionList += name + "|" + f.version + "\r\n";
}

// Files whose chunks zstd could not make smaller than 97 %: deflate would not either.
std::set<std::string> IncompressibleFiles(const std::string& indexPath) {
    std::set<std::string> names;
    CChunkIndex index;
    std::string why;
    index.ParseFile(indexPath, why, [&](IndexedFile& f) {
        long long stored = 0;
        for (const ChunkRef& c : f.chunks) stored += c.stored;
        if (f.size > 0 && stored * 100 >= f.size * 97) names.insert(f.name);
        return true;  // only the figures are kept
    });
    return names;
}

// Content first: the files, the chunks, the packs under names of their own, the launcher.
bool WriteContent(Release& r, std::string& error) {
    CHashList inPlace;
    if (std::string text; ReadWholeFile(r.out + "/hash.pat", text)) inPlace.Parse(text);
    for (const auto& [name, f] : r.files) {
        if (!ClearTreeWay(r.out, name, inPlace, error)) return false;
        if (!PutFile(r.out + "/" + name, r.o.gameDir + "/" + name, f.size, f.sha256)) {
            error = "cannot write " + r.out + "/" + name + " (or it changed while it was published)";
            return false;
        }
    }
    // The release as chunks, for launchers that fetch only what changed.
    if (!PathFileExists(r.out + "/" + r.indexName) || !PathFileExists(r.out + "/" + r.storeName)) {
        std::vector<ChunkSource> sources;
        for (const auto& [name, f] : r.files) sources.push_back({name, r.o.gameDir + "/" + name, f.size, f.sha256});
        if (!WriteChunkedRelease(r.out, r.name, sources, ChunkerParams(), error)) return false;
        if (!WriteGzipCopyOf(r.out + "/" + r.indexName)) {
            error = "cannot write " + r.indexName + ".gz";
            return false;
        }
        // What a launcher at the previous release needs: written with the chunks, once.
        if (!r.previousRelease.empty()) {
            const std::string previousTree =
                PathFileExists(r.out + "/" + r.previousRelease + ".idx") || r.o.previousDir.empty() ? r.out : r.o.previousDir;
            if (r.files.count(r.deltaIndexName)) {
                error = "a game file may not be named " + ShortName(r.deltaIndexName) + ": the resource tree uses that name itself";
                return false;
            }
            ReleasePair pair;
            if (!pair.Read(r.out, r.name, previousTree, r.previousRelease, error) ||
                !WriteReleasePatches(pair, r.patches, error) || !WriteDeltaIndex(pair, r.patches, error))
                return false;
        }
    }
    std::vector<std::string> all;
    for (const auto& [name, f] : r.files) all.push_back(name);
    const std::set<std::string> incompressible = IncompressibleFiles(r.out + "/" + r.indexName);
    auto pack = [&](const std::string& packName, const std::vector<std::string>& names, const std::string& from) {
        const std::string path = r.out + "/" + packName;
        // A release's pack is written once (its content was proven the same above).
        return PathFileExists(path) || WritePackFile(path, r.o.gameDir, names, r.versionList, incompressible, from);
    };
    // The incremental pack's entries are the full pack's, copied compressed: no file is deflated twice.
    if (!pack(r.fullName, all, {}) || (!r.previousRelease.empty() && !pack(r.incName, r.changed, r.out + "/" + r.fullName))) {
        error = "cannot write the packs";
        return false;
    }
    if (!r.o.launcherFile.empty()) {
        long long size = 0;
        std::string sha;
        if (!HashFile(r.o.launcherFile, size, sha) || !PutFile(r.out + "/FLauncher_zelt.exe", r.o.launcherFile, size, sha)) {
            error = "cannot publish the launcher " + r.o.launcherFile;
            return false;
        }
    }
    return true;
}

// The small lists, and each of them and the launcher under the release's own name, never rewritten.
bool WriteReleaseCopies(Release& r, std::string& error) {
    std::string packList = "newversion|" + r.name + "\r\n";
    if (!r.previousRelease.empty()) packList += "lastversion|" + r.previousRelease + "\r\n";
    packList += "full_pack|" + r.name + "_full\r\n";
    r.lists = {{"version.pat", r.versionList}, {"PackVersion.pat", packList}};
    // The launcher's version: the one given, else the tree's, else this build's (launchers need the file).
    if (!r.o.launcherFile.empty()) r.lists["luncherVersion.pat"] = "version|" + r.o.launcherVersion + "\r\n";
    else if (std::string old; ReadWholeFile(r.out + "/luncherVersion.pat", old)) r.lists["luncherVersion.pat"] = old;
    else r.lists["luncherVersion.pat"] = std::string("version|") + kLauncherVersion + "\r\n";

    for (const auto& [name, text] : r.lists)
        if (!PutWithGzipCopy(r.out + "/" + ReleaseCopyName(r.name, name), text)) {
            error = "cannot write " + ReleaseCopyName(r.name, name);
            return false;
        }
    if (PathFileExists(r.out + "/FLauncher_zelt.exe")) {
        long long size = 0;
        std::string sha;
        const std::string copy = ReleaseCopyName(r.name, "FLauncher_zelt.exe");
        if (!HashFile(r.out + "/FLauncher_zelt.exe", size, sha) ||
            !PutFile(r.out + "/" + copy, r.out + "/FLauncher_zelt.exe", size, sha)) {
            error = "cannot write " + copy;
            return false;
        }
    }
    return true;
}

// The hash list: every game file, pack, chunk file, launcher and list of the release.
void WriteHashList(Release& r) {
    std::string lines;
    for (const auto& [name, f] : r.files) lines += name + "|" + std::to_string(f.size) + " " + f.sha256 + "\r\n";
    r.hashList = MakeHashList(r.out, r.name, r.previousRelease, lines, r.lists);
}

// The hash list signed with the key, when one is given.
bool Sign(Release& r, std::string& error) {
    if (r.o.keyFile.empty()) return true;
    MinisignSecretKey key;
    if (!ReadSecretKey(r.o.keyFile, key, error)) return false;
    // The signature stays as it is while the list does: a second run changes nothing.
    std::string oldList, oldSig;
    MinisignSignature parsed;
    long long oldTime = 0;
    if (SignatureInPlace(r.out, parsed, oldTime) && ReadWholeFile(r.out + "/hash.pat.minisig", oldSig) &&
        ReadWholeFile(r.out + "/hash.pat", oldList) && oldList == r.hashList && parsed.keyId == key.keyId)
        r.signature = oldSig;
    else
        r.signature = SignLater(key, r.out, r.name, r.hashList, r.o.time);
    if (!PutIfChanged(r.out + "/" + ReleaseSignatureName(r.name), r.signature)) {
        error = "cannot write " + ReleaseSignatureName(r.name);
        return false;
    }
    return true;
}

// The lists last: the release recorded, then the lists, the hash list and its signature in place.
bool PublishLists(const Release& r, std::string& error) {
    if (!RecordPublished(r.out, r.name)) {
        error = "cannot write " + r.out + "/" + kPublishedHistory;
        return false;
    }
    return PutListsInPlace(r.out, r.lists, r.signature, r.hashList, error);
}

bool PublishInto(const PublishOptions& o, const std::string& heading, std::string& error, std::string* report) {
    Release r(o);
    if (!ReadGameFolder(r, error) || !NameRelease(r, error) || !CheckOwnNames(r, error) || !CheckSameContent(r, error))
        return false;
    CHashList inPlace;
    if (std::string text; ReadWholeFile(r.out + "/hash.pat", text)) inPlace.Parse(text);
    const std::map<std::string, long long> sizesBefore = TreeSizes(r.out);
    PlanVersions(r);
    if (!WriteContent(r, error) || !WriteReleaseCopies(r, error)) return false;
    WriteHashList(r);
    if (!Sign(r, error) || !PublishLists(r, error)) return false;
    const long long added = DiskAdded(sizesBefore, TreeSizes(r.out));
    const std::vector<std::string> pruned = PruneReleases(r.out, o.keep);
    // Published again: the report of its first publication stands.
    std::string kept;
    if (inPlace.Release() == r.name && ReadWholeFile(r.out + "/" + ReleaseReportName(r.name), kept)) {
        if (report) *report = kept;
        return true;
    }
    ReleaseReport figures = MakeReleaseReport(r.out, heading, inPlace.Release() == r.name ? "" : inPlace.Release());
    figures.diskAdded = added;
    figures.pruned = pruned;
    if (report) *report = FormatReleaseReport(figures);
    if (!KeepReleaseReport(r.out, figures, false)) {
        error = "cannot write " + ReleaseReportName(r.name);
        return false;
    }
    return true;
}

}  // namespace

bool PublishRelease(const PublishOptions& o, std::string& error, std::string* report) {
    if (o.dryRun) {
        // Published into a mirror of the tree: every figure as a publication's, the tree untouched.
        CTreeMirror mirror(o.outDir);
        if (!mirror.Ok()) {
            error = mirror.Why();
            return false;
        }
        PublishOptions into = o;
        into.dryRun = false;
        into.outDir = mirror.Path();
        if (o.previousDir == o.outDir) into.previousDir = mirror.Path();
        if (PublishInto(into, "a dry run: nothing was written", error, report)) return true;
        // Messages name the tree, not the mirror.
        error = mirror.Unmirrored(error);
        return false;
    }
    return PublishInto(o, "published", error, report);
}

bool WriteKeyPair(const std::string& prefix, std::string& error) {
    std::string pub, sec;
    if (!GenerateMinisignKeys(pub, sec) || !WriteFileAtomically(prefix + ".pub", pub) ||
        !WriteFileAtomically(prefix + ".key", sec)) {
        error = "cannot write " + prefix + ".pub and .key";
        return false;
    }
    chmod((prefix + ".key").c_str(), 0600);
    return true;
}

}  // namespace fl
