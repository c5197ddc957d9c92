#pragma once
// The command-line front: works without a display, on the core layers only.

#include <iosfwd>
#include <string>
#include <vector>

namespace pellandor {

struct ParsedArgs;

// Runs one command; returns the process exit status.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Says what is wrong, then how to use the program; returns kExitUsage.
int usageError(std::ostream& err, const std::string& what);

// The commands, each given the parsed words and the settings path to use.
int runDialString(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err);
int runConfig(const ParsedArgs& args, const std::string& settingsPath, std::ostream& out, std::ostream& err);
int runCall(const ParsedArgs& args, const std::string& settingsPath, bool hangup, std::ostream& out, std::ostream& err);

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitRefused = 2;     // exchange answered another code; value refused
inline constexpr int kExitFailed = 3;      // request failed; text not dialable
inline constexpr int kExitIncomplete = 4;  // settings incomplete; number not dialable

}  // namespace pellandor
