#pragma once
// Trust on first use for the exchange, shared by the fronts: the policy a
// request runs under, keeping the key a first call found, and the message
// when the key is not the trusted one.

#include "config/app_settings.h"
#include "config/security_settings.h"
#include "service/peer_trust.h"

#include <string>
#include <string_view>

namespace pellandor {

// A provisioned key or CA file wins; otherwise the key kept for this
// exchange, or none (first use).
TrustPolicy trustPolicyFor(const SecuritySettings& security, const CallDialogValues& account);

// After a request whose handshake found no key to match: keeps the key it
// saw. A file write, so it runs on the GUI thread or in the command line,
// never on the request's worker. True when this call pinned the key.
Result<bool> keepFirstKey(const std::string& settingsPath, const std::string& exchange, const PeerCheck& check);

// What to show when the exchange's key or certificate was not trusted
// (nothing was sent); empty for any other outcome.
std::string untrustedExchangeMessage(const PeerCheck& check, std::string_view exchange);

}  // namespace pellandor
