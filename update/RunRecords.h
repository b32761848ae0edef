#pragma once
// What the launcher itself keeps in a run folder (the lists it accepted, kept
// and installed, the chunk cache, partly built files, journals, resume
// records) lives in one folder of its own that no game file may take: a
// release cannot overwrite a record, and the launcher never clobbers or
// deletes a game file for one.
#include <functional>
#include <string>

#include "update/PathSafety.h"

namespace fl {

// "<root>.fenwa-launcher/" (`root` ends with "/").
std::string RecordsFolder(const std::string& root);
// The record `name` of the run folder `root`.
std::string RecordPath(const std::string& root, const std::string& name);

// Records an earlier launcher left in the run folder itself move into the
// records folder, once (nothing the new place already holds is replaced); a
// name the saved file list gives a game file stays where it is.
void MoveEarlierRecords(const std::string& root, const std::function<bool(const std::string&)>& isGameFile);

// The folder whose records folder keeps the resume record of `temp`: the run
// folder for its files, the data folder for the launcher's own; empty outside both.
std::string RecordsRootOf(const std::string& temp);

}  // namespace fl
