#pragma once
#include <string>

namespace fl {

// Embedded resources are addressed as "/fenwazelt/core/<type>/<id>".
// Returns false when the resource does not exist.
bool LoadCoreResource(const std::string& type, int id, std::string& bytes);

// Writes the loading movie (resource 248, type "swf") as "loading.swf" in the
// current directory, replacing an older one.
bool ExtractLoadingMovie();

}  // namespace fl
