#include "update/integrity/HashList.h"

#include <algorithm>
#include <cctype>

#include "platform/TextCodec.h"
#include "update/PathSafety.h"
#include "update/chunks/PatchIndex.h"

namespace fl {


bool CHashList::Parse(const std::string& text) {
    m_entries.clear();
    m_strRelease.clear();
    m_entries.reserve(size_t(std::count(text.begin(), text.end(), '\n')));
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        const size_t bar = line.find('|');
        if (bar == std::string::npos) return false;
        const std::string key = Trim(line.substr(0, bar)), value = Trim(line.substr(bar + 1));
        if (first && key == "#release") {
            if (value.empty()) return false;
            m_strRelease = value;
            first = false;
            continue;
        }
        first = false;
        const size_t space = value.find(' ');
        if (space == std::string::npos) return false;
        const std::string size = value.substr(0, space), hash = Trim(value.substr(space + 1));
        Entry entry;
        if (size.empty() || size.size() > 18 || size.find_first_not_of("0123456789") != std::string::npos ||
            !Digest::FromHex(hash, entry.sha256))
            return false;
        // The launcher's own records are no release's to name: such a list is refused whole.
        if (IsReservedName(key)) return false;
        // A name that may not become a path is never fetched: nothing to check it for.
        if (!IsSafeRelativeName(key)) continue;
        entry.name = NormalizeSeparators(key);
        entry.size = std::stoll(size);
        m_entries.push_back(std::move(entry));
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    // One name, one content: a list that says two things of a name ("a/b" and
    // "a\\b" are one name) is refused whole.
    size_t kept = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (kept > 0 && m_entries[kept - 1].name == m_entries[i].name) {
            if (m_entries[kept - 1].size != m_entries[i].size || m_entries[kept - 1].sha256 != m_entries[i].sha256)
                return false;
            continue;
        }
        if (kept != i) m_entries[kept] = std::move(m_entries[i]);
        ++kept;
    }
    m_entries.resize(kept);
    m_entries.shrink_to_fit();
    return !m_strRelease.empty();
}

void CHashList::ForEach(const std::function<void(const std::string&, const HashEntry&)>& fn) const {
    for (const Entry& e : m_entries) fn(e.name, HashEntry{e.size, e.sha256.Hex()});
}

FoundEntry CHashList::Find(const std::string& name) const {
    const std::string key = name.find('\\') == std::string::npos ? name : NormalizeSeparators(name);
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                               [](const Entry& e, const std::string& k) { return e.name < k; });
    if (it == m_entries.end() || it->name != key) return std::nullopt;
    return HashEntry{it->size, it->sha256.Hex()};
}

std::string MakeTrustedComment(const std::string& release, long long time) {
    return "release " + release + " time " + std::to_string(time);
}

bool ParseTrustedComment(const std::string& comment, std::string& release, long long& time) {
    const std::string head = "release ", mid = " time ";
    const size_t at = comment.rfind(mid);
    if (comment.rfind(head, 0) != 0 || at == std::string::npos || at <= head.size()) return false;
    const std::string seconds = comment.substr(at + mid.size());
    if (seconds.empty() || seconds.size() > 18 || seconds.find_first_not_of("0123456789") != std::string::npos)
        return false;
    release = comment.substr(head.size(), at - head.size());
    time = std::stoll(seconds);
    return true;
}

std::vector<MinisignPublicKey> ParsePinnedKeys(const std::string& text) {
    std::vector<MinisignPublicKey> keys;
    std::string token;
    auto flush = [&] {
        MinisignPublicKey key;
        if (!token.empty() && ParseMinisignPublicKey(token, key)) keys.push_back(key);
        token.clear();
    };
    for (char c : text) {
        if (c == ';' || std::isspace(static_cast<unsigned char>(c)))
            flush();
        else
            token += c;
    }
    flush();
    return keys;
}

bool VerifySignedList(const std::string& list, const std::string& signatureText,
                      const std::vector<MinisignPublicKey>& keys, std::string& release, long long& time) {
    MinisignSignature signature;
    if (!ParseMinisignSignature(signatureText, signature)) return false;
    for (const auto& key : keys)
        if (VerifyMinisign(key, signature, list)) return ParseTrustedComment(signature.trustedComment, release, time);
    return false;
}

std::string ReleaseCopyName(const std::string& release, const std::string& name) { return release + "." + name; }

const std::vector<std::string>& ReleaseCopiedNames() {
    static const std::vector<std::string> names = {"version.pat", "PackVersion.pat", "luncherVersion.pat",
                                                   "FLauncher_zelt.exe"};
    return names;
}

std::string ReleaseSignatureName(const std::string& release) { return release + ".minisig"; }

std::string ReleaseReportName(const std::string& release) { return release + ".report.txt"; }

std::vector<std::string> ReleaseOwnFileNames(const std::string& release) {
    std::vector<std::string> names = {release + "_full.zip", release + ".zip",       release + ".idx",
                                      release + ".chunks",   PatchIndexName(release), PatchStoreName(release),
                                      ReleaseSignatureName(release), ReleaseReportName(release)};
    for (const std::string& copied : ReleaseCopiedNames()) names.push_back(ReleaseCopyName(release, copied));
    return names;
}

}  // namespace fl
