#include "desktop_logic/desktop_args.h"

#include "desktop_logic/phone_uri.h"
#include "cli/command_line.h"
#include "dialing/clipboard_number.h"
#include "dialing/dialing_rules.h"
#include "dialing/text_utils.h"

namespace pellandor {

namespace {

DesktopRequest errorRequest(std::string what, int code) {
    DesktopRequest r;
    r.kind = DesktopRequest::Kind::Error;
    r.error = std::move(what);
    r.exitCode = code;
    return r;
}

}  // namespace

Result<std::string> numberToDial(const std::string& text) {
    if (hasBidiControl(text)) return failure(kBidiControlRefusal);
    if (isPhoneUri(text)) {
        return parsePhoneUri(text);
    }
    std::string candidate = trimBlanks(text);
    const DialingRules plain;
    if (!plain.isDialableText(candidate, false)) {
        return failure(
            "not a dialable number (at most 30 characters of 0-9 * # + ( ) - / and space, with at least one "
            "digit)");
    }
    return candidate;
}

DesktopRequest classifyCommandLine(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--demo") {
            if (args.size() != 1) return errorRequest("--demo takes nothing else", 1);
            DesktopRequest r;
            r.kind = DesktopRequest::Kind::Demo;
            return r;
        }
    }
    const Result<ParsedArgs> parsedArgs = parseArgs(args);
    if (!parsedArgs || parsedArgs->help || parsedArgs->version) return {};
    const ParsedArgs& parsed = *parsedArgs;

    const bool link = isPhoneUri(parsed.command);
    if (!parsed.command.empty() && parsed.command != "dial" && parsed.command != "popup" && !link) return {};
    if (parsed.send || parsed.raw) return {};  // the command line explains these

    DesktopRequest r;
    r.kind = DesktopRequest::Kind::Desktop;
    r.settings = parsed.settings;
    if (parsed.command.empty()) {
        if (!parsed.words.empty()) return {};
        r.line = "show";
        return r;
    }
    if (parsed.command == "popup") {
        if (!parsed.words.empty()) return errorRequest("popup takes no number: it reads the clipboard", 1);
        r.line = "popup";
        return r;
    }
    std::string text;
    if (link) {
        if (!parsed.words.empty())
            return errorRequest("a link goes alone: " + parsed.command + " " + joinWords(parsed.words), 1);
        text = parsed.command;
    } else {
        if (parsed.words.empty()) return errorRequest("dial needs a NUMBER or a tel: link", 1);
        text = joinWords(parsed.words);
    }
    const Result<std::string> number = numberToDial(text);
    if (!number) return errorRequest("\"" + text + "\": " + number.error(), 3);
    r.line = "dial " + *number;
    return r;
}

}  // namespace pellandor
