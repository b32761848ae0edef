#include "update/PathSafety.h"

namespace fl {

std::string NormalizeSeparators(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

bool IsSafeRelativeName(const std::string& nameIn) {
    const std::string name = NormalizeSeparators(nameIn);
    if (name.empty() || name[0] == '/') return false;
    if (name.size() >= 2 && name[1] == ':') return false;  // a drive letter
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace fl
