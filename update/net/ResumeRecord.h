#pragma once
// What a half-fetched ".temp" file belongs to, kept in the records folder of
// its run folder (beside the temp file outside one): the body's total size and the server's validator (ETag,
// else Last-Modified). A later fetch asks only for the missing bytes, and only
// of that same body (If-Range).
#include <string>

#include "platform/HttpClient.h"

namespace fl {

struct ResumeRecord {
    long long total = -1;
    std::string validator;
};

std::string ResumePath(const std::string& temp);
// The record, when it exists, names a validator and fits the temp file's size.
bool LoadResume(const std::string& temp, ResumeRecord& record, long long& held);
void SaveResume(const std::string& temp, const ResumeRecord& record);
void RemoveResume(const std::string& temp);
// Printable and short enough to go back in an If-Range header.
bool IsSendableValidator(const std::string& validator);
// The validator a response carries, empty when none.
std::string ValidatorOf(const HttpHead& head);

}  // namespace fl
