#pragma once
// TLS 1.2 client over a TCP socket: owns the TLS context and the one live
// TLS connection. The exchange's certificate is self-signed and not checked.
// The TLS library is loaded by initClient, on first use.

#include <sys/socket.h>

#include <cstddef>
#include <memory>
#include <string>

// OpenSSL's own types, declared here so that users of this header need
// nothing of OpenSSL.
struct ssl_st;
struct ssl_ctx_st;

namespace pellandor {

class TlsConnection final {
public:
    static constexpr int kDefaultConnectTimeoutMs = 5000;

    TlsConnection();
    virtual ~TlsConnection();
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    bool initClient();

    // TCP connect, then the handshake; each must finish within `timeoutMs`.
    // Leaves the socket non-blocking.
    bool connect(int socket, const sockaddr* address, socklen_t length, int timeoutMs = kDefaultConnectTimeoutMs);
    bool handshake(int socket, int timeoutMs = kDefaultConnectTimeoutMs);

    // Byte count, 0 or less on close, error or time-out (`timeoutMs` < 0:
    // no limit), -1 when there is no connection on `socket`.
    long read(int socket, char* buffer, std::size_t length, int timeoutMs = -1);
    // Writes everything or fails; same results as read.
    long write(int socket, const char* bytes, std::size_t length, int timeoutMs = -1);

    // Sends close_notify (without waiting for the reply) and frees the connection.
    void close();

    // A descriptor that becomes readable when the owner wants every wait to
    // stop at once (the owner is being destroyed). -1: none.
    void setCancelFd(int fd) { cancelFd_ = fd; }

    const std::string& errorText() const { return errorText_; }
    // Whether the last read or write failed for lack of time.
    bool timedOut() const { return timedOut_; }

private:
    enum class Wait { Ready, TimedOut, Cancelled, Failed };
    Wait waitFor(int socket, short events, int timeoutMs) const;
    long transfer(const char* function, int socket, char* readBuffer, const char* writeBytes, std::size_t length,
                  int timeoutMs);
    void setError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    struct CtxFree {
        void operator()(ssl_ctx_st* ctx) const;
    };
    struct SslFree {
        void operator()(ssl_st* ssl) const;
    };

    std::unique_ptr<ssl_ctx_st, CtxFree> ctx_;
    std::unique_ptr<ssl_st, SslFree> ssl_;
    std::string errorText_;
    int connectedSocket_ = -1;
    int cancelFd_ = -1;
    bool broken_ = false;  // a fatal TLS error: no close_notify may follow
    bool timedOut_ = false;
};

}  // namespace pellandor
