#pragma once
// TLS 1.2 client over a TCP socket: owns the TLS context and the one live
// TLS connection. Exchanges carry self-signed certificates, so the handshake
// accepts any; the caller checks the key inspectPeer reports before it sends.
// One backend per system, chosen by CMake: OpenSSL (loaded by initClient, on
// first use) or Windows' SChannel.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace pellandor {

// Who answered, as seen after the handshake.
struct PeerIdentity {
    std::vector<unsigned char> keyDigest;  // SHA-256 of the certificate's SubjectPublicKeyInfo (DER)
    bool chainVerified = false;            // issued by the trust anchors, for this host
    std::string chainError;                // why not, when trust anchors are in use
};

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
    bool connect(SocketHandle socket, const SocketAddress& address, int timeoutMs = kDefaultConnectTimeoutMs);
    bool handshake(SocketHandle socket, int timeoutMs = kDefaultConnectTimeoutMs);

    // Byte count, 0 or less on close, error or time-out (`timeoutMs` < 0:
    // no limit), -1 when there is no connection on `socket`.
    long read(SocketHandle socket, char* buffer, std::size_t length, int timeoutMs = -1);
    // Writes everything or fails; same results as read.
    long write(SocketHandle socket, const char* bytes, std::size_t length, int timeoutMs = -1);

    // Certificate authorities (a PEM file) the exchange's certificate must
    // chain to; empty: none. Needs initClient first.
    bool useTrustAnchors(const std::string& caFile);
    // After the handshake: the peer's key, and with trust anchors whether its
    // chain and name (`host`, an address or a name) verify.
    bool inspectPeer(const std::string& host, PeerIdentity& identity);

    // Sends close_notify (without waiting for the reply) and frees the connection.
    void close();

    // Set when the owner wants every wait to stop at once (the owner is
    // being destroyed). Null: none.
    void setCancel(const WakeSignal* cancel) { cancel_ = cancel; }

    const std::string& errorText() const { return errorText_; }
    // Whether the last read or write failed for lack of time.
    bool timedOut() const { return timedOut_; }

private:
    WaitResult waitFor(SocketHandle socket, Readiness what, int timeoutMs) const;
    long transfer(const char* function, SocketHandle socket, char* readBuffer, const char* writeBytes,
                  std::size_t length, int timeoutMs);
    void setError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // The TLS library's context and connection; each backend defines it.
    struct Engine;
    std::unique_ptr<Engine> engine_;
    std::string errorText_;
    SocketHandle connectedSocket_ = kNoSocket;
    const WakeSignal* cancel_ = nullptr;
    bool broken_ = false;  // a fatal TLS error: no close_notify may follow
    bool timedOut_ = false;
};

}  // namespace pellandor
