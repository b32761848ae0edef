#include "app/LoadingMovie.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include "platform/Folders.h"

extern "C" GResource* fl_core_get_resource(void);

namespace fl {

bool LoadCoreResource(const std::string& type, int id, std::string& bytes) {
    // Looked up in our own bundle directly: a static library's constructor
    // registration could be dropped by the linker.
    std::string path = "/fenwazelt/core/" + type + "/" + std::to_string(id);
    GBytes* data = g_resource_lookup_data(fl_core_get_resource(), path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!data) return false;
    gsize size = 0;
    const auto* p = static_cast<const char*>(g_bytes_get_data(data, &size));
    bytes.assign(p, size);
    g_bytes_unref(data);
    return true;
}

bool ExtractLoadingMovie() {
    std::string movie;
    if (!LoadCoreResource("swf", 248, movie)) return false;
    std::string path = GetCurrentDirectory() + "/loading.swf";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = write(fd, movie.data(), movie.size()) == ssize_t(movie.size());
    ok = (close(fd) == 0) && ok;
    return ok;
}

}  // namespace fl
