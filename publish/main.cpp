// fenwa-publish: the platform operators' tool that publishes a release of the
// game as a resource tree (and the demo platform's, and the tests').
//
//   fenwa-publish --game DIR --out TREE [--previous TREE] [--launcher FILE --launcher-version V]
//                 [--key SECRETKEY] [--release NAME] [--keep N] [--dry-run]
//   fenwa-publish --rollback R --key SECRETKEY --out TREE [--force] [--dry-run]
//   fenwa-publish keygen PREFIX        writes PREFIX.pub and PREFIX.key (minisign's format)
//   fenwa-publish --list --out TREE    the releases the tree keeps
#include <cstdio>
#include <string>

#include "platform/FileOps.h"
#include "publish/Publisher.h"
#include "publish/ReleaseList.h"
#include "publish/Rollback.h"

namespace {

int Usage(const char* why) {
    if (why) std::fprintf(stderr, "fenwa-publish: %s\n", why);
    std::fprintf(why ? stderr : stdout,
                 "usage: fenwa-publish --game DIR --out TREE [--previous TREE] [--launcher FILE --launcher-version V]\n"
                 "                     [--key SECRETKEY] [--release NAME] [--keep N] [--dry-run]\n"
                 "  --keep N   keep the files of the last N releases (default 3); older ones are removed\n"
                 "             unless the lists in place name them\n"
                 "  --dry-run  read and reckon everything, write nothing to TREE: the report alone\n"
                 "  A publication prints what the release costs players and keeps it as R.report.txt:\n"
                 "  files added, changed and removed; the bytes and requests of an update from each\n"
                 "  release the tree keeps and of a fresh install; the disk it adds.\n"
                 "       fenwa-publish --rollback R --key SECRETKEY --out TREE [--force] [--dry-run]\n"
                 "             puts release R (still kept in TREE) in place again, signed anew: players\n"
                 "             at later releases come back to it; --force signs with another key\n"
                 "       fenwa-publish keygen PREFIX\n"
                 "       fenwa-publish --list --out TREE   the releases TREE keeps, oldest first: signing time,\n"
                 "                                         files, size, disk, and which one the lists in place name\n"
                 "       fenwa-publish --help\n");
    return why ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    if (argc == 3 && std::string(argv[1]) == "keygen") {
        if (!fl::WriteKeyPair(argv[2], error)) {
            std::fprintf(stderr, "fenwa-publish: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s.pub and %s.key written\n", argv[2], argv[2]);
        return 0;
    }
    fl::PublishOptions o;
    bool list = false, force = false;
    std::string rollback;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return Usage(nullptr);
        if (a == "--list") {
            list = true;
            continue;
        }
        if (a == "--dry-run" || a == "--force") {
            (a == "--force" ? force : o.dryRun) = true;
            continue;
        }
        if (a == "--keep") {
            if (i + 1 >= argc) return Usage("--keep needs a value");
            const std::string v = argv[++i];
            if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) < 1)
                return Usage(("--keep takes a number of releases, at least 1: " + v).c_str());
            o.keep = std::stoi(v);
            continue;
        }
        std::string* target = a == "--game"               ? &o.gameDir
                              : a == "--out"              ? &o.outDir
                              : a == "--previous"         ? &o.previousDir
                              : a == "--launcher"         ? &o.launcherFile
                              : a == "--launcher-version" ? &o.launcherVersion
                              : a == "--key"              ? &o.keyFile
                              : a == "--release"          ? &o.release
                              : a == "--rollback"         ? &rollback
                                                          : nullptr;
        if (!target) return Usage(("unknown option " + a).c_str());
        if (i + 1 >= argc) return Usage((a + " needs a value").c_str());
        *target = argv[++i];
    }
    if (list) {
        if (o.outDir.empty() || !o.gameDir.empty() || !o.keyFile.empty() || !o.release.empty() || !rollback.empty())
            return Usage("--list takes --out TREE alone");
        std::vector<fl::KeptRelease> releases;
        if (!fl::ListKeptReleases(fl::AbsolutePath(o.outDir), releases, error)) {
            std::fprintf(stderr, "fenwa-publish: %s\n", error.c_str());
            return 1;
        }
        std::fputs(fl::FormatKeptReleases(releases).c_str(), stdout);
        return 0;
    }
    if (!rollback.empty()) {
        if (o.outDir.empty() || o.keyFile.empty()) return Usage("--rollback needs --key and --out");
        if (!o.gameDir.empty() || !o.previousDir.empty() || !o.launcherFile.empty() || !o.release.empty())
            return Usage("--rollback takes --key, --out, --force and --dry-run alone");
        fl::RollbackOptions r;
        r.tree = fl::AbsolutePath(o.outDir);
        while (r.tree.size() > 1 && r.tree.back() == '/') r.tree.pop_back();
        r.release = rollback;
        r.keyFile = fl::AbsolutePath(o.keyFile);
        r.force = force;
        r.dryRun = o.dryRun;
        std::string report;
        if (!fl::RollBack(r, report, error)) {
            std::fprintf(stderr, "fenwa-publish: %s\n", error.c_str());
            return 1;
        }
        std::fputs(report.c_str(), stdout);
        return 0;
    }
    if (force) return Usage("--force goes with --rollback");
    if (o.gameDir.empty() || o.outDir.empty()) return Usage("--game and --out are required");
    if (o.launcherFile.empty() != o.launcherVersion.empty()) return Usage("--launcher and --launcher-version go together");
    // Relative paths are taken from the folder the tool was started in.
    for (std::string* path : {&o.gameDir, &o.outDir, &o.previousDir, &o.launcherFile, &o.keyFile}) {
        *path = fl::AbsolutePath(*path);
        while (path->size() > 1 && path->back() == '/') path->pop_back();
    }
    std::string report;
    if (!fl::PublishRelease(o, error, &report)) {
        std::fprintf(stderr, "fenwa-publish: %s\n", error.c_str());
        return 1;
    }
    std::fputs(report.c_str(), stdout);
    return 0;
}
