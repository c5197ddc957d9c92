#pragma once

#include "http_request.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exsim {

struct Account {
    std::string station, userid, password;
};

class Accounts final {
public:
    // The one account a simulator started without an accounts file knows.
    static Accounts builtIn();

    // Lines "station<TAB>userid<TAB>password"; blank lines and '#' lines are
    // skipped, a CR before the line end is dropped.
    bool load(const std::string& path, std::string& error);

    bool matches(std::string_view station, std::string_view userid, std::string_view password) const;

private:
    std::vector<Account> accounts_;
};

struct Mode {
    enum class Kind {
        Normal,
        Code,
        Http500,
        NoContentLength,
        ContentLength0,
        Delay,
        Close,
        Silent,
        NotXml,
        Split,
        BigBody,
        UpperHeaders,
        NoCode,
        Tls10,
        Tls11,
        MixedCaseBody,
    };
    Kind kind = Kind::Normal;
    int code = 0;                        // Kind::Code
    std::chrono::milliseconds delay{0};  // Kind::Delay
    std::string text = "normal";         // as given on the command line
};

bool parseMode(std::string_view text, Mode& mode, std::string& error);

// What the exchange makes of a completely received request.
struct Evaluation {
    CallFields fields;
    int http_status = 200;  // 404/405 for a request to the wrong place
    int code = 199;
    std::string error;  // why the code is not 100, when the request itself is at fault
};

// What to send back, and how.
struct Answer {
    std::vector<std::string> writes;     // one TLS write each
    std::chrono::milliseconds pause{0};  // between writes
    std::chrono::milliseconds delay{0};  // before the first write
    std::chrono::seconds hold_open{0};   // afterwards, wait this long for the client to close
    std::optional<int> status;           // HTTP status sent, if anything is sent
    std::optional<int> code;             // result code carried in the body, if any
};

class Exchange final {
public:
    Exchange(Accounts accounts, Mode mode) : accounts_(std::move(accounts)), mode_(std::move(mode)) {}

    const Mode& mode() const { return mode_; }

    Evaluation evaluate(const HttpRequest& request) const;

    // The answer to a request that was read completely, shaped by the mode.
    Answer respond(const Evaluation& evaluation) const;

    // The answer to a request that could not be framed (bad header block,
    // missing Content-Length, ...): the same in every mode.
    static Answer respondToBadRequest(int status);

private:
    Accounts accounts_;
    Mode mode_;
};

// One line of the request log.
struct LogRecord {
    std::string peer;
    std::string tls_version, tls_cipher;
    std::string mode;
    const RequestReader* reader = nullptr;
    const Evaluation* evaluation = nullptr;  // null unless the request was read completely
    const Answer* answer = nullptr;          // null when nothing is sent
    std::string error;
    // CLOCK_MONOTONIC seconds when the connection was accepted and when the
    // first request byte was read after the handshake, so a benchmark can
    // time a client from its own clock.
    std::optional<double> accepted_mono;
    std::optional<double> first_byte_mono;
};

std::string formatLogLine(const LogRecord& record);

}  // namespace exsim
