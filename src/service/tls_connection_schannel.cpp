// The SChannel backend of the TLS connection (Windows): the same steps,
// bounds and error texts as the OpenSSL one, with the socket I/O done here.
#include "service/tls_connection.h"

#include "service/schannel_peer.h"
#include "service/schannel_session.h"
#include "service/tls_connection_common.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

namespace pellandor {

namespace {

// The error kinds the texts carry, numbered as the OpenSSL backend's are, so
// a report reads the same from either system.
constexpr int kErrorTls = 1;      // SSL_ERROR_SSL
constexpr int kWantRead = 2;      // SSL_ERROR_WANT_READ
constexpr int kWantWrite = 3;     // SSL_ERROR_WANT_WRITE
constexpr int kErrorSyscall = 5;  // SSL_ERROR_SYSCALL

constexpr std::size_t kReceiveChunk = 16 * 1024 + 512;  // one TLS record and its framing

constexpr const char* kPeer = "TLS peer key";
constexpr const char* kTrustAnchors = "TLS trust anchors";

using Clock = SteadyClock;
using Wait = WaitResult;

}  // namespace

struct TlsConnection::Engine {
    SchannelSession session;
    CertificateAuthorities authorities;  // the CA file in use; none: the key alone decides
    std::string plain;                   // decrypted, not yet read
    bool connected = false;
};

TlsConnection::TlsConnection() : engine_(std::make_unique<Engine>()) {
}

TlsConnection::~TlsConnection() {
    close();
}

bool TlsConnection::initClient() {
    if (engine_->session.initialized()) {
        setError("%s: Init client Fail. Already initialized with %s", kTlsInitClient, "Client Mode");
        return false;
    }
    // Both are loaded on first use; loaded with the context, a handshake
    // does not stop to load them when it checks the exchange's certificate.
    for (const wchar_t* library : {L"crypt32.dll", L"bcrypt.dll"})
        LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (const Status ready = engine_->session.init(); !ready) {
        setError("%s: %s", kTlsInitClient, ready.error().c_str());
        return false;
    }
    return true;
}

bool TlsConnection::handshake(SocketHandle socket, int timeoutMs) {
    Engine& e = *engine_;
    if (!e.session.initialized()) {
        setError("%s: CTX not initialized", kTlsHandshake);
        return false;
    }
    if (e.connected) {
        setError("%s: Client is already running", kTlsHandshake);
        return false;
    }
    e.session.reset();
    e.plain.clear();
    e.connected = true;
    connectedSocket_ = socket;
    broken_ = false;

    // A failed handshake leaves no connection behind, so the next attempt
    // does not find one "already running".
    auto fail = [this] {
        engine_->session.reset();
        engine_->connected = false;
        connectedSocket_ = kNoSocket;
        return false;
    };
    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    // The same bounded wait as the OpenSSL backend's, for `want`.
    auto wait = [&](int want) {
        const int left = timeoutMs < 0 ? kHandshakeWaitCapMs : msUntil(deadline);
        if (left <= 0) {
            setError("%s: connection time-out!", kTlsHandshake);
            return false;
        }
        const int limit = std::min(left, kHandshakeWaitCapMs);
        switch (waitFor(socket, want == kWantRead ? Readiness::Read : Readiness::Write, limit)) {
            case Wait::Ready:
                return true;
            case Wait::Failed:
                setError("%s: select failed! %d", kTlsHandshake, want);
                return false;
            case Wait::TimedOut:
                if (limit < kHandshakeWaitCapMs) {
                    setError("%s: connection time-out!", kTlsHandshake);
                } else {
                    setError("%s: sever not responding! %d", kTlsHandshake, want);
                }
                return false;
            case Wait::Cancelled:
                setError("%s: connection cancelled", kTlsHandshake);
                return false;
        }
        return false;
    };
    auto sendAll = [&](std::string_view bytes) {
        while (!bytes.empty()) {
            const long n = sendSome(socket, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (n == kWouldBlock) {
                if (!wait(kWantWrite)) return false;
            } else {
                setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", kTlsHandshake, -1, kErrorSyscall,
                         lastSocketError());
                return false;
            }
        }
        return true;
    };

    std::vector<char> buffer(kReceiveChunk);
    for (;;) {
        std::string out;
        const Result<SchannelSession::Progress> step = e.session.handshake(out);
        if (!out.empty() && !sendAll(out)) return fail();
        if (!step) {
            setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!! (%s)", kTlsHandshake, -1, kErrorTls, 0,
                     step.error().c_str());
            return fail();
        }
        if (*step == SchannelSession::Progress::Done) return true;
        for (;;) {
            if (!wait(kWantRead)) return fail();
            const long n = receiveSome(socket, buffer.data(), buffer.size());
            if (n > 0) {
                e.session.addInput(buffer.data(), static_cast<std::size_t>(n));
                break;
            }
            if (n == kWouldBlock) continue;
            // The peer closed or reset the connection in the middle of the handshake.
            setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", kTlsHandshake, n == 0 ? 0 : -1, kErrorSyscall,
                     n == 0 ? 0 : lastSocketError());
            return fail();
        }
    }
}

long TlsConnection::transfer(const char* function, SocketHandle socket, char* readBuffer, const char* writeBytes,
                             std::size_t length, int timeoutMs) {
    Engine& e = *engine_;
    if (!e.connected || socket != connectedSocket_ || length == 0) {
        setError("%s: no TLS connection on socket %lld", function, static_cast<long long>(socket));
        return -1;
    }
    timedOut_ = false;
    const std::size_t chunk = std::min<std::size_t>(length, INT_MAX);
    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    // Waits for the socket within the caller's limit; false with the error set.
    auto wait = [&](Readiness what) {
        const int left = timeoutMs < 0 ? -1 : msUntil(deadline);
        if (timeoutMs >= 0 && left <= 0) {
            setError("%s: time-out", function);
            timedOut_ = true;
            return false;
        }
        switch (waitFor(socket, what, left)) {
            case Wait::Ready:
                return true;
            case Wait::TimedOut:
                setError("%s: time-out", function);
                timedOut_ = true;
                return false;
            case Wait::Cancelled:
                setError("%s: cancelled", function);
                return false;
            case Wait::Failed:
                setError("%s: poll failed, errno[%d]", function, lastSocketError());
                return false;
        }
        return false;
    };

    if (readBuffer == nullptr) {
        std::string records;
        if (const Status encrypted = e.session.encrypt(writeBytes, chunk, records); !encrypted) {
            broken_ = true;
            setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!! (%s)", function, -1, kErrorTls, 0,
                     encrypted.error().c_str());
            return -1;
        }
        std::string_view rest = records;
        while (!rest.empty()) {
            const long n = sendSome(socket, rest.data(), rest.size());
            if (n > 0) {
                rest.remove_prefix(static_cast<std::size_t>(n));
            } else if (n == kWouldBlock) {
                if (!wait(Readiness::Write)) return -1;
            } else {
                broken_ = true;
                setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", function, -1, kErrorSyscall,
                         lastSocketError());
                return -1;
            }
        }
        return static_cast<long>(chunk);
    }

    std::vector<char> buffer;
    for (;;) {
        if (!e.plain.empty()) {
            const std::size_t n = std::min(chunk, e.plain.size());
            std::memcpy(readBuffer, e.plain.data(), n);
            e.plain.erase(0, n);
            return static_cast<long>(n);
        }
        const Result<SchannelSession::Progress> got = e.session.decrypt(e.plain);
        if (!got) {
            broken_ = true;
            setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!! (%s)", function, -1, kErrorTls, 0,
                     got.error().c_str());
            return -1;
        }
        if (*got == SchannelSession::Progress::Done) continue;
        if (*got == SchannelSession::Progress::Closed) {
            setError("%s: the connection was closed by the peer", function);
            return 0;
        }
        if (buffer.empty()) buffer.resize(kReceiveChunk);
        const long n = receiveSome(socket, buffer.data(), buffer.size());
        if (n > 0) {
            e.session.addInput(buffer.data(), static_cast<std::size_t>(n));
        } else if (n == kWouldBlock) {
            if (!wait(Readiness::Read)) return -1;
        } else {
            // Closed without close_notify, or reset: OpenSSL 3 calls both fatal.
            broken_ = true;
            setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", function, n == 0 ? 0 : -1,
                     n == 0 ? kErrorTls : kErrorSyscall, n == 0 ? 0 : lastSocketError());
            return -1;
        }
    }
}

void TlsConnection::close() {
    Engine& e = *engine_;
    if (!e.connected) return;
    // One close_notify; the socket is non-blocking, so this never waits.
    std::string out;
    if (!broken_ && e.session.shutdown(out).ok() && !out.empty()) sendSome(connectedSocket_, out.data(), out.size());
    e.session.reset();
    e.plain.clear();
    e.connected = false;
    connectedSocket_ = kNoSocket;
}

bool TlsConnection::useTrustAnchors(const std::string& caFile) {
    Engine& e = *engine_;
    if (caFile == e.authorities.path()) return true;
    if (!e.session.initialized()) {
        setError("%s: CTX not initialized", kTrustAnchors);
        return false;
    }
    if (caFile.empty()) {
        e.authorities.clear();
        return true;
    }
    if (const Status loaded = e.authorities.load(caFile); !loaded) {
        setError("%s: %s", kTrustAnchors, loaded.error().c_str());
        return false;
    }
    return true;
}

bool TlsConnection::inspectPeer(const std::string& host, PeerIdentity& identity) {
    identity = PeerIdentity{};
    Engine& e = *engine_;
    if (!e.connected) {
        setError("%s: no TLS connection", kPeer);
        return false;
    }
    const Result<const _CERT_CONTEXT*> sent = e.session.peerCertificate();
    if (!sent) {
        setError("%s: the exchange presented no certificate (%s)", kPeer, sent.error().c_str());
        return false;
    }
    const CertificatePtr cert(*sent);
    // The key, not the certificate: an exchange that renews its certificate
    // with the same key keeps its pin.
    Result<std::vector<unsigned char>> digest = publicKeyDigest(*cert);
    if (!digest) {
        setError("%s: %s", kPeer, digest.error().c_str());
        return false;
    }
    identity.keyDigest = std::move(digest).value();
    // The handshake does not stop on a bad chain (the pin decides for
    // self-signed exchanges); the chain is judged here instead.
    if (!e.authorities.path().empty()) {
        const Status chain = e.authorities.verify(*cert, host);
        identity.chainVerified = chain.ok();
        identity.chainError = chain.error();
    }
    return true;
}

}  // namespace pellandor
