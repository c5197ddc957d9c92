// The OpenSSL backend of the TLS connection (Linux).
#include "service/tls_connection.h"

#include "service/net_util.h"
#include "service/tls_connection_common.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <openssl/ssl.h>
#include <openssl/opensslv.h>

namespace pellandor {

namespace {

// The TLS library is loaded on the first request, not at start: linked in,
// its relocations alone keep about 1.7 MiB resident in a program that may
// sit in the tray all day without calling.
#define PELLANDOR_TLS_FUNCTIONS(X)   \
    X(OPENSSL_init_ssl)              \
    X(TLS_client_method)             \
    X(SSL_CTX_new)                   \
    X(SSL_CTX_free)                  \
    X(SSL_CTX_ctrl)                  \
    X(SSL_CTX_set_security_level)    \
    X(SSL_CTX_set_options)           \
    X(SSL_CTX_set_cipher_list)       \
    X(SSL_new)                       \
    X(SSL_free)                      \
    X(SSL_set_fd)                    \
    X(SSL_connect)                   \
    X(SSL_get_error)                 \
    X(SSL_read)                      \
    X(SSL_write)                     \
    X(SSL_shutdown)                  \
    X(ERR_clear_error)               \
    X(SSL_get1_peer_certificate)     \
    X(SSL_get_verify_result)         \
    X(SSL_CTX_load_verify_locations) \
    X(X509_free)                     \
    X(X509_get_X509_PUBKEY)          \
    X(i2d_X509_PUBKEY)               \
    X(X509_check_host)               \
    X(X509_check_ip_asc)             \
    X(X509_verify_cert_error_string) \
    X(EVP_sha256)                    \
    X(EVP_Digest)

#define PELLANDOR_STR2(x) #x
#define PELLANDOR_STR(x) PELLANDOR_STR2(x)
// The library of the major version the program was built against.
constexpr const char* kTlsLibrary = "libssl.so." PELLANDOR_STR(OPENSSL_VERSION_MAJOR);

struct TlsApi {
#define PELLANDOR_TLS_POINTER(name) decltype(&::name) name = nullptr;
    PELLANDOR_TLS_FUNCTIONS(PELLANDOR_TLS_POINTER)
#undef PELLANDOR_TLS_POINTER
    std::string error;  // why it could not be loaded; empty once it is
};

// Loaded once per process and never unloaded; thread-safe.
const TlsApi& tls() {
    static const TlsApi api = [] {
        TlsApi loaded;
        // libcrypto comes in as its dependency; lookups through this handle find both.
        void* library = ::dlopen(kTlsLibrary, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            loaded.error = std::string("cannot load ") + kTlsLibrary + ": " + (why != nullptr ? why : "unknown error");
            return loaded;
        }
#define PELLANDOR_TLS_LOAD(name)                                                    \
    loaded.name = reinterpret_cast<decltype(loaded.name)>(::dlsym(library, #name)); \
    if (loaded.name == nullptr) {                                                   \
        loaded.error = std::string(kTlsLibrary) + " lacks " #name;                  \
        return loaded;                                                              \
    }
        PELLANDOR_TLS_FUNCTIONS(PELLANDOR_TLS_LOAD)
#undef PELLANDOR_TLS_LOAD
        return loaded;
    }();
    return api;
}

constexpr const char* kPeer = "TLS peer key";
constexpr const char* kTrustAnchors = "TLS trust anchors";
constexpr const char* kCipherList = "ARIA128-SHA:AES128-SHA:SEED-SHA:ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH";

using Clock = SteadyClock;
using Wait = WaitResult;

}  // namespace

struct TlsConnection::Engine {
    struct CtxFree {
        void operator()(SSL_CTX* ctx) const { tls().SSL_CTX_free(ctx); }
    };
    struct SslFree {
        void operator()(SSL* ssl) const { tls().SSL_free(ssl); }
    };
    std::unique_ptr<SSL_CTX, CtxFree> ctx;
    std::unique_ptr<SSL, SslFree> ssl;
    std::string trustAnchors;  // the CA file loaded into ctx
};

TlsConnection::TlsConnection() : engine_(std::make_unique<Engine>()) {
}

TlsConnection::~TlsConnection() {
    close();
}

bool TlsConnection::initClient() {
    if (engine_->ctx) {
        setError("%s: Init client Fail. Already initialized with %s", kTlsInitClient, "Client Mode");
        return false;
    }

    const TlsApi& api = tls();
    if (!api.error.empty()) {
        setError("%s: %s", kTlsInitClient, api.error.c_str());
        return false;
    }
    api.OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    engine_->ctx.reset(api.SSL_CTX_new(api.TLS_client_method()));
    if (!engine_->ctx) {
        setError("%s: SSL_CTX_new fail", kTlsInitClient);
        return false;
    }
    // The exchange speaks TLS 1.2 only.
    if (api.SSL_CTX_ctrl(engine_->ctx.get(), SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1 ||
        api.SSL_CTX_ctrl(engine_->ctx.get(), SSL_CTRL_SET_MAX_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1) {
        setError("%s: cannot limit the context to TLS 1.2", kTlsInitClient);
        engine_->ctx.reset();
        return false;
    }
    // Older exchanges carry RSA-1024 keys and 1024-bit DH groups, which the
    // distribution's default level 2 refuses.
    api.SSL_CTX_set_security_level(engine_->ctx.get(), 1);

    uint64_t options = SSL_OP_ALL;
    // Older exchanges may not send the renegotiation extension.
    options |= SSL_OP_LEGACY_SERVER_CONNECT;
#ifdef SSL_OP_NO_SSLv2
    options |= SSL_OP_NO_SSLv2;
#endif
#ifdef SSL_OP_NO_SSLv3
    options |= SSL_OP_NO_SSLv3;
#endif
    api.SSL_CTX_set_options(engine_->ctx.get(), options);
    // The result is not examined: whatever the library knows of the list is
    // used, and names it does not know are skipped.
    api.SSL_CTX_set_cipher_list(engine_->ctx.get(), kCipherList);
    api.ERR_clear_error();
    return true;
}

bool TlsConnection::handshake(SocketHandle socket, int timeoutMs) {
    if (!engine_->ctx) {
        setError("%s: CTX not initialized", kTlsHandshake);
        return false;
    }
    if (engine_->ssl) {
        setError("%s: Client is already running", kTlsHandshake);
        return false;
    }
    engine_->ssl.reset(tls().SSL_new(engine_->ctx.get()));
    if (!engine_->ssl) {
        setError("%s: Create SSL fail", kTlsHandshake);
        return false;
    }
    if (tls().SSL_set_fd(engine_->ssl.get(), static_cast<int>(socket)) != 1) {
        setError("%s: Set fd fail", kTlsHandshake);
        engine_->ssl.reset();
        return false;
    }
    connectedSocket_ = socket;
    broken_ = false;

    // A failed handshake leaves no connection behind, so the next attempt
    // does not find one "already running".
    auto fail = [this] {
        engine_->ssl.reset();
        connectedSocket_ = kNoSocket;
        return false;
    };

    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    int pendingWant = 0;  // SSL_ERROR_WANT_READ / _WRITE from the last attempt
    for (;;) {
        const int left = timeoutMs < 0 ? kHandshakeWaitCapMs : msUntil(deadline);
        if (left <= 0) {
            setError("%s: connection time-out!", kTlsHandshake);
            return fail();
        }
        if (pendingWant != 0) {
            const int limit = std::min(left, kHandshakeWaitCapMs);
            switch (waitFor(socket, pendingWant == SSL_ERROR_WANT_READ ? Readiness::Read : Readiness::Write, limit)) {
                case Wait::Ready:
                    break;
                case Wait::Failed:
                    setError("%s: select failed! %d", kTlsHandshake, pendingWant);
                    return fail();
                case Wait::TimedOut:
                    if (limit < kHandshakeWaitCapMs) {
                        setError("%s: connection time-out!", kTlsHandshake);
                    } else {
                        setError("%s: sever not responding! %d", kTlsHandshake, pendingWant);
                    }
                    return fail();
                case Wait::Cancelled:
                    setError("%s: connection cancelled", kTlsHandshake);
                    return fail();
            }
        }
        tls().ERR_clear_error();
        errno = 0;
        const int result = tls().SSL_connect(engine_->ssl.get());
        const int savedErrno = errno;
        if (result == 1) return true;
        const int code = tls().SSL_get_error(engine_->ssl.get(), result);
        if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
            pendingWant = code;
            continue;
        }
        setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", kTlsHandshake, result, code, savedErrno);
        return fail();
    }
}

long TlsConnection::transfer(const char* function, SocketHandle socket, char* readBuffer, const char* writeBytes,
                             std::size_t length, int timeoutMs) {
    if (!engine_->ssl || socket != connectedSocket_ || length == 0) {
        setError("%s: no TLS connection on socket %lld", function, static_cast<long long>(socket));
        return -1;
    }
    timedOut_ = false;
    const int chunk = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const TlsApi& api = tls();
        api.ERR_clear_error();
        errno = 0;
        const int n = readBuffer != nullptr ? api.SSL_read(engine_->ssl.get(), readBuffer, chunk)
                                            : api.SSL_write(engine_->ssl.get(), writeBytes, chunk);
        const int savedErrno = errno;
        if (n > 0) return n;
        const int code = api.SSL_get_error(engine_->ssl.get(), n);
        if (code == SSL_ERROR_ZERO_RETURN) {
            setError("%s: the connection was closed by the peer", function);
            return 0;
        }
        if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE) {
            if (code == SSL_ERROR_SSL || code == SSL_ERROR_SYSCALL) broken_ = true;
            setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", function, n, code, savedErrno);
            return n < 0 ? n : -1;
        }
        const int left = timeoutMs < 0 ? -1 : msUntil(deadline);
        if (timeoutMs >= 0 && left <= 0) {
            setError("%s: time-out", function);
            timedOut_ = true;
            return -1;
        }
        switch (waitFor(socket, code == SSL_ERROR_WANT_READ ? Readiness::Read : Readiness::Write, left)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                setError("%s: time-out", function);
                timedOut_ = true;
                return -1;
            case Wait::Cancelled:
                setError("%s: cancelled", function);
                return -1;
            case Wait::Failed:
                setError("%s: poll failed, errno[%d]", function, lastSocketError());
                return -1;
        }
    }
}

void TlsConnection::close() {
    if (!engine_->ssl) return;
    // One close_notify; the socket is non-blocking, so this never waits.
    if (!broken_) tls().SSL_shutdown(engine_->ssl.get());
    tls().ERR_clear_error();
    engine_->ssl.reset();
    connectedSocket_ = kNoSocket;
}

bool TlsConnection::useTrustAnchors(const std::string& caFile) {
    if (caFile == engine_->trustAnchors) return true;
    if (!engine_->ctx) {
        setError("%s: CTX not initialized", kTrustAnchors);
        return false;
    }
    // A context's store only grows, so another file needs a fresh context.
    if (!engine_->trustAnchors.empty() || caFile.empty()) {
        engine_->ctx.reset();
        engine_->trustAnchors.clear();
        if (!initClient()) return false;
        if (caFile.empty()) return true;
    }
    const TlsApi& api = tls();
    api.ERR_clear_error();
    if (api.SSL_CTX_load_verify_locations(engine_->ctx.get(), caFile.c_str(), nullptr) != 1) {
        api.ERR_clear_error();
        setError("%s: cannot read the certificate authorities in %s", kTrustAnchors, caFile.c_str());
        return false;
    }
    engine_->trustAnchors = caFile;
    return true;
}

bool TlsConnection::inspectPeer(const std::string& host, PeerIdentity& identity) {
    identity = PeerIdentity{};
    if (!engine_->ssl) {
        setError("%s: no TLS connection", kPeer);
        return false;
    }
    const TlsApi& api = tls();
    std::unique_ptr<X509, decltype(api.X509_free)> cert(api.SSL_get1_peer_certificate(engine_->ssl.get()),
                                                        api.X509_free);
    if (!cert) {
        setError("%s: the exchange presented no certificate", kPeer);
        return false;
    }
    // The key, not the certificate: an exchange that renews its certificate
    // with the same key keeps its pin.
    X509_PUBKEY* key = api.X509_get_X509_PUBKEY(cert.get());
    const int length = key != nullptr ? api.i2d_X509_PUBKEY(key, nullptr) : -1;
    if (length <= 0) {
        setError("%s: the certificate's public key cannot be read", kPeer);
        return false;
    }
    std::vector<unsigned char> der(static_cast<std::size_t>(length));
    unsigned char* out = der.data();
    unsigned int digestLength = 0;
    identity.keyDigest.resize(EVP_MAX_MD_SIZE);
    if (api.i2d_X509_PUBKEY(key, &out) != length || api.EVP_Digest(der.data(), der.size(), identity.keyDigest.data(),
                                                                   &digestLength, api.EVP_sha256(), nullptr) != 1) {
        api.ERR_clear_error();
        identity.keyDigest.clear();
        setError("%s: cannot hash the certificate's public key", kPeer);
        return false;
    }
    identity.keyDigest.resize(digestLength);

    if (!engine_->trustAnchors.empty()) {
        // The handshake does not stop on a bad chain (the pin decides for
        // self-signed exchanges), but the library records the verdict.
        const long verdict = api.SSL_get_verify_result(engine_->ssl.get());
        if (verdict != X509_V_OK) {
            identity.chainError = std::string("certificate not issued by the configured authority: ") +
                                  api.X509_verify_cert_error_string(verdict);
        } else if (api.X509_check_ip_asc(cert.get(), host.c_str(), 0) != 1 &&
                   api.X509_check_host(cert.get(), host.c_str(), host.size(), 0, nullptr) != 1) {
            identity.chainError = "certificate issued for another name than " + host;
        } else {
            identity.chainVerified = true;
        }
    }
    api.ERR_clear_error();
    return true;
}

}  // namespace pellandor
