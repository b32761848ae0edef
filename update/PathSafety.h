#pragma once
// Names from the resource server become paths below the run folder. They may
// use "\" or "/" between folders; a name that would resolve outside the run
// folder (absolute, or with a ".." segment) is refused.
#include <string>

namespace fl {

std::string NormalizeSeparators(std::string name);
bool IsSafeRelativeName(const std::string& name);

}  // namespace fl
