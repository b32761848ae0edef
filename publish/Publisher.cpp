#include "publish/Publisher.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "app/Folders.h"
#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"
#include "publish/ChunkStore.h"
#include "publish/ReleaseHistory.h"
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

// Size and SHA-256 of a file, read once a piece at a time (files may be larger than memory).
bool HashFile(const std::string& path, long long& size, std::string& sha256) {
    struct stat st {};
    CBodyCheck check(Expectation(), true);
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !check.AddFile(path, (long long)st.st_size)) return false;
    check.Verdict();
    size = (long long)st.st_size;
    sha256 = check.Digest();
    return true;
}

// Writes `bytes` to `path` unless it holds them already; through a temporary name.
bool Put(const std::string& path, const std::string& bytes) {
    std::string old;
    if (ReadWholeFile(path, old) && old == bytes) return true;
    return EnsureFolder(ParentOf(path)) && WriteFileAtomically(path, bytes);
}

// Copies `source` (of that size and hash) to `path` unless it holds it already;
// through a temporary name, a piece at a time. False when it could not, or the
// source changed since it was measured.
bool PutFile(const std::string& path, const std::string& source, long long size, const std::string& sha256) {
    long long oldSize = -1;
    std::string oldSha;
    if (HashFile(path, oldSize, oldSha) && oldSize == size && oldSha == sha256) return true;
    const std::string temp = path + ".publishing";
    long long copiedSize = -1;
    std::string copiedSha;
    if (!EnsureFolder(ParentOf(path)) || !CopyFileKeepMode(source, temp, false) ||
        !HashFile(temp, copiedSize, copiedSha) || copiedSize != size || copiedSha != sha256 ||
        std::rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

// Makes room in the tree for game file `name` where the release turned a file
// into a folder or back: only what the list in place names is removed.
bool ClearTreeWay(const std::string& out, const std::string& name, const CHashList& published, std::string& error) {
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        const std::string prefix = name.substr(0, slash);
        struct stat st {};
        if (lstat((out + "/" + prefix).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            if (!published.Find(prefix) || unlink((out + "/" + prefix).c_str()) != 0) {
                error = "cannot publish " + ShortName(name) + ": " + out + "/" + prefix + " is a file the tree did not publish";
                return false;
            }
        }
    }
    struct stat st {};
    const std::string path = out + "/" + name;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_directory() && !published.Find(fs::relative(it->path(), out).generic_string())) {
            error = "cannot publish " + ShortName(name) + ": the folder " + path + " holds files the tree did not publish";
            return false;
        }
    fs::remove_all(path, ec);
    return !ec;
}

// Key/value lines "key|value" of a list in the tree (empty when absent).
std::map<std::string, std::string> ReadList(const std::string& path) {
    std::map<std::string, std::string> values;
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) return values;
    for (const auto& line : lines) {
        const size_t bar = line.find('|');
        if (bar != std::string::npos) values[Trim(line.substr(0, bar))] = Trim(line.substr(bar + 1));
    }
    return values;
}

// A pack of `names` from the game folder, with `list` as its "version.pat" (written first).
bool WritePackFile(const std::string& path, const std::string& gameDir, const std::vector<std::string>& names,
                   const std::string& list) {
    const std::string temp = path + ".publishing";
    int err = 0;
    zip_t* za = zip_open(temp.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za) return false;
    bool ok = true;
    auto add = [&](const std::string& name, zip_source_t* src, unsigned mode) {
        const zip_int64_t i = src ? zip_file_add(za, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
        if (i < 0) {
            if (src) zip_source_free(src);
            ok = false;
            return;
        }
        zip_set_file_compression(za, zip_uint64_t(i), ZIP_CM_DEFLATE, 6);
        zip_file_set_external_attributes(za, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, zip_uint32_t(0100000 | mode) << 16);
    };
    add("version.pat", zip_source_buffer(za, list.data(), list.size(), 0), 0644);
    for (const auto& name : names) {
        struct stat st {};
        const std::string source = gameDir + "/" + name;
        stat(source.c_str(), &st);
        add(name, zip_source_file(za, source.c_str(), 0, -1), (st.st_mode & 0100) ? 0755 : 0644);
        if (!ok) break;
    }
    if (!ok) {
        zip_discard(za);
        unlink(temp.c_str());
        return false;
    }
    if (zip_close(za) != 0) return false;
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

bool PublishRelease(const PublishOptions& o, std::string& error) {
    // The game's files, by name; names that could not be served are refused.
    std::map<std::string, FileInfo> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(o.gameDir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const std::string name = fs::relative(it->path(), o.gameDir).generic_string();
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
        files[name] = info;
    }
    if (ec || files.empty()) {
        error = "no files in " + o.gameDir;
        return false;
    }
    // The release: as given, or named after the content (the same input, the same release).
    std::string release = o.release;
    if (release.empty()) {
        CSha256 h;
        for (const auto& [name, f] : files) h.Update((name + "|" + f.sha256 + "\n").data(), name.size() + 66);
        release = "r" + h.HexDigest().substr(0, 12);
    }
    if (!IsSafeRelativeName(release + "_full.zip") || release.find_first_of("/\\| ") != std::string::npos) {
        error = "not a usable release name: " + release;
        return false;
    }
    const std::string out = o.outDir;
    const std::string fullName = release + "_full.zip", incName = release + ".zip";
    // The tree's own names are never a game file's: one would be published over
    // the other, or listed twice.
    std::set<std::string> own = {"version.pat", "PackVersion.pat", "hash.pat", "hash.pat.minisig", "luncherVersion.pat",
                                 "FLauncher_zelt.exe", fullName, incName, release + ".idx", release + ".chunks",
                                 ReleaseSignatureName(release), kPublishedHistory};
    for (const std::string& copied : ReleaseCopiedNames()) own.insert(ReleaseCopyName(release, copied));
    for (const std::string& tree : {out, o.previousDir}) {
        if (tree.empty()) continue;
        auto packs = ReadList(tree + "/PackVersion.pat");
        for (const char* key : {"newversion", "lastversion"})
            if (!packs[key].empty())
                for (const char* ext : {".zip", ".idx", ".chunks"}) own.insert(packs[key] + ext);
        if (!packs["full_pack"].empty()) own.insert(packs["full_pack"] + ".zip");
    }
    for (const std::string& earlier : ReadPublishedHistory(out)) {
        for (const std::string& name : ReleaseFileNames(earlier)) own.insert(name);
    }
    for (const auto& [name, f] : files)
        if (own.count(name)) {
            error = "a game file may not be named " + ShortName(name) + ": the resource tree uses that name itself";
            return false;
        }
    // A release name stands for one content. Published again, it must be the
    // same content, or its packs and lists would disagree with its files.
    {
        std::string text;
        CHashList published;
        const bool same = ReadWholeFile(out + "/hash.pat", text) && published.Parse(text) && published.Release() == release;
        if (same) {
            size_t listedFiles = 0;
            published.ForEach([&](const std::string& name, const HashEntry& e) {
                if (own.count(name)) return;
                ++listedFiles;
                auto f = files.find(name);
                if (f == files.end() || f->second.size != e.size || f->second.sha256 != e.sha256) listedFiles = ~size_t(0) / 2;
            });
            if (listedFiles != files.size()) {
                error = "release " + release + " is published in " + out +
                        " with other content; publish the new content under a new --release name";
                return false;
            }
        } else if (!o.release.empty() && (PathFileExists(out + "/" + fullName) || PathFileExists(out + "/" + incName) ||
                                           PathFileExists(out + "/" + release + ".idx"))) {
            // Packs of that name from an earlier publication: nothing proves they hold this content.
            error = "release " + release + " was published in " + out +
                    " before; publish under a new --release name (or remove its packs first)";
            return false;
        }
    }
    // Versions: kept while the content is unchanged since the previous release.
    std::map<std::string, std::string> previousVersions;
    CHashList previousHashes;
    std::string previousRelease;
    if (!o.previousDir.empty()) {
        previousVersions = ReadList(o.previousDir + "/version.pat");
        std::string text;
        if (ReadWholeFile(o.previousDir + "/hash.pat", text) && previousHashes.Parse(text))
            previousRelease = previousHashes.Release();
        auto packs = ReadList(o.previousDir + "/PackVersion.pat");
        if (previousRelease.empty()) previousRelease = packs["newversion"];
        // This release published again over itself: its previous release stays the one before.
        if (previousRelease == release) previousRelease = packs["lastversion"];
    }
    std::vector<std::string> changed;
    for (auto& [name, f] : files) {
        const FoundEntry old = previousHashes.Find(name);
        auto pv = previousVersions.find(name);
        const bool same = old && old->sha256 == f.sha256 && old->size == f.size && pv != previousVersions.end();
        f.version = same ? pv->second : release;
        if (!same) changed.push_back(name);
    }
    std::string versionList;
    for (const auto& [name, f] : files) versionList += name + "|" + f.version + "\r\n";

    // Content first: the files, then the packs under names of their own.
    CHashList inPlace;
    if (std::string text; ReadWholeFile(out + "/hash.pat", text)) inPlace.Parse(text);
    for (const auto& [name, f] : files) {
        if (!ClearTreeWay(out, name, inPlace, error)) return false;
        if (!PutFile(out + "/" + name, o.gameDir + "/" + name, f.size, f.sha256)) {
            error = "cannot write " + out + "/" + name + " (or it changed while it was published)";
            return false;
        }
    }
    std::vector<std::string> all;
    for (const auto& [name, f] : files) all.push_back(name);
    auto pack = [&](const std::string& packName, const std::vector<std::string>& names) {
        const std::string path = out + "/" + packName;
        // A release's pack is written once (its content was proven the same above).
        return PathFileExists(path) || WritePackFile(path, o.gameDir, names, versionList);
    };
    if (!pack(fullName, all) || (!previousRelease.empty() && !pack(incName, changed))) {
        error = "cannot write the packs";
        return false;
    }
    // The release as chunks, for launchers that fetch only what changed.
    const std::string indexName = release + ".idx", storeName = release + ".chunks";
    if (!PathFileExists(out + "/" + indexName) || !PathFileExists(out + "/" + storeName)) {
        std::vector<ChunkSource> sources;
        for (const auto& [name, f] : files) sources.push_back({name, o.gameDir + "/" + name, f.size, f.sha256});
        if (!WriteChunkedRelease(out, release, sources, ChunkerParams(), error)) return false;
    }
    if (!o.launcherFile.empty()) {
        long long size = 0;
        std::string sha;
        if (!HashFile(o.launcherFile, size, sha) || !PutFile(out + "/FLauncher_zelt.exe", o.launcherFile, size, sha)) {
            error = "cannot publish the launcher " + o.launcherFile;
            return false;
        }
    }

    // The lists last.
    std::string packList = "newversion|" + release + "\r\n";
    if (!previousRelease.empty()) packList += "lastversion|" + previousRelease + "\r\n";
    packList += "full_pack|" + release + "_full\r\n";
    std::map<std::string, std::string> lists = {{"version.pat", versionList}, {"PackVersion.pat", packList}};
    // The launcher's version: the one given, else the tree's, else this build's (launchers need the file).
    if (!o.launcherFile.empty()) lists["luncherVersion.pat"] = "version|" + o.launcherVersion + "\r\n";
    else if (std::string old; ReadWholeFile(out + "/luncherVersion.pat", old)) lists["luncherVersion.pat"] = old;
    else lists["luncherVersion.pat"] = std::string("version|") + kLauncherVersion + "\r\n";

    // Each list and the launcher also under the release's own name, never rewritten.
    const bool launcherInTree = PathFileExists(out + "/FLauncher_zelt.exe");
    for (const auto& [name, text] : lists)
        if (!Put(out + "/" + ReleaseCopyName(release, name), text)) {
            error = "cannot write " + ReleaseCopyName(release, name);
            return false;
        }
    if (launcherInTree) {
        long long size = 0;
        std::string sha;
        if (!HashFile(out + "/FLauncher_zelt.exe", size, sha) ||
            !PutFile(out + "/" + ReleaseCopyName(release, "FLauncher_zelt.exe"), out + "/FLauncher_zelt.exe", size, sha)) {
            error = "cannot write " + ReleaseCopyName(release, "FLauncher_zelt.exe");
            return false;
        }
    }

    std::string hashList = "#release|" + release + "\r\n";
    auto hashLine = [&](const std::string& name, const std::string& bytes) {
        hashList += name + "|" + std::to_string(bytes.size()) + " " + Sha256Of(bytes) + "\r\n";
    };
    for (const auto& [name, f] : files) hashList += name + "|" + std::to_string(f.size) + " " + f.sha256 + "\r\n";
    for (const std::string& p : {fullName, incName, indexName, storeName, std::string("FLauncher_zelt.exe"),
                                 ReleaseCopyName(release, "FLauncher_zelt.exe")}) {
        long long size = 0;
        std::string sha;
        if ((p != incName || !previousRelease.empty()) && HashFile(out + "/" + p, size, sha))
            hashList += p + "|" + std::to_string(size) + " " + sha + "\r\n";
    }
    for (const auto& [name, text] : lists) {
        hashLine(name, text);
        hashLine(ReleaseCopyName(release, name), text);
    }

    std::string signature;
    if (!o.keyFile.empty()) {
        std::string keyText;
        MinisignSecretKey key;
        if (!ReadWholeFile(o.keyFile, keyText) || !ParseMinisignSecretKey(keyText, key)) {
            error = "not an unencrypted minisign secret key: " + o.keyFile;
            return false;
        }
        // The signature stays as it is while the list does: a second run changes nothing.
        std::string oldList, oldSig;
        MinisignSignature parsed;
        const bool hadSignature = ReadWholeFile(out + "/hash.pat.minisig", oldSig) && ParseMinisignSignature(oldSig, parsed);
        if (hadSignature && ReadWholeFile(out + "/hash.pat", oldList) && oldList == hashList && parsed.keyId == key.keyId) {
            signature = oldSig;
        } else {
            long long now = o.time > 0 ? o.time : (long long)std::time(nullptr);
            // Launchers refuse a list no younger than the one they hold: a release
            // published within the second of the one before is signed a second later.
            std::string oldRelease;
            long long oldTime = 0;
            if (o.time <= 0 && hadSignature && ParseTrustedComment(parsed.trustedComment, oldRelease, oldTime) &&
                oldTime >= now)
                now = oldTime + 1;
            signature = SignMinisign(key, hashList, MakeTrustedComment(release, now));
        }
    }
    if (!signature.empty() && !Put(out + "/" + ReleaseSignatureName(release), signature)) {
        error = "cannot write " + ReleaseSignatureName(release);
        return false;
    }
    if (!RecordPublished(out, release)) {
        error = "cannot write " + out + "/" + kPublishedHistory;
        return false;
    }
    for (const auto& [name, text] : lists)
        if (!Put(out + "/" + name, text)) {
            error = "cannot write " + name;
            return false;
        }
    if ((!signature.empty() && !Put(out + "/hash.pat.minisig", signature)) || !Put(out + "/hash.pat", hashList)) {
        error = "cannot write the hash list";
        return false;
    }
    PruneReleases(out, o.keep);
    return true;
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
