// pellandor-exchange-sim: a stand-alone exchange that answers click-to-call
// requests over TLS, with fault modes for the client's tests.

#include "exchange.h"
#include "json_log.h"
#include "tls_server.h"

#include <csignal>
#include <iostream>
#include <string>
#include <string_view>
#include <sys/signalfd.h>

namespace {

constexpr std::string_view kUsage =
    "usage: pellandor-exchange-sim [--port N] [--bind ADDR] [--accounts FILE]\n"
    "                              [--cert FILE --key FILE | --rsa-bits N]\n"
    "                              [--identity-file FILE [--cert2 FILE --key2 FILE]]\n"
    "                              [--mode MODE] [--log FILE]\n"
    "  --port N         port to listen on; 0 or absent lets the system pick\n"
    "  --bind ADDR      numeric address to listen on (default 127.0.0.1; ::1 works)\n"
    "  --accounts FILE  lines station<TAB>userid<TAB>password (default: 2001 alice secret)\n"
    "  --cert, --key    PEM certificate and key (default: self-signed, made at start)\n"
    "  --rsa-bits N     key size of the self-signed certificate (default 2048)\n"
    "  --cert2, --key2  a second identity (default: another self-signed key)\n"
    "  --identity-file FILE  the second identity is presented while FILE starts with 2\n"
    "  --mode MODE      normal, code:N, http500, no-content-length, content-length-0,\n"
    "                   delay:S, close, silent, not-xml, split, big-body, upper-headers,\n"
    "                   no-code, tls1.0, tls1.1, mixed-case-body\n"
    "  --log FILE       append one JSON line per request\n";

int usageError(std::string_view why) {
    std::cerr << "pellandor-exchange-sim: " << why << "\n" << kUsage;
    return 2;
}

int fatal(std::string_view why) {
    std::cerr << "pellandor-exchange-sim: " << why << "\n";
    return 1;
}

bool parseNumber(std::string_view text, long min, long max, long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
    value = std::stol(std::string(text));
    return value >= min && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bind = "127.0.0.1";
    long port = 0;
    long rsa_bits = 2048;
    bool rsa_bits_given = false;
    std::string accounts_file, log_file, mode_text = "normal";
    exsim::TlsSettings tls;
    exsim::TlsSettings tls2;
    std::string identity_file;

    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (!option.starts_with("--")) return usageError("unexpected argument " + std::string(option));
        if (i + 1 >= argc) return usageError("missing value for " + std::string(option));
        const std::string_view value = argv[++i];
        if (option == "--port") {
            if (!parseNumber(value, 0, 65535, port)) return usageError("--port needs a number from 0 to 65535");
        } else if (option == "--bind") {
            bind = value;
        } else if (option == "--accounts") {
            accounts_file = value;
        } else if (option == "--cert") {
            tls.cert_file = value;
        } else if (option == "--key") {
            tls.key_file = value;
        } else if (option == "--cert2") {
            tls2.cert_file = value;
        } else if (option == "--key2") {
            tls2.key_file = value;
        } else if (option == "--identity-file") {
            identity_file = value;
        } else if (option == "--rsa-bits") {
            if (!parseNumber(value, 512, 16384, rsa_bits)) {
                return usageError("--rsa-bits needs a number from 512 to 16384");
            }
            rsa_bits_given = true;
        } else if (option == "--mode") {
            mode_text = value;
        } else if (option == "--log") {
            log_file = value;
        } else {
            return usageError("unknown option " + std::string(option));
        }
    }
    if (tls.cert_file.empty() != tls.key_file.empty()) return usageError("--cert and --key go together");
    if (tls2.cert_file.empty() != tls2.key_file.empty()) return usageError("--cert2 and --key2 go together");
    if (!tls2.cert_file.empty() && identity_file.empty()) return usageError("--cert2 needs --identity-file");
    if (!tls.cert_file.empty() && rsa_bits_given) {
        return usageError("--rsa-bits only applies to the self-signed certificate");
    }
    tls.rsa_bits = static_cast<int>(rsa_bits);
    tls2.rsa_bits = tls.rsa_bits;

    std::string error;
    exsim::Mode mode;
    if (!exsim::parseMode(mode_text, mode, error)) {
        std::cerr << "pellandor-exchange-sim: " << error << "\n";
        return 2;
    }
    if (mode.kind == exsim::Mode::Kind::Tls10) tls.version = TLS1_VERSION;
    if (mode.kind == exsim::Mode::Kind::Tls11) tls.version = TLS1_1_VERSION;
    tls2.version = tls.version;

    exsim::Accounts accounts = exsim::Accounts::builtIn();
    if (!accounts_file.empty() && !accounts.load(accounts_file, error)) return fatal(error);

    exsim::JsonLog log;
    if (!log_file.empty() && !log.open(log_file, error)) return fatal(error);

    // Signals are taken through a descriptor so that no thread is interrupted
    // and the accept loop sees them in its poll. Blocked before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return fatal("cannot block signals");
    const exsim::UniqueFd signal_fd(signalfd(-1, &signals, SFD_CLOEXEC));
    if (!signal_fd) return fatal("cannot create a signal descriptor");
    // A client that resets the connection must not kill the server mid-write.
    std::signal(SIGPIPE, SIG_IGN);

    const exsim::SslCtxPtr ctx = exsim::makeServerContext(tls, error);
    if (!ctx) return fatal(error);

    exsim::SslCtxPtr ctx2;
    if (!identity_file.empty()) {
        ctx2 = exsim::makeServerContext(tls2, error);
        if (!ctx2) return fatal(error);
    }

    const exsim::Exchange exchange(std::move(accounts), std::move(mode));
    exsim::TlsServer server(ctx.get(), exchange, log, {ctx2.get(), identity_file});
    if (!server.listen(bind, static_cast<std::uint16_t>(port), error)) return fatal(error);

    std::cout << "listening on " << server.listeningOn() << "\n";
    std::cout << "key 1 " << exsim::keyFingerprint(ctx.get()) << "\n";
    if (ctx2) std::cout << "key 2 " << exsim::keyFingerprint(ctx2.get()) << "\n";
    std::cout << std::flush;

    if (!server.run(signal_fd.get(), error)) return fatal(error);
    return 0;
}
