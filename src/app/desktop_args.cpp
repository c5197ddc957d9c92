#include "app/desktop_args.h"

#include "app/phone_uri.h"
#include "cli/command_line.h"
#include "dialing/dialing_rules.h"
#include "dialing/text_utils.h"

namespace pellandor {

namespace {

DesktopRequest Error(std::string what, int code) {
    DesktopRequest r;
    r.kind = DesktopRequest::Kind::Error;
    r.error = std::move(what);
    r.exitCode = code;
    return r;
}

}  // namespace

bool NumberToDial(const std::string& text, std::string& number, std::string& error) {
    if (IsPhoneUri(text)) {
        PhoneUriResult parsed = ParsePhoneUri(text);
        if (!parsed.ok) {
            error = parsed.error;
            return false;
        }
        number = parsed.number;
        return true;
    }
    std::string candidate = TrimBlanks(text);
    const DialingRules plain;
    if (!plain.IsDialableText(candidate, false)) {
        error = "not a dialable number (at most 30 characters of 0-9 * # + ( ) - / and space, with at least one "
                "digit)";
        return false;
    }
    number = candidate;
    return true;
}

DesktopRequest ClassifyCommandLine(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--demo") {
            if (args.size() != 1) return Error("--demo takes nothing else", 1);
            DesktopRequest r;
            r.kind = DesktopRequest::Kind::Demo;
            return r;
        }
    }
    const ParsedArgs parsed = ParseArgs(args);
    if (!parsed.error.empty() || parsed.help || parsed.version) return {};

    const bool link = IsPhoneUri(parsed.command);
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
        if (!parsed.words.empty()) return Error("popup takes no number: it reads the clipboard", 1);
        r.line = "popup";
        return r;
    }
    std::string text;
    if (link) {
        if (!parsed.words.empty()) return Error("a link goes alone: " + parsed.command + " " + JoinWords(parsed.words), 1);
        text = parsed.command;
    } else {
        if (parsed.words.empty()) return Error("dial needs a NUMBER or a tel: link", 1);
        text = JoinWords(parsed.words);
    }
    std::string number, error;
    if (!NumberToDial(text, number, error)) return Error("\"" + text + "\": " + error, 3);
    r.line = "dial " + number;
    return r;
}

}  // namespace pellandor
