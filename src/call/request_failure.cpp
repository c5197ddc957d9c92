#include "call/request_failure.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <regex>
#include <vector>

namespace pellandor {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

bool mentions(const std::string& text, const char* words) {
    return lower(text).find(words) != std::string::npos;
}

// The system error number a text carries as "error[111]" or "errno[111]".
std::optional<int> systemError(const std::string& text) {
    static const std::regex kNumber(R"((?:error|errno)\[(\d+)\])");
    std::smatch match;
    if (!std::regex_search(text, match, kNumber)) return std::nullopt;
    return std::stoi(match[1].str());
}

// "within 5000 ms" when the text names the limit.
std::string limitOf(const std::string& text) {
    static const std::regex kLimit(R"(within (\d+) ms)");
    std::smatch match;
    return std::regex_search(text, match, kLimit) ? " within " + match[1].str() + " ms" : std::string();
}

// The text without the names of the operations that failed (and of the
// functions older texts named) and without trailing line breaks: what is
// left is the reason.
std::string reasonOf(std::string text) {
    static const std::regex kFunction(R"([A-Za-z_]+::[A-Za-z_]+:? ?)");
    static const std::regex kOperation(
        R"(\b(?:TLS (?:init|connect|handshake|read|write|peer key|trust anchors)|init|start|connect|send|receive|answer): )");
    text = std::regex_replace(text, kFunction, "");
    text = std::regex_replace(text, kOperation, "");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

std::string hostAndPort(const std::string& address, const std::string& port) {
    // A literal IPv6 address takes brackets before its port.
    if (address.find(':') != std::string::npos) return "[" + address + "]:" + port;
    return address + ":" + port;
}

std::string connectFailure(const std::string& text, const std::string& address, const std::string& where) {
    if (mentions(text, "getaddrinfo") || mentions(text, "resolv")) {
        const std::size_t colon = text.find(": ");
        const std::string reason = reasonOf(colon == std::string::npos ? text : text.substr(colon + 2));
        return "the exchange address \"" + address + "\" could not be resolved" + (reason.empty() ? "" : ": " + reason);
    }
    // The CA file, not the network: it is read before connecting.
    if (mentions(text, "certificate authorities in")) {
        return reasonOf(text.substr(text.find("Connect SSL fail ") == 0 ? 17 : 0)) +
               " (CA_FILE in the settings' [SECURITY] section)";
    }
    if (mentions(text, "cancel")) return "the connection to " + where + " was cancelled";
    const std::optional<int> code = systemError(text);
    if ((code && *code == ECONNREFUSED) || mentions(text, "refused")) return "connection refused by " + where;
    if ((code && *code == ETIMEDOUT) || mentions(text, "time-out") || mentions(text, "timed out"))
        return "no connection to " + where + limitOf(text) + " (time-out)";
    // The TCP connect failed with a system error; otherwise the failure is
    // the TLS handshake's.
    if (code && *code != 0 && mentions(text, "connect fail"))
        return "could not connect to " + where + ": " + lower(std::strerror(*code));
    if (mentions(text, "ssl") || mentions(text, "tls") || mentions(text, "handshake"))
        return "the secure connection (TLS 1.2) with " + where + " could not be set up";
    if (code && *code != 0) return "could not connect to " + where + ": " + lower(std::strerror(*code));
    const std::string reason = reasonOf(text);
    return "could not connect to " + where + (reason.empty() ? "" : ": " + reason);
}

}  // namespace

std::string describeRequestFailure(const CallOutcome& outcome, const std::string& address, const std::string& port) {
    const std::string& text = outcome.result.text;
    const std::string where = hostAndPort(address, port);
    const std::string reason = reasonOf(text);
    switch (-outcome.result.step) {
        case kStepConnect:
            return connectFailure(text, address, where);
        case kStepSendRequest:
            if (mentions(text, "time-out"))
                return "the request could not be sent to " + where + limitOf(text) + " (time-out)";
            return "the request could not be sent to " + where + (reason.empty() ? "" : ": " + reason);
        case kStepReceiveAnswer:
            if (mentions(text, "time-out")) return "no complete answer from " + where + limitOf(text) + " (time-out)";
            if (mentions(text, "closed"))
                return "the exchange at " + where + " closed the connection before its answer was complete";
            return "the answer from " + where + " could not be read" + (reason.empty() ? "" : ": " + reason);
        case kStepCheckAnswer:
            if (text == "CODE_EMPTY") return "the answer from " + where + " holds no result code";
            if (mentions(reason, "xml"))
                return "the answer from " + where + " is not the expected XML" + (reason.empty() ? "" : ": " + reason);
            return "the answer from " + where + " is not usable" + (reason.empty() ? "" : ": " + reason);
        default:
            return "the request could not be made" + (reason.empty() ? "" : ": " + reason);
    }
}

std::string missingSettingsText(const CallDialogValues& account) {
    std::vector<std::string> missing;
    if (account.userId.empty()) missing.emplace_back("user ID");
    if (account.password.empty()) missing.emplace_back("password");
    if (account.phoneNumber.empty()) missing.emplace_back("phone number");
    if (account.exchangeAddress.empty() || account.exchangeAddress == "0.0.0.0")
        missing.emplace_back("exchange address");
    if (account.exchangePort.empty()) missing.emplace_back("exchange port");
    // "exchange address and exchange port" reads better as "exchange address and port".
    if (missing.size() >= 2 && missing[missing.size() - 2] == "exchange address" && missing.back() == "exchange port")
        missing.back() = "port";
    std::string text;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) text += i + 1 == missing.size() ? " and " : ", ";
        text += missing[i];
    }
    return text;
}

}  // namespace pellandor
