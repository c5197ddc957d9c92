#pragma once
// What went wrong with a request, in words, for the command line's
// diagnostic: "connection refused by 127.0.0.1:1". The result box keeps the
// language file's texts; this is the detail behind them.

#include "call/call_press.h"

#include <string>

namespace pellandor {

// `outcome` did not complete; `address` and `port` are the exchange's as the
// settings give them.
std::string describeRequestFailure(const CallOutcome& outcome, const std::string& address, const std::string& port);

// The settings a request still lacks, named one by one: "user ID, password,
// exchange address and port". Empty when nothing is missing.
std::string missingSettingsText(const CallDialogValues& account);

}  // namespace pellandor
