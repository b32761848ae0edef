#pragma once
// The page host's address rules, apart from the browser so they can be tested
// alone. Substring tests are plain and case-sensitive.
#include <string>

namespace fl {

struct BeforeNavigateActions {
    bool bCancel = false;
    bool bHandleLogin = false;      // run the login fetch on the address
    bool bTestPage = false;         // post 101 (after the local launch, if any)
    std::string strTestArgument;    // what goes to "text.txt" (empty: nothing is launched)
    bool bAdvertising = false;      // post 102
};

// The rules for a navigation about to start, in their order.
BeforeNavigateActions ClassifyBeforeNavigate(const std::string& address, const std::string& advertisingHost);

struct NavigateCompleteActions {
    bool bStop = false;             // "enter_game.php" or a login address: stop the view
    bool bHandleLogin = false;      // a login address reached without a start of its own (a redirect)
};
NavigateCompleteActions ClassifyNavigateComplete(const std::string& address);

// The host of an address ("http://ads.example:80/x" gives "ads.example").
std::string HostOf(const std::string& address);

// Writes "text.txt" with the argument in the current directory and opens "client.exe" there.
void LaunchFromTestPage(const std::string& text);

}  // namespace fl
