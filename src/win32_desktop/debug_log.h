#pragma once
// A plain log of what the program was asked to do, for diagnosing a user's
// report and for the end-to-end tests: off unless PELLANDOR_DEBUG_LOG names
// a file. Each line is written and flushed at once.

#include <string_view>

namespace pellandor {

void debugLog(std::string_view line);

}  // namespace pellandor
