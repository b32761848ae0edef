#include "demo/PackWriter.h"

#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fldemo {

bool WritePack(const std::string& path, const std::vector<PackEntry>& entries) {
    int err = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za) return false;
    bool ok = true;
    for (const auto& e : entries) {
        // The entries' bytes live until zip_close, which is when libzip reads them.
        zip_source_t* src = e.sourceFile.empty() ? zip_source_buffer(za, e.bytes.data(), e.bytes.size(), 0)
                                                 : zip_source_file(za, e.sourceFile.c_str(), 0, -1);
        const zip_int64_t index = src ? zip_file_add(za, e.name.c_str(), src, ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            if (src) zip_source_free(src);
            ok = false;
            break;
        }
        // Made by a Unix host, so the permission bits are read back.
        ok = zip_set_file_compression(za, zip_uint64_t(index), ZIP_CM_DEFLATE, 1) == 0 &&
             zip_file_set_external_attributes(za, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                              zip_uint32_t(0100000 | e.mode) << 16) == 0;
        if (!ok) break;
    }
    if (!ok) {
        zip_discard(za);
        std::remove(path.c_str());
        return false;
    }
    return zip_close(za) == 0;
}

std::string BuildPack(const std::vector<PackEntry>& entries) {
    // libzip writes no file for an archive without entries: the end record alone is one.
    if (entries.empty()) return std::string("PK\x05\x06", 4) + std::string(18, '\0');
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
