// The hash list of the release the server publishes, its signature, and what
// every later body of the run is checked against.
#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"
#include "update/chunks/DeltaIndex.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

// The run folder keeps the publishing time of the last list it accepted: an
// older list, however validly signed, would roll the player back.
constexpr const char* kAcceptedFile = "hash.pat.accepted";
// The server's ETag of the kept list, with the digest of the bytes it named: the
// next start asks for hash.pat only if it changed.
constexpr const char* kEtagFile = "hash.pat.etag";

// The list last accepted here and its signature, as kept (false: not both there).
bool ReadKeptList(const std::string& run, std::string& list, std::string& signature) {
    return ReadWholeFile(RecordPath(run, kKeptListFile), list) &&
           ReadWholeFile(RecordPath(run, std::string(kKeptListFile) + ".minisig"), signature);
}

// The ETag to ask with: only when the kept list is still the body it was given for.
std::string KeptListEtag(const std::string& run) {
    std::string record, kept;
    if (!ReadWholeFile(RecordPath(run, kEtagFile), record) || !ReadWholeFile(RecordPath(run, kKeptListFile), kept))
        return {};
    const size_t e = record.find("etag|"), d = record.find("\r\nsha256|");
    if (e != 0 || d == std::string::npos) return {};
    const std::string etag = record.substr(5, d - 5), digest = Trim(record.substr(d + 9));
    return digest == Sha256Of(kept) ? etag : std::string();
}

long long ReadAcceptedTime(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text)) return 0;
    const size_t at = text.find("time|");
    if (at == std::string::npos) return 0;
    try {
        return std::stoll(text.substr(at + 5));
    } catch (...) {
        return 0;
    }
}

// The files a release names after itself, written once and never rewritten
// (its packs, chunk files, list copies and signature): the same bytes for every
// player, whatever "?v=" they would be asked with.
std::set<std::string> ReleaseOwnNames(const CHashList& list) {
    std::set<std::string> names;
    const std::string& r = list.Release();
    if (r.empty()) return names;
    for (const std::string& name : ReleaseOwnFileNames(r))
        if (list.Find(name)) names.insert(name);
    // Its delta indexes: "R.from-P.didx".
    list.ForEach([&](const std::string& name, const HashEntry&) {
        if (IsDeltaIndexName(r, name)) names.insert(name);
    });
    names.insert(ReleaseSignatureName(r));
    return names;
}

}  // namespace

Expectation CDownloader::ExpectFor(const std::string& name) const {
    Expectation e;
    if (!m_bHashList) return e;
    e.check = true;
    if (const FoundEntry entry = m_hashList.Find(name)) {
        e.listed = true;
        e.size = entry->size;
        e.sha256 = entry->sha256;
    }
    return e;
}

std::string CDownloader::CheckLocalFile(const std::string& path, const std::string& name) const {
    return CheckFile(path, ExpectFor(name));
}

bool CDownloader::FetchHashList() {
    const std::vector<MinisignPublicKey> keys = ParsePinnedKeys(m_settings.strPinnedKeys);
    m_bHashList = false;
    m_strOlderOffered.clear();
    m_nTaskKind = TASK_HASH_LIST;
    if (m_pHttpConn) {
        m_pHttpConn->SetAliases({});
        m_pHttpConn->SetUnversioned({});
    }
    // `why` for the log, `plain` for the player: the message names the network,
    // the reason line what was really wrong.
    auto refuse = [&](const std::string& why, const std::string& plain) {
        OutputDebugStringW("hash.pat refused: " + why);
        m_host.ShowStatusText("连接服务器失败!请检查网络设置.");
        Tell("文件[hash.pat]下载失败,请检查网络设置.");
        TellCause(plain, m_pHttpConn ? m_pHttpConn->RequestUrl("hash.pat", m_strPreloadVer) : "");
        AbortRequests();
        return false;
    };
    const std::string run = GetRunFolder(false);
    // The list kept here, asked for again only if the server's changed (a 304 brings no body).
    if (!keys.empty()) m_strIfNoneMatch = KeptListEtag(run);
    m_bOptionalFetch = keys.empty();
    bool fetched = FetchToMemory("hash.pat") && (m_bLastFetchOk || m_bLastFetchNotModified);
    m_bOptionalFetch = false;
    bool unchanged = false;
    std::string keptSignatureBytes;
    if (fetched && m_bLastFetchNotModified) {
        // A web server's ETag may be the time to the second and the size: a list
        // replaced within the second by one of the same size would pass for the
        // kept one. Its signature, a few hundred bytes, tells them apart.
        std::string keptList;
        unchanged = ReadKeptList(run, keptList, keptSignatureBytes) && FetchListWhole("hash.pat.minisig") &&
                    m_strRawBody == keptSignatureBytes;
        if (unchanged) {
            m_strRawBody = std::move(keptList);  // checked again below as if fetched
            OutputDebugStringW("hash.pat: not modified since the list kept here");
        } else {
            OutputDebugStringW("hash.pat: answered not modified, but its signature is another: asked for whole");
            fetched = FetchListWhole("hash.pat");
        }
    }
    const std::string etag = unchanged ? std::string() : m_strLastEtag;
    if (!fetched) {
        if (keys.empty() && m_bLastFetchMissing && !m_bAbort) {
            OutputDebugStringW("no hash.pat on the server: bodies are taken as HTTP delivers them");
            m_nTaskKind = TASK_IDLE;
            return true;
        }
        return false;  // the fetch told why
    }
    std::string list = std::move(m_strRawBody);
    CHashList parsed;
    if (!parsed.Parse(list))
        return refuse("not a hash list", "hash.pat is damaged: not a well-formed, unambiguous hash list");
    if (m_pHttpConn) m_pHttpConn->SetUnversioned(ReleaseOwnNames(parsed));
    if (!keys.empty()) {
        // The signature under the release's own name: a list and a signature
        // fetched across a publication (or from a cache) still belong together.
        const std::string own = ReleaseSignatureName(parsed.Release());
        bool fetchedOwn = false;
        // Only a publisher that writes the release's copies writes that signature: older trees are not asked.
        const bool copies = parsed.Find(ReleaseCopyName(parsed.Release(), "version.pat")) != nullptr;
        if (unchanged) {
            fetchedOwn = true;
            m_strRawBody = std::move(keptSignatureBytes);
        } else if (copies && !parsed.Release().empty() && IsSafeSegment(own)) {
            m_bOptionalFetch = true;
            fetchedOwn = FetchListWhole(own);
            m_bOptionalFetch = false;
            if (!fetchedOwn && (!m_bLastFetchMissing || m_bAbort)) return false;
        }
        if (!fetchedOwn && !FetchListWhole("hash.pat.minisig")) return false;
        std::string signature = std::move(m_strRawBody), release;
        long long time = 0;
        if (!VerifySignedList(list, signature, keys, release, time))
            return refuse("its signature is not made by a pinned key",
                          "hash.pat is not signed by this platform's key (or its signature is damaged)");
        if (release != parsed.Release())
            return refuse("signed for release " + ShortName(release) + ", lists " + ShortName(parsed.Release()),
                          "hash.pat is not the content its signature names (release " + ShortName(parsed.Release()) +
                              ", signed for " + ShortName(release) + ")");
        long long before = ReadAcceptedTime(RecordPath(run, kAcceptedFile));
        {
            // The kept list's own signed time stands whatever the record says (an
            // earlier launcher kept the record where a game file could replace it).
            std::string keptList, keptSignature, keptRelease;
            long long keptTime = 0;
            if (ReadKeptList(run, keptList, keptSignature) &&
                VerifySignedList(keptList, keptSignature, keys, keptRelease, keptTime) && keptTime > before)
                before = keptTime;
        }
        if (time < before && fetchedOwn && !unchanged && FetchListWhole("hash.pat.minisig")) {
            // The release's own signature from before it was rolled back to (a
            // cache may still hold it): the one in place may be the newer one.
            std::string newer = std::move(m_strRawBody), newerRelease;
            long long newerTime = 0;
            if (VerifySignedList(list, newer, keys, newerRelease, newerTime) && newerRelease == release &&
                newerTime >= before) {
                OutputDebugStringW("hash.pat: the release's own signature is older than the one in place; that one is used");
                signature = std::move(newer);
                time = newerTime;
            }
        }
        if (time < before) {
            // A cache or a mirror behind: the newer list kept here is what the player already trusts.
            std::string keptList, keptSignature, keptRelease;
            long long keptTime = 0;
            CHashList kept;
            if (!ReadKeptList(run, keptList, keptSignature) ||
                !VerifySignedList(keptList, keptSignature, keys, keptRelease, keptTime) || keptTime != before ||
                !kept.Parse(keptList) || kept.Release() != keptRelease)
                return refuse(Format("published at %lld, before the list accepted here (%lld)", time, before),
                              "hash.pat is older than the list already accepted here (a rollback is refused)");
            OutputDebugStringW("the server's hash.pat (release " + ShortName(release) +
                               ") is older than the one accepted here: the kept list of release " +
                               ShortName(keptRelease) + " is used");
            m_strOlderOffered = release;
            parsed = std::move(kept);
            list = std::move(keptList);
            signature = std::move(keptSignature);
            release = keptRelease;
            time = keptTime;
        }
        if (time > before || !PathFileExists(RecordPath(run, kKeptListFile))) {
            EnsureFolder(RecordsFolder(run));
            if (!WriteFileAtomically(RecordPath(run, std::string(kKeptListFile) + ".minisig"), signature) ||
                !WriteFileAtomically(RecordPath(run, kKeptListFile), list) ||
                !WriteFileAtomically(RecordPath(run, kAcceptedFile),
                                     "release|" + release + "\r\ntime|" + std::to_string(time) + "\r\n"))
                OutputDebugStringW("the accepted hash list was not kept");
        }
        // The server's name for these bytes, for the next start's question.
        if (!etag.empty() && m_strOlderOffered.empty())
            WriteFileAtomically(RecordPath(run, kEtagFile), "etag|" + etag + "\r\nsha256|" + Sha256Of(list) + "\r\n");
    }
    // The lists and the launcher under the release's own names, where the list names them so.
    std::map<std::string, std::string> aliases;
    for (const std::string& name : ReleaseCopiedNames()) {
        const FoundEntry entry = parsed.Find(name);
        const FoundEntry copy = parsed.Find(ReleaseCopyName(parsed.Release(), name));
        if (entry && copy && entry->size == copy->size && entry->sha256 == copy->sha256 &&
            IsSafeSegment(ReleaseCopyName(parsed.Release(), name)))
            aliases[name] = ReleaseCopyName(parsed.Release(), name);
    }
    if (m_pHttpConn) m_pHttpConn->SetAliases(std::move(aliases));
    m_hashList = std::move(parsed);
    m_strListInForceSha = Sha256Of(list);
    m_bHashList = true;
    TraceF("hash.pat: release %s, %d entries, %s", ShortName(m_hashList.Release()).c_str(), int(m_hashList.Size()),
           keys.empty() ? "unsigned (no pinned key)" : "signature verified");
    m_nTaskKind = TASK_IDLE;
    return true;
}

}  // namespace fl
