#pragma once
// The demo platform's signed hash list: every file, pack, list and the
// launcher of its content, signed with the demo key the demo build pins.
#include <string>

#include "demo/DemoContent.h"

namespace fldemo {

// "hash.pat" of the content as it is now.
std::string HashListOf(const DemoContent& content, const std::string& release = "demo");
// "hash.pat.minisig" over `list`, with the demo key; `time` 0 is now.
std::string SignWithDemoKey(const std::string& list, long long time = 0);
// The demo key pair: the secret key file's text and the public key's base64 line.
std::string DemoSecretKeyFile();
std::string DemoPublicKeyLine();

}  // namespace fldemo
