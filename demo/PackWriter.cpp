#include "demo/PackWriter.h"

#include <minizip/zip.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fldemo {

bool WritePack(const std::string& path, const std::vector<PackEntry>& entries) {
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zf) return false;
    bool ok = true;
    for (const auto& e : entries) {
        zip_fileinfo info{};
        info.external_fa = (unsigned long)(0100000 | e.mode) << 16;
        // Made by a Unix host (3), so the permission bits are read back.
        int rc = zipOpenNewFileInZip4_64(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                         Z_BEST_SPEED, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                         (3 << 8) | 20, 0, e.bytes.size() >= 0xffffffffu ? 1 : 0);
        if (rc == ZIP_OK && !e.bytes.empty()) rc = zipWriteInFileInZip(zf, e.bytes.data(), unsigned(e.bytes.size()));
        if (rc == ZIP_OK) rc = zipCloseFileInZip(zf);
        if (rc != ZIP_OK) {
            ok = false;
            break;
        }
    }
    return zipClose(zf, nullptr) == ZIP_OK && ok;
}

std::string BuildPack(const std::vector<PackEntry>& entries) {
    char tmpl[] = "/tmp/fenwa-pack-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return {};
    close(fd);
    std::string bytes;
    if (WritePack(tmpl, entries)) {
        std::ifstream f(tmpl, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        bytes = s.str();
    }
    std::remove(tmpl);
    return bytes;
}

}  // namespace fldemo
