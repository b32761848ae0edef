#pragma once
// What the delta benchmarks share: files written and read whole, archive-like
// bytes, a release published with the demo key, and what the runner says it
// fetched of the store.
#include <string>

namespace flbench {

std::string ReadBytes(const std::string& path);
// Writes `bytes`, making the folders on the way.
void WriteBytes(const std::string& path, const std::string& bytes);
// Archive-like bytes: compressible runs among random ones.
std::string ArchiveLike(size_t size, unsigned seed);
// Publishes `game` into `tree` as `release` (the tree's release before it as the previous one).
void PublishRelease(const std::string& game, const std::string& tree, const std::string& key, const std::string& release);
// What the release's report in `tree` says a player at `from` fetches (-1: not said).
long long ReportedBytes(const std::string& tree, const std::string& release, const std::string& from);
// Bytes of the store the runner's last log says it fetched (-1: none said).
long long RunnerStoreBytes(const std::string& dataHome);
// Every file of `game` in `run` with the same bytes, and no file in `run` that
// `game` lacks (the launcher's own records aside): empty, or the first difference.
std::string SameTree(const std::string& game, const std::string& run);

}  // namespace flbench
