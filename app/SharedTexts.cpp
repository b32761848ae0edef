#include "app/SharedTexts.h"

namespace fl {

std::string g_strTitle, g_strQuitStarting, g_strQuitInGame, g_strRefreshInGame, g_strSettings, g_strMinimize,
    g_strMaximize, g_strClose, g_strRefresh, g_strHideRestore, g_strClearCache, g_strExit, g_strCacheTool,
    g_strCleanBrowser, g_strCleanFlash, g_strCleanWarning, g_strTypeYes, g_strStartCleaning, g_strCleaning,
    g_strScriptResult, g_strExitCaption, g_strSecondLink;

void FillSharedTexts() {
    g_strTitle = "zeltFenwa";
    g_strQuitStarting = "游戏启动中，是否退出？";
    g_strQuitInGame = "正在游戏中，是否确认退出游戏？";
    g_strRefreshInGame = "游戏运行中，确实要刷新吗？";
    g_strSettings = "设置";
    g_strMinimize = "最小化";
    g_strMaximize = "最大化";
    g_strClose = "关闭";
    g_strRefresh = "刷新(F5)";
    g_strHideRestore = "隐藏/恢复(F9)";
    g_strClearCache = "清除缓存";
    g_strExit = "退出";
    g_strCacheTool = "缓存清理工具";
    g_strCleanBrowser = "清理浏览器缓存";
    g_strCleanFlash = "清理flash缓存";
    g_strCleanWarning = "该操作会删除缓存中的数据，是否继续清理缓存？";
    g_strTypeYes = "若继续，请在输入框中输入\"YES\":";
    g_strStartCleaning = "开始清理";
    g_strCleaning = "请稍候，正在清理中...";
    g_strExitCaption = "是否退出游戏？";
}

}  // namespace fl
