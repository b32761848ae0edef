#pragma once
// The pure decisions of start-up, kept apart so they can be tested alone.
#include <string>
#include <vector>

#include "update/launcher/LauncherName.h"

namespace fl {


// The text after the program name: the arguments joined with single spaces
// (the relaunch hands its argument text over as one argument).
std::string JoinArguments(int argc, char** argv);
// The launcher folder: the argument text before its first double quote; none gives empty.
std::string ParseLauncherFolder(const std::string& argText);
// Whether the path has an executable extension as the shell judges it (any case).
bool PathIsExe(const std::string& path);
// The path, trimmed, compared on its right-most 18 characters with the
// launcher's file name, ignoring case.
bool CheckExecutableName(const std::string& modulePath);

}  // namespace fl
