#pragma once
// The page value text: pairs written 'key':'value'.
#include <string>
#include <string_view>

namespace fl {

// The characters after the first occurrence of key + "':'", up to the next
// single quote (or the end of the text); empty when the key is absent.
std::string GetPageValue(std::string_view text, std::string_view key);

}  // namespace fl
