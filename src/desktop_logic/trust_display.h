#pragma once
// What the settings dialogs show about the exchange's key: the one the
// administrator set, the CA file, the key a first call kept, or none yet.

#include "config/security_settings.h"

#include <string>
#include <string_view>

namespace pellandor {

struct TrustDisplay {
    std::string shown;         // one line for the dialog (UTF-8)
    std::string full;          // the whole fingerprint, when there is one
    bool forgettable = false;  // a kept key, which the user may forget
};

TrustDisplay trustDisplay(const SecuritySettings& security, std::string_view exchange);

}  // namespace pellandor
