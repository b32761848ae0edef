#include "app/PlatformConfig.h"

#include <cstdlib>
#include <vector>

#include "platform/TextCodec.h"
#include "update/VersionFiles.h"

#ifndef FLAUNCHER_DEFAULT_SITE
#define FLAUNCHER_DEFAULT_SITE "http://127.0.0.1:8410"
#endif
#ifndef FLAUNCHER_DEFAULT_AD_HOST
#define FLAUNCHER_DEFAULT_AD_HOST "ads.fenwa.invalid"
#endif

namespace fl {

namespace {

std::string WithoutSlash(std::string s) {
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

}  // namespace

PlatformConfig LoadPlatformConfig(const std::string& folder) {
    PlatformConfig c{FLAUNCHER_DEFAULT_SITE, FLAUNCHER_DEFAULT_SITE, FLAUNCHER_DEFAULT_SITE, FLAUNCHER_DEFAULT_AD_HOST, ""};
    struct Key {
        const char* name;
        const char* env;
        std::string* value;
    } keys[] = {{"member_site", "FLAUNCHER_MEMBER_SITE", &c.strMemberSite},
                {"payment_site", "FLAUNCHER_PAYMENT_SITE", &c.strPaymentSite},
                {"main_site", "FLAUNCHER_MAIN_SITE", &c.strMainSite},
                {"ad_host", "FLAUNCHER_AD_HOST", &c.strAdvertisingHost},
                {"limit_rate", "FLAUNCHER_LIMIT_RATE", &c.strLimitRate}};
    std::vector<std::string> lines;
    if (!folder.empty() && ReadLines(folder + "platform.ini", lines)) {
        for (const auto& line : lines) {
            size_t eq = line.find('=');
            if (eq == std::string::npos || Trim(line).rfind('#', 0) == 0) continue;
            const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
            for (auto& k : keys)
                if (key == k.name && !value.empty()) *k.value = value;
        }
    }
    for (auto& k : keys)
        if (const char* v = std::getenv(k.env); v && *v) *k.value = v;
    c.strMemberSite = WithoutSlash(c.strMemberSite);
    c.strPaymentSite = WithoutSlash(c.strPaymentSite);
    c.strMainSite = WithoutSlash(c.strMainSite);
    return c;
}

}  // namespace fl
