#include "publish/SignedLists.h"

#include <sys/stat.h>

#include <ctime>

#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "publish/GzipCopy.h"
#include "platform/TextCodec.h"
#include "update/VersionFiles.h"
#include "update/chunks/DeltaIndex.h"
#include "update/chunks/PatchIndex.h"
#include "update/integrity/BodyCheck.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Sha256.h"

namespace fl {

bool HashFile(const std::string& path, long long& size, std::string& sha256) {
    struct stat st {};
    CBodyCheck check(Expectation(), true);
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !check.AddFile(path, (long long)st.st_size)) return false;
    check.Verdict();
    size = (long long)st.st_size;
    sha256 = check.Digest();
    return true;
}

std::string MakeHashList(const std::string& tree, const std::string& release, const std::string& previous,
                         const std::string& gameFileLines, const std::map<std::string, std::string>& lists) {
    std::string text = "#release|" + release + "\r\n" + gameFileLines;
    // Each listed name, and the file of the tree that holds its bytes.
    std::vector<std::pair<std::string, std::string>> own = {{release + "_full.zip", release + "_full.zip"}};
    auto add = [&own](const std::string& name) { own.emplace_back(name, name); };
    if (!previous.empty()) add(release + ".zip");
    for (const std::string& name : {release + ".idx", release + ".chunks", PatchIndexName(release), PatchStoreName(release)})
        add(name);
    if (!previous.empty()) add(DeltaIndexName(release, previous));
    // The launcher in place is the release's copy of it, when the release kept one.
    const std::string launcher = ReleaseCopyName(release, "FLauncher_zelt.exe");
    if (PathFileExists(tree + "/" + launcher)) {
        own.emplace_back("FLauncher_zelt.exe", launcher);
        add(launcher);
    }
    for (const auto& [name, file] : own) {
        long long size = 0;
        std::string sha256;
        if (HashFile(tree + "/" + file, size, sha256)) text += name + "|" + std::to_string(size) + " " + sha256 + "\r\n";
    }
    for (const auto& [name, bytes] : lists) {
        for (const std::string& listed : {name, ReleaseCopyName(release, name)})
            text += listed + "|" + std::to_string(bytes.size()) + " " + Sha256Of(bytes) + "\r\n";
    }
    return text;
}

std::map<std::string, std::string> ReadListValues(const std::string& path) {
    std::map<std::string, std::string> values;
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) return values;
    for (const auto& line : lines) {
        const size_t bar = line.find('|');
        if (bar != std::string::npos) values[Trim(line.substr(0, bar))] = Trim(line.substr(bar + 1));
    }
    return values;
}

bool ReadSecretKey(const std::string& keyFile, MinisignSecretKey& key, std::string& error) {
    std::string text;
    if (!ReadWholeFile(keyFile, text) || !ParseMinisignSecretKey(text, key)) {
        error = "not an unencrypted minisign secret key: " + keyFile;
        return false;
    }
    return true;
}

bool SignatureInPlace(const std::string& tree, MinisignSignature& signature, long long& time) {
    std::string text, release;
    time = 0;
    if (!ReadWholeFile(tree + "/hash.pat.minisig", text) || !ParseMinisignSignature(text, signature)) return false;
    ParseTrustedComment(signature.trustedComment, release, time);
    return true;
}

std::string SignLater(const MinisignSecretKey& key, const std::string& tree, const std::string& release,
                      const std::string& list, long long time) {
    long long now = time > 0 ? time : (long long)std::time(nullptr);
    MinisignSignature inPlace;
    long long inPlaceTime = 0;
    if (time <= 0 && SignatureInPlace(tree, inPlace, inPlaceTime) && inPlaceTime >= now) now = inPlaceTime + 1;
    return SignMinisign(key, list, MakeTrustedComment(release, now));
}

bool PutListsInPlace(const std::string& tree, const std::map<std::string, std::string>& lists,
                     const std::string& signature, const std::string& hashList, std::string& error) {
    for (const auto& [name, text] : lists)
        if (!PutWithGzipCopy(tree + "/" + name, text)) {
            error = "cannot write " + name;
            return false;
        }
    if ((!signature.empty() && !PutIfChanged(tree + "/hash.pat.minisig", signature)) ||
        !PutWithGzipCopy(tree + "/hash.pat", hashList)) {
        error = "cannot write the hash list";
        return false;
    }
    return true;
}

}  // namespace fl
