#include "update/net/ResumeRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/HttpClient.h"
#include "platform/TextCodec.h"
#include "update/RunRecords.h"
#include "update/integrity/Sha256.h"

namespace fl {

std::string ResumePath(const std::string& temp) {
    // In the records folder, so that no game file is ever taken for one.
    const std::string root = RecordsRootOf(temp);
    if (root.empty()) return temp + ".resume";
    return RecordPath(root, "resume/" + Sha256Of(temp.substr(root.size())).substr(0, 40));
}

bool LoadResume(const std::string& temp, ResumeRecord& record, long long& held) {
    held = 0;
    std::string text;
    struct stat st {};
    if (!ReadWholeFile(ResumePath(temp), text) || stat(temp.c_str(), &st) != 0 || text.size() > 4096) return false;
    record = {};
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a record edited elsewhere
        if (line.rfind("size|", 0) == 0) record.total = ParseLeadingNumber(line.substr(5));
        if (line.rfind("validator|", 0) == 0) record.validator = line.substr(10);
        start = end + 1;
    }
    if (!IsSendableValidator(record.validator) || record.total <= 0 || st.st_size > record.total) return false;
    held = st.st_size;
    return true;
}

void SaveResume(const std::string& temp, const ResumeRecord& record) {
    // Only what LoadResume takes back: a record it refuses could never resume anything.
    if (!IsSendableValidator(record.validator) || record.total <= 0) {
        RemoveResume(temp);  // nothing to resume by: the next fetch starts over
        return;
    }
    // Not flushed: a record lost or torn only means the file starts over.
    const std::string text = "size|" + std::to_string(record.total) + "\nvalidator|" + record.validator + "\n";
    EnsureFolder(ParentOf(ResumePath(temp)));
    const int fd = open(ResumePath(temp).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    WriteAll(fd, text.data(), text.size());
    close(fd);
}

void RemoveResume(const std::string& temp) { unlink(ResumePath(temp).c_str()); }

bool IsSendableValidator(const std::string& validator) {
    // A validator goes back to the server in a header: nothing that could end or bend one.
    if (validator.empty() || validator.size() > 512) return false;
    for (unsigned char c : validator)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string ValidatorOf(const HttpHead& head) {
    // A weak ETag cannot vouch for bytes.
    std::string v = !head.etag.empty() && head.etag.rfind("W/", 0) != 0 ? head.etag : head.lastModified;
    if (!IsSendableValidator(v)) v.clear();
    return v;
}

}  // namespace fl
