#pragma once
// What a player at the previous release needs of this one: patches (format in
// update/chunks/PatchIndex.h) and the delta index (update/chunks/DeltaIndex.h).
//
// Patches:
// for each chunk of the release the previous one lacks, the bytes of the
// previous release's version of the same file that stand where the chunk
// stands (found through the chunks the two versions share) are its reference,
// and the chunk is compressed against them. A patch is kept only when it is
// smaller than the chunk as stored.
#include <map>
#include <string>

#include "publish/ReleasePair.h"

namespace fl {

// Where a chunk's patch is, against a run of the previous version of the file it was made for.
struct PatchPlace {
    std::string file;
    long long offset = 0, stored = 0;  // in the patch store
    long long first = 0, count = 0;    // the previous version's chunks it patches
};

struct PatchFigures {
    int patches = 0;          // kept
    int tried = 0;            // chunks of the release the previous one lacks, with a reference
    long long bytes = 0;      // the patches' bytes
    long long replaced = 0;   // the stored chunks they stand for
    std::map<long long, PatchPlace> places;  // by the chunk's offset in the chunk store
};

// Writes "<release>.pidx" and "<release>.patches" beside the release's index,
// or neither when no patch is worth keeping or the previous release's index is
// not usable. False with `error` set when they could not be written.
bool WriteReleasePatches(const ReleasePair& pair, PatchFigures& figures, std::string& error);

// Writes "<release>.from-<previous>.didx" beside the release's index (nothing
// when the previous release's index is not usable), with the patches written
// for each file's chunks.
bool WriteDeltaIndex(const ReleasePair& pair, const PatchFigures& patches, std::string& error);

}  // namespace fl
