#include "platform/ErrorFile.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/Folders.h"

namespace fl {

void WriteErrorLine(const std::string& text) { WriteErrorLineIn(GetCurrentDirectory(), text); }

void WriteErrorLineIn(const std::string& folder, const std::string& text) {
    const std::string path = folder + "/GMS__Err.txt";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
    close(fd);
}

}  // namespace fl
