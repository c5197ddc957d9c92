#include "tls_server.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <string_view>
#include <system_error>

namespace exsim {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

using Clock = std::chrono::steady_clock;

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A client gets this long from accept to the last byte of its request, and
// again for taking in the answer, so a stuck peer cannot pin a thread.
constexpr auto kRequestDeadline = std::chrono::seconds(15);
constexpr auto kWriteDeadline = std::chrono::seconds(15);
constexpr auto kLingerLimit = std::chrono::seconds(1);
constexpr std::size_t kMaxConnections = 256;

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct X509ExtensionFree {
    void operator()(X509_EXTENSION* ext) const { X509_EXTENSION_free(ext); }
};

std::string openSslErrors() {
    std::string text;
    char buffer[256];
    while (const unsigned long code = ERR_get_error()) {
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty()) text += "; ";
        text += buffer;
    }
    return text.empty() ? "no detail from the TLS library" : text;
}

void note(std::string_view peer, std::string_view what) {
    std::string line = "pellandor-exchange-sim: ";
    line += peer;
    line += ": ";
    line += what;
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

enum class Io { Ok, Eof, Timeout, Stopped, Error };

// One accepted TLS connection on a non-blocking socket. Every wait also
// watches the server's stop descriptor, so shutting down never waits on a client.
class Connection final {
public:
    Connection(UniqueFd fd, int stop_fd) : fd_(std::move(fd)), stop_fd_(stop_fd) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }

    bool attach(SSL_CTX* ctx) {
        ssl_.reset(SSL_new(ctx));
        if (!ssl_ || SSL_set_fd(ssl_.get(), fd_.get()) != 1) {
            error_ = openSslErrors();
            return false;
        }
        return true;
    }

    Io handshake(Clock::time_point deadline) {
        for (;;) {
            ERR_clear_error();
            const int result = SSL_accept(ssl_.get());
            if (result == 1) {
                established_ = true;
                return Io::Ok;
            }
            if (const Io io = awaitRetry(result, errno, deadline); io != Io::Ok) return io;
        }
    }

    Io read(std::string& out, Clock::time_point deadline) {
        char buffer[16384];
        for (;;) {
            ERR_clear_error();
            std::size_t count = 0;
            const int result = SSL_read_ex(ssl_.get(), buffer, sizeof buffer, &count);
            if (result == 1) {
                out.append(buffer, count);
                return Io::Ok;
            }
            if (const Io io = awaitRetry(result, errno, deadline); io != Io::Ok) return io;
        }
    }

    Io write(std::string_view data, Clock::time_point deadline) {
        while (!data.empty()) {
            ERR_clear_error();
            std::size_t count = 0;
            const int result = SSL_write_ex(ssl_.get(), data.data(), data.size(), &count);
            if (result == 1) {
                data.remove_prefix(count);
                continue;
            }
            if (const Io io = awaitRetry(result, errno, deadline); io != Io::Ok) return io;
        }
        return Io::Ok;
    }

    // Waits, but returns early when the server stops.
    Io sleep(std::chrono::milliseconds duration) {
        const auto deadline = Clock::now() + duration;
        for (;;) {
            const Io io = waitFor(-1, 0, deadline);
            if (io == Io::Timeout) return Io::Ok;
            if (io != Io::Ok) return io;
        }
    }

    // Keeps the connection open, discarding anything the client sends, until
    // the client closes or the deadline passes.
    void waitForClose(Clock::time_point deadline) {
        std::string ignored;
        while (read(ignored, deadline) == Io::Ok) ignored.clear();
    }

    // close_notify, then a lingering close: reading until the client closes
    // (briefly) keeps unread request bytes in our receive queue from turning
    // close() into a reset that could destroy the answer in flight.
    void close() {
        if (!fd_) return;
        if (established_ && !broken_) {
            const auto deadline = Clock::now() + kLingerLimit;
            for (;;) {
                ERR_clear_error();
                const int result = SSL_shutdown(ssl_.get());
                if (result >= 0) break;
                if (SSL_get_error(ssl_.get(), result) != SSL_ERROR_WANT_WRITE) break;
                if (waitFor(fd_.get(), POLLOUT, deadline) != Io::Ok) break;
            }
        }
        ::shutdown(fd_.get(), SHUT_WR);
        const auto deadline = Clock::now() + kLingerLimit;
        char buffer[4096];
        while (waitFor(fd_.get(), POLLIN, deadline) == Io::Ok) {
            const ssize_t count = ::recv(fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) break;
        }
        ssl_.reset();
        fd_.reset();
    }

    std::string version() const { return established_ ? SSL_get_version(ssl_.get()) : ""; }
    std::string cipher() const { return established_ ? SSL_get_cipher_name(ssl_.get()) : ""; }
    const std::string& error() const { return error_; }

private:
    Io waitFor(short events, Clock::time_point deadline) { return waitFor(fd_.get(), events, deadline); }

    Io waitFor(int fd, short events, Clock::time_point deadline) {
        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline) return Io::Timeout;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {fd, events, 0}};
            const int ready = ::poll(fds, fd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
            if (ready < 0) {
                if (errno == EINTR) continue;
                error_ = std::string("poll: ") + std::strerror(errno);
                return Io::Error;
            }
            if (fds[0].revents) return Io::Stopped;
            if (fd >= 0 && fds[1].revents) return Io::Ok;  // errors and hang-ups show in the next call
        }
    }

    // After a TLS call that did not complete: Ok means "call again".
    Io awaitRetry(int result, int saved_errno, Clock::time_point deadline) {
        switch (SSL_get_error(ssl_.get(), result)) {
            case SSL_ERROR_WANT_READ:
                return waitFor(POLLIN, deadline);
            case SSL_ERROR_WANT_WRITE:
                return waitFor(POLLOUT, deadline);
            case SSL_ERROR_ZERO_RETURN:
                return Io::Eof;
            case SSL_ERROR_SYSCALL:
                broken_ = true;
                if (saved_errno == 0 || saved_errno == ECONNRESET || saved_errno == EPIPE) {
                    error_ = saved_errno == 0 ? "connection closed" : std::strerror(saved_errno);
                    return Io::Eof;
                }
                error_ = std::strerror(saved_errno);
                return Io::Error;
            default:
                broken_ = true;
                error_ = openSslErrors();
                return Io::Error;
        }
    }

    UniqueFd fd_;
    int stop_fd_;
    std::unique_ptr<SSL, SslFree> ssl_;
    bool established_ = false;
    bool broken_ = false;  // no close_notify after a fatal TLS error
    std::string error_;
};

std::string_view describe(Io io) {
    switch (io) {
        case Io::Ok:
            return "ok";
        case Io::Eof:
            return "client closed the connection";
        case Io::Timeout:
            return "timed out";
        case Io::Stopped:
            return "server stopping";
        case Io::Error:
            return "TLS error";
    }
    return "";
}

bool useSelfSigned(SSL_CTX* ctx, int bits, std::string& error) {
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits)));
    std::unique_ptr<X509, X509Free> cert(X509_new());
    if (!key || !cert) {
        error = "cannot generate an RSA key: " + openSslErrors();
        return false;
    }
    std::uint32_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    X509_set_version(cert.get(), X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(serial & 0x7FFFFFFF));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Ulvex exchange simulator"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    X509V3_CTX v3{};
    X509V3_set_ctx(&v3, cert.get(), cert.get(), nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, X509ExtensionFree> san(
        X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1"));
    if (!san || X509_add_ext(cert.get(), san.get(), -1) != 1 || X509_sign(cert.get(), key.get(), EVP_sha256()) == 0 ||
        SSL_CTX_use_certificate(ctx, cert.get()) != 1 || SSL_CTX_use_PrivateKey(ctx, key.get()) != 1) {
        error = "cannot make the self-signed certificate: " + openSslErrors();
        return false;
    }
    return true;
}

}  // namespace

SslCtxPtr makeServerContext(const TlsSettings& settings, std::string& error) {
    SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx) {
        error = "SSL_CTX_new: " + openSslErrors();
        return nullptr;
    }
    // Old exchanges use RSA-1024 keys and SHA-1 suites, and the TLS 1.0/1.1
    // modes need them too; the system default (security level 2) refuses all that.
    SSL_CTX_set_security_level(ctx.get(), 0);
    if (SSL_CTX_set_min_proto_version(ctx.get(), settings.version) != 1 ||
        SSL_CTX_set_max_proto_version(ctx.get(), settings.version) != 1 ||
        SSL_CTX_set_cipher_list(ctx.get(), "ALL:!aNULL:!eNULL:@SECLEVEL=0") != 1) {
        error = "cannot configure TLS: " + openSslErrors();
        return nullptr;
    }
    // A client that drops the TCP connection without close_notify simply ended.
    SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_session_cache_mode(ctx.get(), SSL_SESS_CACHE_OFF);

    if (settings.cert_file.empty()) {
        if (!useSelfSigned(ctx.get(), settings.rsa_bits, error)) return nullptr;
    } else if (SSL_CTX_use_certificate_chain_file(ctx.get(), settings.cert_file.c_str()) != 1 ||
               SSL_CTX_use_PrivateKey_file(ctx.get(), settings.key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
               SSL_CTX_check_private_key(ctx.get()) != 1) {
        error =
            "cannot use certificate " + settings.cert_file + " with key " + settings.key_file + ": " + openSslErrors();
        return nullptr;
    }
    return ctx;
}

std::string keyFingerprint(SSL_CTX* ctx) {
    X509* cert = SSL_CTX_get0_certificate(ctx);
    unsigned char* der = nullptr;
    const int length = cert != nullptr ? i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der) : -1;
    if (length <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_length = 0;
    const int hashed = EVP_Digest(der, static_cast<std::size_t>(length), digest, &digest_length, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    if (hashed != 1) return {};
    std::string text;
    char pair[4];
    for (unsigned int i = 0; i < digest_length; ++i) {
        const unsigned char byte = digest[i];
        std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : ":%02X", byte);
        text += pair;
    }
    return text;
}

SSL_CTX* TlsServer::currentContext() const {
    if (identities_.second == nullptr || identities_.file.empty()) return ctx_;
    std::FILE* file = std::fopen(identities_.file.c_str(), "r");
    if (file == nullptr) return ctx_;
    const int first = std::fgetc(file);
    std::fclose(file);
    return first == '2' ? identities_.second : ctx_;
}

TlsServer::~TlsServer() {
    if (stop_write_) (void)!::write(stop_write_.get(), "x", 1);
    reapFinished(true);
}

bool TlsServer::listen(const std::string& address, std::uint16_t port, std::string& error) {
    std::string host = address;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        error = "bind address '" + address + "' is not a numeric IPv4 or IPv6 address";
        return false;
    }
    const int family = storage.ss_family;
    UniqueFd fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int on = 1;
    if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (family == AF_INET6 && ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
        ::listen(fd.get(), SOMAXCONN) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        error = "cannot listen on " + address + " port " + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(family, family == AF_INET ? static_cast<const void*>(&v4->sin_addr) : &v6->sin6_addr, text, sizeof text);
    address_ = text;
    port_ = ntohs(family == AF_INET ? v4->sin_port : v6->sin6_port);
    listener_ = std::move(fd);
    return true;
}

std::string TlsServer::listeningOn() const {
    return address_ + ":" + std::to_string(port_);
}

bool TlsServer::run(int stop_fd, std::string& error) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    stop_read_.reset(pipe_fds[0]);
    stop_write_.reset(pipe_fds[1]);

    bool ok = true;
    for (;;) {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stop_fd, POLLIN, 0}};
        // The timeout only lets finished connection threads be joined while idle.
        const int ready = ::poll(fds, 2, 1000);
        if (ready < 0 && errno != EINTR) {
            error = std::string("poll: ") + std::strerror(errno);
            ok = false;
            break;
        }
        reapFinished(false);
        if (ready <= 0) continue;
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) continue;

        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        UniqueFd fd(
            ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
        const double accepted_mono = monotonicSeconds();
        if (!fd) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                note("accept", std::strerror(errno));
                ::poll(nullptr, 0, 100);  // let connections finish instead of spinning
            }
            continue;
        }
        char host[INET6_ADDRSTRLEN] = {};
        std::string peer;
        if (addr.ss_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
            inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
            // Built piece by piece: GCC 12 warns falsely on "[" + std::string (its bug 105651).
            peer = '[';
            peer += host;
            peer += "]:";
            peer += std::to_string(ntohs(in6->sin6_port));
        } else {
            const auto* in4 = reinterpret_cast<const sockaddr_in*>(&addr);
            inet_ntop(AF_INET, &in4->sin_addr, host, sizeof host);
            peer = std::string(host) + ":" + std::to_string(ntohs(in4->sin_port));
        }
        if (workers_.size() >= kMaxConnections) {
            note(peer, "too many open connections; closed");
            continue;
        }
        const int on = 1;
        // Each write of an answer must leave at once (the split mode relies on it).
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto done = std::make_shared<std::atomic<bool>>(false);
        try {
            std::thread thread([this, fd = std::move(fd), peer, done, accepted_mono]() mutable {
                try {
                    serve(std::move(fd), peer, accepted_mono);
                } catch (const std::exception& e) {
                    note(peer, std::string("connection ended: ") + e.what());
                }
                done->store(true);
            });
            workers_.push_back(Worker{std::move(thread), std::move(done)});
        } catch (const std::system_error& e) {
            note(peer, std::string("cannot start a thread: ") + e.what());
        }
    }
    (void)!::write(stop_write_.get(), "x", 1);
    reapFinished(true);
    return ok;
}

void TlsServer::reapFinished(bool all) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void TlsServer::serve(UniqueFd fd, std::string peer, double accepted_mono) {
    Connection connection(std::move(fd), stop_read_.get());
    if (!connection.attach(currentContext())) {
        note(peer, "cannot create the TLS connection: " + connection.error());
        return;
    }
    const auto read_deadline = Clock::now() + kRequestDeadline;
    Io io = connection.handshake(read_deadline);
    if (io != Io::Ok) {
        if (io != Io::Stopped) {
            note(peer, "TLS handshake failed: " + std::string(describe(io)) +
                           (connection.error().empty() ? "" : " (" + connection.error() + ")"));
        }
        return;
    }

    RequestReader reader;
    std::string chunk;
    std::optional<double> first_byte_mono;
    while (reader.state() == RequestReader::State::NeedMore) {
        chunk.clear();
        io = connection.read(chunk, read_deadline);
        if (io != Io::Ok) break;
        if (!first_byte_mono && !chunk.empty()) first_byte_mono = monotonicSeconds();
        reader.feed(chunk);
    }

    LogRecord record;
    record.accepted_mono = accepted_mono;
    record.first_byte_mono = first_byte_mono;
    record.peer = peer;
    record.tls_version = connection.version();
    record.tls_cipher = connection.cipher();
    record.mode = exchange_.mode().text;
    record.reader = &reader;
    Evaluation evaluation;
    Answer answer;
    switch (reader.state()) {
        case RequestReader::State::Complete:
            evaluation = exchange_.evaluate(reader.request());
            answer = exchange_.respond(evaluation);
            record.evaluation = &evaluation;
            record.error = evaluation.error;
            break;
        case RequestReader::State::Error:
            answer = Exchange::respondToBadRequest(reader.error_status());
            record.error = reader.error();
            break;
        case RequestReader::State::NeedMore:
            if (reader.received().empty()) {
                if (io != Io::Eof && io != Io::Stopped) note(peer, "no request: " + std::string(describe(io)));
                return;
            }
            record.error = "request incomplete: " + std::string(describe(io));
            if (io == Io::Error) record.error += " (" + connection.error() + ")";
            log_.append(formatLogLine(record));
            return;
    }
    if (answer.status) record.answer = &answer;
    // Logged before answering, so a client holding the answer finds the line.
    log_.append(formatLogLine(record));

    if (answer.delay.count() > 0 && connection.sleep(answer.delay) != Io::Ok) return;
    const auto write_deadline = Clock::now() + kWriteDeadline;
    for (std::size_t i = 0; i < answer.writes.size(); ++i) {
        if (i > 0 && answer.pause.count() > 0 && connection.sleep(answer.pause) != Io::Ok) return;
        io = connection.write(answer.writes[i], write_deadline);
        if (io != Io::Ok) {
            note(peer, "answer not delivered: " + std::string(describe(io)));
            return;
        }
    }
    if (answer.hold_open.count() > 0) connection.waitForClose(Clock::now() + answer.hold_open);
}

}  // namespace exsim
