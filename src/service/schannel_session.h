#pragma once
// TLS 1.2 client through Windows' SChannel (SSPI), driven like a memory pipe:
// the caller moves the bytes between the session and the socket, so waits,
// time limits and cancelling stay with the caller. Windows only.

#include "base/result.h"

#include <cstddef>
#include <memory>
#include <string>

struct _CERT_CONTEXT;  // CryptoAPI's certificate (wincrypt.h)

namespace pellandor {

class SchannelSession final {
public:
    // How far a step got; a failure is the Result's, its text naming the
    // SECURITY_STATUS ("SChannel 0x80090326").
    enum class Progress {
        Done,       // the step finished (handshake complete, plaintext or nothing to give)
        NeedInput,  // more bytes from the peer are needed first
        Closed,     // the peer sent close_notify
    };

    SchannelSession();
    ~SchannelSession();
    SchannelSession(const SchannelSession&) = delete;
    SchannelSession& operator=(const SchannelSession&) = delete;

    // Client credentials for TLS 1.2 only, once per session object. The
    // exchange's self-signed certificate is not checked.
    Status init();
    bool initialized() const;

    // Forgets the connection (not the credentials), for the next one.
    void reset();

    // Bytes received from the peer, for handshake() and decrypt().
    void addInput(const char* bytes, std::size_t length);

    // One handshake step: appends what must be sent to `output` (send it
    // all before waiting for input). Done once the connection is up.
    Result<Progress> handshake(std::string& output);

    // Appends the records carrying `bytes` to `output`.
    Status encrypt(const char* bytes, std::size_t length, std::string& output);

    // Appends what plaintext the input holds to `plain`: Done with at least
    // one byte, NeedInput while no whole record has arrived, Closed, or fails.
    Result<Progress> decrypt(std::string& plain);

    // After the handshake: the certificate the peer sent, with the other
    // certificates it sent in its store. The caller frees it
    // (CertFreeCertificateContext); fails if there is none.
    Result<const _CERT_CONTEXT*> peerCertificate();

    // Appends close_notify to `output`; fails if there is no connection.
    Status shutdown(std::string& output);

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    std::string input_;  // received and not yet consumed
};

}  // namespace pellandor
