#pragma once
// Starting other programs. No shell is involved; started programs are detached
// (their own session, never waited for) so they outlive the launcher.
#include <string>
#include <vector>

namespace fl {

// Starts `path` with `args` (argv[1..]) in `workDir` (empty = inherit).
// Returns 0 when the program was started, else the errno of the failure.
int StartProgram(const std::string& path, const std::vector<std::string>& args, const std::string& workDir = {});

// What the shell's "open" verb does for a program file on this platform: a native
// program (ELF, or a script starting with "#!") is made runnable and started; a
// Windows program ("MZ") is started through wine when wine is on the PATH.
// Returns 0 when started; otherwise an errno and `why` says what happened.
int ShellOpenProgram(const std::string& path, const std::string& argText, std::string* why = nullptr);

// Opens an address in the user's browser: $FLAUNCHER_BROWSER when set, else xdg-open.
int OpenInBrowser(const std::string& url);

// Finds a program on the PATH; empty when absent.
std::string FindOnPath(const std::string& name);

}  // namespace fl
