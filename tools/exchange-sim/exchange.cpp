#include "exchange.h"

#include "json_log.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/time.h>

namespace exsim {

namespace {

constexpr std::string_view kServicePath = "/ulvex_svc";

std::string_view messageFor(int code) {
    switch (code) {
        case 100:
            return "OK";
        case 101:
            return "Authentication failed";
        case 102:
            return "Access denied";
        case 103:
            return "Call restricted";
        case 104:
            return "Call not possible";
        case 110:
            return "Caller busy";
        case 199:
            return "Unknown error";
        default:
            return "Result code not defined";
    }
}

std::string_view reasonFor(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        default:
            return "Unknown";
    }
}

constexpr std::string_view kXmlDeclaration = R"(<?xml version="1.0" encoding="utf-8"?>)";
constexpr std::string_view kResponseOpen = R"(<ulvex_svc><response type="service" servicename="clicktocall">)";
constexpr std::string_view kResponseClose = "</response></ulvex_svc>";

std::string resultXml(int code, std::string_view message, std::string_view extra = {}) {
    std::string xml(kXmlDeclaration);
    xml += kResponseOpen;
    xml += "<code>" + std::to_string(code) + "</code><message>";
    xml += message;
    xml += "</message>";
    xml += extra;
    xml += kResponseClose;
    return xml;
}

std::string head(int status, std::string_view content_type, std::size_t length) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reasonFor(status)) + "\r\n";
    head += "Content-Type: " + std::string(content_type) + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

Answer whole(int status, std::string_view content_type, const std::string& body, std::optional<int> code) {
    Answer answer;
    answer.writes.push_back(head(status, content_type, body.size()) + body);
    answer.status = status;
    answer.code = code;
    return answer;
}

bool parseInt(std::string_view text, int& value) {
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc{} && result.ptr == end;
}

void appendTime(std::string& out) {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char buffer[40];
    const auto n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &utc);
    out.append(buffer, n);
    const int millis = static_cast<int>(now.tv_usec / 1000);
    out += '.';
    out += static_cast<char>('0' + millis / 100);
    out += static_cast<char>('0' + millis / 10 % 10);
    out += static_cast<char>('0' + millis % 10);
    out += 'Z';
}

void appendOptionalInt(std::string& out, std::optional<int> value) {
    out += value ? std::to_string(*value) : "null";
}

}  // namespace

Accounts Accounts::builtIn() {
    Accounts accounts;
    accounts.accounts_.push_back({"2001", "alice", "secret"});
    return accounts;
}

bool Accounts::load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open accounts file " + path + ": " + std::strerror(errno);
        return false;
    }
    accounts_.clear();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line.front() == '#') continue;
        const auto tab1 = line.find('\t');
        const auto tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos || line.find('\t', tab2 + 1) != std::string::npos) {
            error = path + ":" + std::to_string(number) + ": expected station<TAB>userid<TAB>password";
            return false;
        }
        Account account{line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1)};
        if (account.station.empty() || account.userid.empty()) {
            error = path + ":" + std::to_string(number) + ": empty station or user ID";
            return false;
        }
        accounts_.push_back(std::move(account));
    }
    if (accounts_.empty()) {
        error = "accounts file " + path + " holds no account";
        return false;
    }
    return true;
}

bool Accounts::matches(std::string_view station, std::string_view userid, std::string_view password) const {
    for (const auto& account : accounts_) {
        if (account.station == station && account.userid == userid && account.password == password) return true;
    }
    return false;
}

bool parseMode(std::string_view text, Mode& mode, std::string& error) {
    using K = Mode::Kind;
    static constexpr std::pair<std::string_view, K> kPlain[] = {
        {"normal", K::Normal},
        {"http500", K::Http500},
        {"no-content-length", K::NoContentLength},
        {"content-length-0", K::ContentLength0},
        {"close", K::Close},
        {"silent", K::Silent},
        {"not-xml", K::NotXml},
        {"split", K::Split},
        {"big-body", K::BigBody},
        {"upper-headers", K::UpperHeaders},
        {"no-code", K::NoCode},
        {"tls1.0", K::Tls10},
        {"tls1.1", K::Tls11},
        {"mixed-case-body", K::MixedCaseBody},
    };
    mode = Mode{};
    mode.text = std::string(text);
    for (const auto& [name, kind] : kPlain) {
        if (text == name) {
            mode.kind = kind;
            return true;
        }
    }
    if (text.starts_with("code:")) {
        if (!parseInt(text.substr(5), mode.code) || mode.code < 0) {
            error = "mode code:N needs a non-negative whole number, got '" + std::string(text) + "'";
            return false;
        }
        mode.kind = K::Code;
        return true;
    }
    if (text.starts_with("delay:")) {
        const std::string number(text.substr(6));
        char* end = nullptr;
        const double seconds = number.empty() ? -1 : std::strtod(number.c_str(), &end);
        if (number.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 3600) {
            error = "mode delay:S needs seconds between 0 and 3600, got '" + std::string(text) + "'";
            return false;
        }
        mode.kind = K::Delay;
        mode.delay = std::chrono::milliseconds(std::llround(seconds * 1000));
        return true;
    }
    error = "unknown mode '" + std::string(text) + "'";
    return false;
}

Evaluation Exchange::evaluate(const HttpRequest& request) const {
    Evaluation result;
    if (request.method != "POST") {
        result.http_status = 405;
        result.error = "method " + request.method + " is not POST";
        return result;
    }
    if (request.target != kServicePath) {
        result.http_status = 404;
        result.error = "no service at " + request.target;
        return result;
    }
    std::string xml;
    if (!extractXmlPart(request, xml, result.error)) return result;
    if (!extractCallFields(xml, result.fields, result.error)) return result;

    const CallFields& f = result.fields;
    if (!accounts_.matches(*f.stnnum, *f.userid, *f.userpwd)) {
        result.code = 101;
        result.error = "unknown station, user ID or password";
    } else if (*f.calltype == "hangup") {
        result.code = 100;
    } else if (*f.calltype == "single") {
        if (f.destdialnum && !f.destdialnum->empty()) {
            result.code = 100;
        } else {
            result.code = 104;
            result.error = "call without a destination number";
        }
    } else {
        result.code = 199;
        result.error = "unknown calltype '" + *f.calltype + "'";
    }
    return result;
}

Answer Exchange::respond(const Evaluation& evaluation) const {
    if (evaluation.http_status != 200) return respondToBadRequest(evaluation.http_status);

    using K = Mode::Kind;
    const int code = mode_.kind == K::Code ? mode_.code : evaluation.code;
    const std::string xml = resultXml(code, messageFor(code));
    switch (mode_.kind) {
        case K::Http500:
            return whole(500, "text/xml", xml, code);
        case K::NoContentLength: {
            // Chunked framing: complete and valid HTTP/1.1, but no Content-Length.
            char size[16];
            std::snprintf(size, sizeof size, "%zx", xml.size());
            Answer answer;
            answer.writes.push_back(
                "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n"
                "Connection: close\r\n\r\n" +
                std::string(size) + "\r\n" + xml + "\r\n0\r\n\r\n");
            answer.status = 200;
            answer.code = code;
            return answer;
        }
        case K::ContentLength0: {
            Answer answer = whole(200, "text/xml", "", std::nullopt);
            answer.hold_open = std::chrono::seconds(30);
            return answer;
        }
        case K::Close:
            return Answer{};
        case K::Silent: {
            Answer answer;
            answer.hold_open = std::chrono::seconds(60);
            return answer;
        }
        case K::NotXml:
            return whole(200, "text/html", "<html><body>oops", std::nullopt);
        case K::Split: {
            Answer answer;
            answer.writes = {head(200, "text/xml", xml.size()), xml};
            answer.pause = std::chrono::milliseconds(200);
            answer.status = 200;
            answer.code = code;
            return answer;
        }
        case K::BigBody: {
            // The code comes first; the padding pushes the body well past one 4 KiB read.
            std::string padding;
            for (int i = 0; padding.size() < 12000; ++i) {
                padding += "<padding index=\"" + std::to_string(i) + "\">";
                padding += std::string(100, 'x');
                padding += "</padding>";
            }
            return whole(200, "text/xml", resultXml(code, messageFor(code), padding), code);
        }
        case K::UpperHeaders: {
            Answer answer;
            answer.writes.push_back("HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/xml\r\nCONTENT-LENGTH: " +
                                    std::to_string(xml.size()) + "\r\nCONNECTION: close\r\n\r\n" + xml);
            answer.status = 200;
            answer.code = code;
            return answer;
        }
        case K::NoCode: {
            std::string body(kXmlDeclaration);
            body += kResponseOpen;
            body += "<message>OK</message>";
            body += kResponseClose;
            return whole(200, "text/xml", body, std::nullopt);
        }
        case K::MixedCaseBody:
            return whole(200, "text/xml", resultXml(code, "MixedCase OK"), code);
        case K::Delay: {
            Answer answer = whole(200, "text/xml", xml, code);
            answer.delay = mode_.delay;
            return answer;
        }
        case K::Normal:
        case K::Code:
        case K::Tls10:
        case K::Tls11:
            break;
    }
    return whole(200, "text/xml", xml, code);
}

Answer Exchange::respondToBadRequest(int status) {
    return whole(status, "text/xml", resultXml(199, messageFor(199)), 199);
}

std::string formatLogLine(const LogRecord& record) {
    std::string out = "{\"time\":\"";
    appendTime(out);
    out += "\",\"peer\":";
    appendJsonString(out, record.peer);
    out += ",\"tls\":{\"version\":";
    appendJsonString(out, record.tls_version);
    out += ",\"cipher\":";
    appendJsonString(out, record.tls_cipher);
    out += "},\"mode\":";
    appendJsonString(out, record.mode);

    const RequestReader* reader = record.reader;
    const bool have_head = reader && reader->headers_done();
    const bool complete = reader && reader->state() == RequestReader::State::Complete;
    out += ",\"request_line\":";
    appendJsonStringOrNull(out, have_head ? std::optional(reader->request().request_line) : std::nullopt);
    out += ",\"headers\":";
    if (have_head) {
        out += '[';
        bool first = true;
        for (const auto& [name, value] : reader->request().headers) {
            out += first ? "[" : ",[";
            first = false;
            appendJsonString(out, name);
            out += ',';
            appendJsonString(out, value);
            out += ']';
        }
        out += ']';
    } else {
        out += "null";
    }
    out += ",\"raw\":";
    appendJsonString(out, reader ? reader->received() : std::string());
    out += ",\"body\":";
    appendJsonStringOrNull(out, complete ? std::optional(reader->request().body) : std::nullopt);
    out += ",\"excess_bytes\":";
    out += std::to_string(reader ? reader->excess() : 0);

    const CallFields fields = record.evaluation ? record.evaluation->fields : CallFields{};
    const std::pair<const char*, const std::optional<std::string>*> named[] = {
        {"stnnum", &fields.stnnum},         {"userid", &fields.userid},     {"userpwd", &fields.userpwd},
        {"srcdialnum", &fields.srcdialnum}, {"calltype", &fields.calltype}, {"destdialnum", &fields.destdialnum},
    };
    out += ",\"fields\":{";
    for (const auto& [name, value] : named) {
        if (name != named[0].first) out += ',';
        out += '"';
        out += name;
        out += "\":";
        appendJsonStringOrNull(out, *value);
    }
    out += "},\"call_type\":";
    appendJsonStringOrNull(out, fields.calltype);
    out += ",\"destination\":";
    appendJsonStringOrNull(out, fields.destdialnum);
    out += ",\"http_status\":";
    appendOptionalInt(out, record.answer ? record.answer->status : std::nullopt);
    out += ",\"code\":";
    appendOptionalInt(out, record.answer ? record.answer->code : std::nullopt);
    out += ",\"error\":";
    appendJsonStringOrNull(out, record.error.empty() ? std::nullopt : std::optional(record.error));
    for (const auto& [name, value] :
         {std::pair{"accepted_mono", &record.accepted_mono}, std::pair{"first_byte_mono", &record.first_byte_mono}}) {
        out += ",\"";
        out += name;
        out += "\":";
        if (*value) {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.6f", **value);
            out += buffer;
        } else {
            out += "null";
        }
    }
    out += '}';
    return out;
}

}  // namespace exsim
