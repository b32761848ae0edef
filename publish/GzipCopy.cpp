#include "publish/GzipCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>

#include "platform/FileOps.h"
#include "platform/Folders.h"

namespace fl {

namespace {

// Smaller than this, a list gains less than its copy's headers cost.
constexpr size_t kSmallestCopied = 1024;

// gzip with a header that carries no time: the same list, the same copy.
bool Gzip(const std::string& in, std::string& out) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&z, uLong(in.size())) + 32);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    deflateEnd(&z);
    return done;
}

}  // namespace

bool PutIfChanged(const std::string& path, const std::string& bytes) {
    std::string old;
    if (ReadWholeFile(path, old) && old == bytes) return true;
    return EnsureFolder(ParentOf(path)) && WriteFileAtomically(path, bytes);
}

bool PutWithGzipCopy(const std::string& path, const std::string& bytes) {
    std::string packed;
    const bool copy = bytes.size() >= kSmallestCopied && Gzip(bytes, packed) && packed.size() < bytes.size();
    // The copy first when there is one (both say the same); else any old copy goes before the list changes.
    if (copy ? !PutIfChanged(path + ".gz", packed) : !DeleteFile(path + ".gz")) return false;
    return PutIfChanged(path, bytes);
}

bool WriteGzipCopyOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && (size_t)st.st_size < kSmallestCopied) return DeleteFile(path + ".gz");
    const std::string temp = path + ".gz.publishing";
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    gzFile out = in >= 0 ? gzopen(temp.c_str(), "wb6") : nullptr;
    bool ok = out != nullptr;
    std::string buffer(1 << 16, '\0');
    for (ssize_t n; ok && (n = read(in, buffer.data(), buffer.size())) != 0;)
        ok = n > 0 && gzwrite(out, buffer.data(), unsigned(n)) == int(n);
    if (out && gzclose(out) != Z_OK) ok = false;
    if (in >= 0) close(in);
    if (!ok || std::rename(temp.c_str(), (path + ".gz").c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace fl
