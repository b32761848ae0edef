#include "demo/DemoHashList.h"

#include <ctime>

#include "DemoKey.inc"
#include "update/integrity/HashList.h"
#include "update/integrity/Minisign.h"
#include "update/integrity/Sha256.h"

namespace fldemo {

namespace {

std::string Line(const std::string& name, const std::string& bytes) {
    fl::CSha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return name + "|" + std::to_string(bytes.size()) + " " + hash.HexDigest() + "\r\n";
}

}  // namespace

std::string HashListOf(const DemoContent& c, const std::string& release) {
    std::string list = "#release|" + release + "\r\n";
    for (const auto& [name, bytes] : c.files) list += Line(name, bytes);
    list += Line(c.fullPackName + ".zip", c.fullPack);
    list += Line(c.newVersion + ".zip", c.newPack);
    list += Line("FLauncher_zelt.exe", c.launcherBytes);
    list += Line("version.pat", c.VersionPat());
    list += Line("PackVersion.pat", c.PackVersionPat());
    list += Line("luncherVersion.pat", c.LuncherVersionPat());
    return list;
}

std::string SignWithDemoKey(const std::string& list, long long time) {
    fl::MinisignSecretKey key;
    if (!fl::ParseMinisignSecretKey(kDemoSecretKey, key)) return {};
    fl::CHashList parsed;
    const std::string release = parsed.Parse(list) ? parsed.Release() : "demo";
    return fl::SignMinisign(key, list, fl::MakeTrustedComment(release, time > 0 ? time : (long long)std::time(nullptr)));
}

std::string DemoSecretKeyFile() { return kDemoSecretKey; }

std::string DemoPublicKeyLine() {
    fl::MinisignSecretKey secret;
    if (!fl::ParseMinisignSecretKey(kDemoSecretKey, secret)) return {};
    fl::MinisignPublicKey pub;
    pub.keyId = secret.keyId;
    std::copy(secret.key.begin() + 32, secret.key.end(), pub.key.begin());
    return fl::MinisignPublicKeyLine(pub);
}

}  // namespace fldemo
