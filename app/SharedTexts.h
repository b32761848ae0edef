#pragma once
// The user-interface texts, filled once at start-up; dialogs and menus take
// their texts from here. Read-only afterwards except g_strScriptResult.
#include <string>

namespace fl {

extern std::string g_strTitle;
extern std::string g_strQuitStarting;
extern std::string g_strQuitInGame;
extern std::string g_strRefreshInGame;
extern std::string g_strSettings;
extern std::string g_strMinimize;
extern std::string g_strMaximize;
extern std::string g_strClose;
extern std::string g_strRefresh;
extern std::string g_strHideRestore;
extern std::string g_strClearCache;
extern std::string g_strExit;
extern std::string g_strCacheTool;
extern std::string g_strCleanBrowser;
extern std::string g_strCleanFlash;
extern std::string g_strCleanWarning;
extern std::string g_strTypeYes;
extern std::string g_strStartCleaning;
extern std::string g_strCleaning;
extern std::string g_strScriptResult;  // written on the UI thread only
extern std::string g_strExitCaption;
extern std::string g_strSecondLink;    // never assigned

void FillSharedTexts();

// Caption of every application message box.
inline constexpr const char* kGameName = "Fenwa";

}  // namespace fl
