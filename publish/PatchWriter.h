#pragma once
// Patches from the previous release (format in update/chunks/PatchIndex.h):
// for each chunk of the release the previous one lacks, the bytes of the
// previous release's version of the same file that stand where the chunk
// stands (found through the chunks the two versions share) are its reference,
// and the chunk is compressed against them. A patch is kept only when it is
// smaller than the chunk as stored.
#include <string>

namespace fl {

struct PatchFigures {
    int patches = 0;          // kept
    int tried = 0;            // chunks of the release the previous one lacks, with a reference
    long long bytes = 0;      // the patches' bytes
    long long replaced = 0;   // the stored chunks they stand for
};

// Writes "<release>.pidx" and "<release>.patches" into `tree` (where the
// release's index and store are), or neither when no patch is worth keeping or
// `previousTree` lacks the previous release's index and store. False with
// `error` set when they could not be written.
bool WriteReleasePatches(const std::string& tree, const std::string& release, const std::string& previousTree,
                         const std::string& previous, PatchFigures& figures, std::string& error);

}  // namespace fl
