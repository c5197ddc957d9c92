#pragma once
// Which front a command line goes to: the commands of the command line, or
// the desktop program (no command, "dial", a tel:/callto: link, --demo).

#include "base/result.h"

#include <optional>
#include <string>
#include <vector>

namespace pellandor {

struct DesktopRequest {
    enum class Kind { Cli, Desktop, Demo, Error };
    Kind kind = Kind::Cli;
    std::optional<std::string> settings;  // --settings FILE
    std::string line;                     // "show", "popup" or "dial <number>" for the running program
    std::string error;                    // Kind::Error: what is wrong
    int exitCode = 0;                     // Kind::Error: 1 usage, 3 nothing to dial
};

DesktopRequest classifyCommandLine(const std::vector<std::string>& args);

// The number a "dial" line or a link carries, checked as a press of Call
// would check it. Fails, saying why, when there is nothing to dial.
Result<std::string> numberToDial(const std::string& text);

}  // namespace pellandor
