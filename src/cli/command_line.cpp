#include "cli/command_line.h"

namespace pellandor {

Result<ParsedArgs> parseArgs(const std::vector<std::string>& args) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    bool haveCommand = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--settings") {
                if (i + 1 >= args.size()) return failure("option --settings needs a file name");
                parsed.settings = args[++i];
            } else if (arg.rfind("--settings=", 0) == 0) {
                parsed.settings = arg.substr(11);
            } else if (arg == "--send") {
                parsed.send = true;
            } else if (arg == "--raw") {
                parsed.raw = true;
            } else if (arg == "--show-password") {
                parsed.showPassword = true;
            } else if (arg == "--help" || arg == "-h") {
                parsed.help = true;
            } else if (arg == "--version") {
                parsed.version = true;
            } else {
                return failure("unknown option: " + arg);
            }
            continue;
        }
        if (!haveCommand) {
            parsed.command = arg;
            haveCommand = true;
        } else {
            parsed.words.push_back(arg);
        }
    }
    if (parsed.settings && parsed.settings->empty()) return failure("option --settings needs a file name");
    return parsed;
}

std::string joinWords(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words) {
        if (!joined.empty()) joined += ' ';
        joined += word;
    }
    return joined;
}

}  // namespace pellandor
