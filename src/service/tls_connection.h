#pragma once
// TLS 1.2 client over a TCP socket: owns the TLS context and the one live
// TLS connection. Exchanges carry self-signed certificates, so the handshake
// accepts any; the caller checks the key inspectPeer reports before it sends.
// The TLS library is loaded by initClient, on first use.

#include <sys/socket.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// OpenSSL's own types, declared here so that users of this header need
// nothing of OpenSSL.
struct ssl_st;
struct ssl_ctx_st;

namespace pellandor {

// Who answered, as seen after the handshake.
struct PeerIdentity {
    std::vector<unsigned char> keyDigest;  // SHA-256 of the certificate's SubjectPublicKeyInfo (DER)
    bool chainVerified = false;            // issued by the trust anchors, for this host
    std::string chainError;                // why not, when trust anchors are in use
};

class TlsConnection {
public:
    static constexpr int kDefaultConnectTimeoutMs = 5000;

    TlsConnection();
    virtual ~TlsConnection();
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    bool initClient();

    // TCP connect, then the handshake; each must finish within `timeoutMs`.
    // Leaves the socket non-blocking.
    bool connect(int socket, const sockaddr* address, socklen_t length,
                          int timeoutMs = kDefaultConnectTimeoutMs);
    bool handshake(int socket, int timeoutMs = kDefaultConnectTimeoutMs);

    // Byte count, 0 or less on close, error or time-out (`timeoutMs` < 0:
    // no limit), -1 when there is no connection on `socket`.
    long read(int socket, char* buffer, std::size_t length, int timeoutMs = -1);
    // Writes everything or fails; same results as read.
    long write(int socket, const char* bytes, std::size_t length, int timeoutMs = -1);

    // Certificate authorities (a PEM file) the exchange's certificate must
    // chain to; empty: none. Needs initClient first.
    bool useTrustAnchors(const std::string& caFile);
    // After the handshake: the peer's key, and with trust anchors whether its
    // chain and name (`host`, an address or a name) verify.
    bool inspectPeer(const std::string& host, PeerIdentity& identity);

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
    std::string trustAnchors_;  // the CA file loaded into ctx_
    int connectedSocket_ = -1;
    int cancelFd_ = -1;
    bool broken_ = false;  // a fatal TLS error: no close_notify may follow
    bool timedOut_ = false;
};

}  // namespace pellandor
