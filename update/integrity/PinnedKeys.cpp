#include "update/integrity/PinnedKeys.h"

#include "PinnedKeys.inc"

namespace fl {

std::string BuildPinnedKeys() { return kBuildPinnedKeys; }

}  // namespace fl
