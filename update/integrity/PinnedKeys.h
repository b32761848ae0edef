#pragma once
// The minisign public keys this build accepts the signed hash list from.
#include <string>

namespace fl {

// Base64 key lines separated by ";" or white space; empty for a build without keys.
std::string BuildPinnedKeys();

}  // namespace fl
