#pragma once
// TLS 1.2 client through Windows' SChannel (SSPI), driven like a memory pipe:
// the caller moves the bytes between the session and the socket, so waits,
// time limits and cancelling stay with the caller. Windows only.

#include <cstddef>
#include <memory>
#include <string>

struct _CERT_CONTEXT;  // CryptoAPI's certificate (wincrypt.h)

namespace pellandor {

class SchannelSession {
public:
    enum class Status {
        Done,       // the step finished (handshake complete, plaintext or nothing to give)
        NeedInput,  // more bytes from the peer are needed first
        Closed,     // the peer sent close_notify
        Failed,     // see errorCode()
    };

    SchannelSession();
    ~SchannelSession();
    SchannelSession(const SchannelSession&) = delete;
    SchannelSession& operator=(const SchannelSession&) = delete;

    // Client credentials for TLS 1.2 only, once per session object. The
    // exchange's self-signed certificate is not checked.
    bool init();
    bool initialized() const;

    // Forgets the connection (not the credentials), for the next one.
    void reset();

    // Bytes received from the peer, for handshake() and decrypt().
    void addInput(const char* bytes, std::size_t length);

    // One handshake step: appends what must be sent to `output` (send it
    // all before waiting for input). Done once the connection is up.
    Status handshake(std::string& output);

    // Appends the records carrying `bytes` to `output`.
    bool encrypt(const char* bytes, std::size_t length, std::string& output);

    // Appends what plaintext the input holds to `plain`: Done with at least
    // one byte, NeedInput while no whole record has arrived, Closed or Failed.
    Status decrypt(std::string& plain);

    // After the handshake: the certificate the peer sent, with the other
    // certificates it sent in its store. The caller frees it
    // (CertFreeCertificateContext); null with errorCode() set if there is none.
    const _CERT_CONTEXT* peerCertificate();

    // Appends close_notify to `output`; false if there is no connection.
    bool shutdown(std::string& output);

    // The SECURITY_STATUS of the last failure, 0 if none.
    long errorCode() const { return errorCode_; }

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    std::string input_;  // received and not yet consumed
    long errorCode_ = 0;
};

}  // namespace pellandor
