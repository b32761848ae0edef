#pragma once
// The platform's addresses. Defaults are build configuration (they point at the
// bundled demo platform); at run time each can be overridden by an environment
// variable or by "platform.ini" beside the launcher (key=value lines).
#include <string>

namespace fl {

struct PlatformConfig {
    std::string strMemberSite;   // home page, game home, forum, customer service
    std::string strPaymentSite;  // recharge
    std::string strMainSite;     // the platform's main site
    std::string strAdvertisingHost;
    std::string strLimitRate;  // "limit_rate=": a cap for every transfer together ("2M"); empty or 0 none

    std::string HomePage() const { return strMemberSite + "/yxfenwa/wd"; }
    std::string GameHomePage() const { return strMemberSite + "/yxfenwa/"; }
    std::string RechargePage() const { return strPaymentSite + "/fenwa/?je=50"; }
    std::string ForumPage() const { return strMemberSite + "/forums/mtag-83392"; }
    std::string CustomerServicePage() const { return strMemberSite + "/kefu/yxfenwa.html"; }
    std::string MainSitePage() const { return strMainSite + "/"; }
};

// Built-in defaults, then "platform.ini" in `folder` (when given), then the
// environment (FLAUNCHER_MEMBER_SITE, FLAUNCHER_PAYMENT_SITE, FLAUNCHER_MAIN_SITE,
// FLAUNCHER_AD_HOST, FLAUNCHER_LIMIT_RATE).
PlatformConfig LoadPlatformConfig(const std::string& folder);

}  // namespace fl
