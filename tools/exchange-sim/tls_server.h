#pragma once

#include "exchange.h"
#include "json_log.h"

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

namespace exsim {

class UniqueFd final {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

struct SslCtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;

struct TlsSettings {
    std::string cert_file, key_file;  // both empty: a fresh self-signed certificate
    int rsa_bits = 2048;
    int version = TLS1_2_VERSION;  // the one protocol version accepted
};

SslCtxPtr makeServerContext(const TlsSettings& settings, std::string& error);

// SHA-256 of the context's certificate's SubjectPublicKeyInfo, "AB:CD:..."
// (upper-case hex pairs and colons), as the client shows it.
std::string keyFingerprint(SSL_CTX* ctx);

// Which of two identities a connection gets: the second while `file` holds
// "2" (read at each accept), so a test can swap the certificate under a
// running client without restarting the server.
struct IdentitySwitch {
    SSL_CTX* second = nullptr;
    std::string file;
};

class TlsServer final {
public:
    TlsServer(SSL_CTX* ctx, const Exchange& exchange, JsonLog& log, IdentitySwitch identities = {})
        : ctx_(ctx), identities_(std::move(identities)), exchange_(exchange), log_(log) {}
    ~TlsServer();

    // Numeric address only; "::1" and "[::1]" both work.
    bool listen(const std::string& address, std::uint16_t port, std::string& error);
    // "127.0.0.1:40123" or "::1:40123"
    std::string listeningOn() const;

    // Serves until `stop_fd` becomes readable (a signalfd), then lets the open
    // connections end and returns.
    bool run(int stop_fd, std::string& error);

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void serve(UniqueFd fd, std::string peer, double accepted_mono);
    void reapFinished(bool all);

    SSL_CTX* currentContext() const;

    SSL_CTX* ctx_;
    IdentitySwitch identities_;
    const Exchange& exchange_;
    JsonLog& log_;
    UniqueFd listener_;
    std::string address_;
    std::uint16_t port_ = 0;
    // Readable once the server is stopping; every wait of every connection watches it.
    UniqueFd stop_read_, stop_write_;
    std::list<Worker> workers_;
};

}  // namespace exsim
