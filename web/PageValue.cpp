#include "web/PageValue.h"

namespace fl {

std::string GetPageValue(std::string_view text, std::string_view key) {
    std::string search(key);
    search += "':'";
    size_t at = text.find(search);
    if (at == std::string_view::npos) return {};
    size_t start = at + search.size();
    size_t end = text.find('\'', start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

}  // namespace fl
