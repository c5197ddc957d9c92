#include "desktop_logic/trust_display.h"

namespace pellandor {

namespace {

// Both ends of the fingerprint fit the column and are what people compare.
std::string excerpt(const std::string& key) {
    if (key.size() <= 24) return key;
    return key.substr(0, 11) + " \u2026 " + key.substr(key.size() - 11);
}

}  // namespace

TrustDisplay trustDisplay(const SecuritySettings& security, std::string_view exchange) {
    TrustDisplay display;
    if (!security.requiredKey.empty()) {
        display.full = security.requiredKey;
        display.shown = excerpt(display.full) + " (set by the administrator)";
    } else if (!security.caFile.empty()) {
        display.shown = "checked against " + security.caFile;
    } else if (std::string pin = pinFor(security, exchange); !pin.empty()) {
        display.full = std::move(pin);
        display.shown = excerpt(display.full);
        display.forgettable = true;
    } else {
        display.shown = "none yet (kept on the next call)";
    }
    return display;
}

}  // namespace pellandor
