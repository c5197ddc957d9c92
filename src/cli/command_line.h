#pragma once
// Splitting of the command line into a command, its options and its words.

#include "base/result.h"

#include <optional>
#include <string>
#include <vector>

namespace pellandor {

struct ParsedArgs {
    std::string command;                  // "call", "config", ... or empty
    std::vector<std::string> words;       // positional words after the command
    std::optional<std::string> settings;  // --settings FILE
    bool send = false;                    // --send (dial-string)
    bool raw = false;                     // --raw (call)
    bool showPassword = false;            // --show-password (config list)
    bool help = false;
    bool version = false;
};

// Options may stand anywhere before "--"; after it every word is positional,
// so a number or value that begins with "-" is taken as it is. Fails with the
// usage error (an unknown option, --settings without a file).
Result<ParsedArgs> parseArgs(const std::vector<std::string>& args);

// Several number words are one number: "+1 212 555 1234" typed unquoted.
std::string joinWords(const std::vector<std::string>& words);

}  // namespace pellandor
