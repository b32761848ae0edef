// The demo's game client: tells what it received and stops.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    std::ostringstream out;
    out << "client.exe started\n";
    for (int i = 1; i < argc; ++i) out << "argument " << i << ": " << argv[i] << "\n";
    char cwd[4096] = {};
    if (getcwd(cwd, sizeof cwd)) out << "working folder: " << cwd << "\n";

    // param.tmp lies beside the client: UTF-16LE as a text-mode stream wrote it.
    std::string self = argv[0];
    std::string folder = self.substr(0, self.rfind('/') + 1);
    std::ifstream f(folder + "param.tmp", std::ios::binary);
    std::ostringstream raw;
    raw << f.rdbuf();
    std::string bytes = raw.str(), text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;  // text-mode line end
        text += bytes[i];
    }
    std::string ascii;
    for (size_t i = 0; i + 1 < text.size(); i += 2) ascii += text[i + 1] == 0 ? text[i] : '?';
    out << "param.tmp: " << ascii << "\n";

    std::fputs(out.str().c_str(), stdout);
    std::ofstream(folder + "client-run.txt") << out.str();
    return 0;
}
