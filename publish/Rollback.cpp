#include "publish/Rollback.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/TextCodec.h"
#include "publish/GzipCopy.h"
#include "publish/OutFile.h"
#include "publish/ReleaseHistory.h"
#include "publish/ReleaseReport.h"
#include "publish/SignedLists.h"
#include "publish/StoreReader.h"
#include "publish/TreeFiles.h"
#include "publish/TreeMirror.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"
#include "update/integrity/HashList.h"

namespace fl {

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

// A game file of the release made again from its chunks, checked, and renamed into place.
bool RebuildFile(const std::string& tree, const IndexedFile& f, CStoreReader& store, std::string& error) {
    const std::string path = tree + "/" + f.name;
    COutFile out(path);
    CSha256 whole;
    std::string chunk;
    bool ok = out.Ok();
    for (const ChunkRef& c : f.chunks) {
        if (!ok) break;
        ok = store.Read(c, chunk) && out.Write(chunk);
        whole.Update(chunk.data(), chunk.size());
    }
    if (!ok || out.Size() != f.size || whole.HexDigest() != f.sha256.Hex() ||
        chmod((path + ".publishing").c_str(), f.mode) != 0 || !out.Commit()) {
        error = "cannot rebuild " + ShortName(f.name) + " from the release's chunks";
        return false;
    }
    return true;
}

bool RollBackInto(const RollbackOptions& o, const std::string& heading, std::string& report, std::string& error) {
    const std::string& tree = o.tree;
    const std::string& r = o.release;
    std::string text;
    CHashList inPlace;
    if (ReadWholeFile(tree + "/hash.pat", text)) inPlace.Parse(text);
    std::vector<std::string> kept = ReadPublishedHistory(tree);
    if (kept.empty() && !inPlace.Release().empty()) kept.push_back(inPlace.Release());
    if (kept.empty()) {
        error = "no release is published in " + tree;
        return false;
    }
    if (std::find(kept.begin(), kept.end(), r) == kept.end()) {
        error = "release " + r + " is not in " + tree + " (never published there, or its files were pruned); it keeps " +
                Joined(kept);
        return false;
    }
    for (const std::string& name : {r + ".idx", r + ".chunks", r + "_full.zip", ReleaseSignatureName(r),
                                    ReleaseCopyName(r, "version.pat"), ReleaseCopyName(r, "PackVersion.pat")})
        if (!PathFileExists(tree + "/" + name)) {
            error = "the files of release " + r + " were pruned from " + tree + " (" + name +
                    " is gone): publish it again from its game files";
            return false;
        }
    MinisignSecretKey key;
    if (!ReadSecretKey(o.keyFile, key, error)) return false;
    MinisignSignature signedInPlace, signedThen;
    long long inPlaceTime = 0;
    if (!o.force && SignatureInPlace(tree, signedInPlace, inPlaceTime) && signedInPlace.keyId != key.keyId) {
        error = tree + " is signed with key " + KeyIdHex(signedInPlace.keyId) + ", not with " + o.keyFile + " (key " +
                KeyIdHex(key.keyId) + "); --force signs with it anyway";
        return false;
    }
    if (inPlace.Release() == r) {
        report = "release " + r + " is already the one the lists in place name: nothing to do\n";
        return true;
    }
    // The release's lists, as it published them.
    std::map<std::string, std::string> lists;
    for (const char* name : {"version.pat", "PackVersion.pat", "luncherVersion.pat"})
        if (ReadWholeFile(tree + "/" + ReleaseCopyName(r, name), text)) lists[name] = text;
    const std::string previous = ReadListValues(tree + "/" + ReleaseCopyName(r, "PackVersion.pat"))["lastversion"];
    CChunkIndex index;
    std::string why;
    if (!index.ParseFile(tree + "/" + r + ".idx", why, [](IndexedFile&) { return false; })) {
        error = "the index of release " + r + " is damaged (" + why + ")";
        return false;
    }
    std::string gameFileLines;
    for (const IndexedFile& f : index.m_files)
        gameFileLines += f.name + "|" + std::to_string(f.size) + " " + f.sha256.Hex() + "\r\n";
    // Its hash list again, byte for byte the one its signature was made for: checked before anything is written.
    const std::string hashList = MakeHashList(tree, r, previous, gameFileLines, lists);
    if (ReadWholeFile(tree + "/" + ReleaseSignatureName(r), text) && ParseMinisignSignature(text, signedThen) &&
        signedThen.keyId == key.keyId) {
        MinisignPublicKey pub;
        pub.keyId = key.keyId;
        std::copy(key.key.begin() + 32, key.key.end(), pub.key.begin());
        if (!VerifyMinisign(pub, signedThen, hashList)) {
            error = "the files of release " + r + " in " + tree +
                    " are not the ones it was published with (its hash list does not match its signature)";
            return false;
        }
    }
    CStoreReader store(tree + "/" + r + ".chunks");
    if (!store.Ok()) {
        error = "cannot read " + tree + "/" + r + ".chunks";
        return false;
    }
    const std::map<std::string, long long> sizesBefore = TreeSizes(tree);
    // Content first: the game files the tree holds otherwise, and the launcher.
    for (const IndexedFile& f : index.m_files) {
        long long size = 0;
        std::string held;
        if (HashFile(tree + "/" + f.name, size, held) && size == f.size && held == f.sha256.Hex()) continue;
        if (!ClearTreeWay(tree, f.name, inPlace, error) || !EnsureFolder(ParentOf(tree + "/" + f.name)) ||
            !RebuildFile(tree, f, store, error))
            return false;
    }
    const std::string launcher = ReleaseCopyName(r, "FLauncher_zelt.exe");
    long long size = 0;
    std::string sha;
    if (HashFile(tree + "/" + launcher, size, sha) && !PutFile(tree + "/FLauncher_zelt.exe", tree + "/" + launcher, size, sha)) {
        error = "cannot put the launcher of release " + r + " in place";
        return false;
    }
    const std::string signature = SignLater(key, tree, r, hashList, o.time);
    // Its own signature first: a launcher that holds its list asks for that one.
    if (!PutIfChanged(tree + "/" + ReleaseSignatureName(r), signature) || !RecordInPlaceAgain(tree, r)) {
        error = "cannot write " + ReleaseSignatureName(r);
        return false;
    }
    if (!PutListsInPlace(tree, lists, signature, hashList, error)) return false;
    std::string release;
    long long signedAt = 0;
    MinisignSignature made;
    if (ParseMinisignSignature(signature, made)) ParseTrustedComment(made.trustedComment, release, signedAt);
    ReleaseReport figures = MakeReleaseReport(tree, heading + UtcTime(signedAt) + " UTC", inPlace.Release(), true);
    figures.diskAdded = DiskAdded(sizesBefore, TreeSizes(tree));
    report = FormatReleaseReport(figures);
    if (!KeepReleaseReport(tree, figures, true)) {
        error = "cannot write " + ReleaseReportName(r);
        return false;
    }
    return true;
}

}  // namespace

bool RollBack(const RollbackOptions& o, std::string& report, std::string& error) {
    if (!o.dryRun) return RollBackInto(o, "rolled back to, signed anew at ", report, error);
    CTreeMirror mirror(o.tree);
    if (!mirror.Ok()) {
        error = mirror.Why();
        return false;
    }
    RollbackOptions into = o;
    into.tree = mirror.Path();
    into.dryRun = false;
    if (!RollBackInto(into, "a dry run of a rollback, nothing was written; it would be signed at ", report, error)) {
        // Messages name the tree, not the mirror.
        error = mirror.Unmirrored(error);
        return false;
    }
    return true;
}

}  // namespace fl
