#include "service/tls_connection.h"

#include "service/net_util.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/opensslv.h>

namespace pellandor {

namespace {

// The TLS library is loaded on the first request, not at start: linked in,
// its relocations alone keep about 1.7 MiB resident in a program that may
// sit in the tray all day without calling.
#define PELLANDOR_TLS_FUNCTIONS(X) \
    X(OPENSSL_init_ssl)            \
    X(TLS_client_method)           \
    X(SSL_CTX_new)                 \
    X(SSL_CTX_free)                \
    X(SSL_CTX_ctrl)                \
    X(SSL_CTX_set_security_level)  \
    X(SSL_CTX_set_options)         \
    X(SSL_CTX_set_cipher_list)     \
    X(SSL_new)                     \
    X(SSL_free)                    \
    X(SSL_set_fd)                  \
    X(SSL_connect)                 \
    X(SSL_get_error)               \
    X(SSL_read)                    \
    X(SSL_write)                   \
    X(SSL_shutdown)                \
    X(ERR_clear_error)

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

constexpr const char* kInitClient = "COpenSSLInterface::InitClientSSL";
constexpr const char* kConnect = "COpenSSLInterface::ConnectSSLClient";
constexpr const char* kHandshake = "COpenSSLInterface::ConnectSSLClient_SSL";
constexpr const char* kRead = "COpenSSLInterface::ReadSSLClient";
constexpr const char* kWrite = "COpenSSLInterface::WriteSSLClient";
constexpr const char* kCipherList = "ARIA128-SHA:AES128-SHA:SEED-SHA:ALL:!ADH:!LOW:!EXP:!MD5:@STRENGTH";

// A single wait for the handshake never exceeds this, however long the
// caller's limit is.
constexpr int kHandshakeWaitCapMs = 60000;

using Clock = SteadyClock;

Clock::time_point deadlineAfter(int timeoutMs) {
    return timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

TlsConnection::TlsConnection() = default;

TlsConnection::~TlsConnection() {
    close();
}

void TlsConnection::setError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    errorText_.assign(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(errorText_.data(), errorText_.size() + 1, format, args);
    va_end(args);
}

bool TlsConnection::initClient() {
    if (ctx_) {
        setError("%s:Init client Fail. Already initialized with %s", kInitClient, "Client Mode");
        return false;
    }

    const TlsApi& api = tls();
    if (!api.error.empty()) {
        setError("%s:%s", kInitClient, api.error.c_str());
        return false;
    }
    api.OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    ctx_.reset(api.SSL_CTX_new(api.TLS_client_method()));
    if (!ctx_) {
        setError("%s:SSL_CTX_new fail", kInitClient);
        return false;
    }
    // The exchange speaks TLS 1.2 only.
    if (api.SSL_CTX_ctrl(ctx_.get(), SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1 ||
        api.SSL_CTX_ctrl(ctx_.get(), SSL_CTRL_SET_MAX_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1) {
        setError("%s:cannot limit the context to TLS 1.2", kInitClient);
        ctx_.reset();
        return false;
    }
    // Older exchanges carry RSA-1024 keys and 1024-bit DH groups, which the
    // distribution's default level 2 refuses.
    api.SSL_CTX_set_security_level(ctx_.get(), 1);

    uint64_t options = SSL_OP_ALL;
    // Older exchanges may not send the renegotiation extension.
    options |= SSL_OP_LEGACY_SERVER_CONNECT;
#ifdef SSL_OP_NO_SSLv2
    options |= SSL_OP_NO_SSLv2;
#endif
#ifdef SSL_OP_NO_SSLv3
    options |= SSL_OP_NO_SSLv3;
#endif
    api.SSL_CTX_set_options(ctx_.get(), options);
    // The result is not examined: whatever the library knows of the list is
    // used, and names it does not know are skipped.
    api.SSL_CTX_set_cipher_list(ctx_.get(), kCipherList);
    api.ERR_clear_error();
    return true;
}

TlsConnection::Wait TlsConnection::waitFor(int socket, short events, int timeoutMs) const {
    pollfd fds[2] = {{socket, events, 0}, {cancelFd_, POLLIN, 0}};
    const nfds_t count = cancelFd_ >= 0 ? 2 : 1;
    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int left = timeoutMs < 0 ? -1 : msUntil(deadline);
        const int n = ::poll(fds, count, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (n == 0) return Wait::TimedOut;
        if (count == 2 && fds[1].revents != 0) return Wait::Cancelled;
        return Wait::Ready;  // readiness or an error on the socket: the next call tells which
    }
}

bool TlsConnection::connect(int socket, const sockaddr* address, socklen_t length, int timeoutMs) {
    if (address == nullptr) return false;

    // Non-blocking, so an unreachable exchange cannot hold the request for minutes.
    const int flags = fcntl(socket, F_GETFL, 0);
    if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        setError("%s: connect fail error[%d]", kConnect, errno);
        return false;
    }
    if (::connect(socket, address, length) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            setError("%s: connect fail error[%d]", kConnect, errno);
            return false;
        }
        switch (waitFor(socket, POLLOUT, timeoutMs)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                setError("%s: connect fail error[%d] (no connection within %d ms, time-out)", kConnect, ETIMEDOUT,
                         timeoutMs);
                return false;
            case Wait::Cancelled:
                setError("%s: connect fail error[%d] (cancelled)", kConnect, ECANCELED);
                return false;
            case Wait::Failed:
                setError("%s: connect fail error[%d]", kConnect, errno);
                return false;
        }
        int soError = 0;
        socklen_t soLength = sizeof soError;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &soError, &soLength) != 0) soError = errno;
        if (soError != 0) {
            setError("%s: connect fail error[%d]", kConnect, soError);
            return false;
        }
    }
    return handshake(socket, timeoutMs);
}

bool TlsConnection::handshake(int socket, int timeoutMs) {
    if (!ctx_) {
        setError("%s: CTX not initialized", kHandshake);
        return false;
    }
    if (ssl_) {
        setError("%s: Client is already running", kHandshake);
        return false;
    }
    ssl_.reset(tls().SSL_new(ctx_.get()));
    if (!ssl_) {
        setError("%s:Create SSL fail", kHandshake);
        return false;
    }
    if (tls().SSL_set_fd(ssl_.get(), socket) != 1) {
        setError("%s:Set fd fail", kHandshake);
        ssl_.reset();
        return false;
    }
    connectedSocket_ = socket;
    broken_ = false;

    // A failed handshake leaves no connection behind, so the next attempt
    // does not find one "already running".
    auto fail = [this] {
        ssl_.reset();
        connectedSocket_ = -1;
        return false;
    };

    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    int pendingWant = 0;  // SSL_ERROR_WANT_READ / _WRITE from the last attempt
    for (;;) {
        const int left = timeoutMs < 0 ? kHandshakeWaitCapMs : msUntil(deadline);
        if (left <= 0) {
            setError("%s: connection time-out!", kHandshake);
            return fail();
        }
        if (pendingWant != 0) {
            const int limit = std::min(left, kHandshakeWaitCapMs);
            switch (waitFor(socket, pendingWant == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, limit)) {
                case Wait::Ready:
                    break;
                case Wait::Failed:
                    setError("%s: select failed! %d", kHandshake, pendingWant);
                    return fail();
                case Wait::TimedOut:
                    if (limit < kHandshakeWaitCapMs) {
                        setError("%s: connection time-out!", kHandshake);
                    } else {
                        setError("%s: sever not responding! %d", kHandshake, pendingWant);
                    }
                    return fail();
                case Wait::Cancelled:
                    setError("%s: connection cancelled", kHandshake);
                    return fail();
            }
        }
        tls().ERR_clear_error();
        errno = 0;
        const int result = tls().SSL_connect(ssl_.get());
        const int savedErrno = errno;
        if (result == 1) return true;
        const int code = tls().SSL_get_error(ssl_.get(), result);
        if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
            pendingWant = code;
            continue;
        }
        setError("%s: ssl problem! res[%d], ecode[%d], errno[%d]!!", kHandshake, result, code, savedErrno);
        return fail();
    }
}

long TlsConnection::transfer(const char* function, int socket, char* readBuffer, const char* writeBytes,
                             std::size_t length, int timeoutMs) {
    if (!ssl_ || socket != connectedSocket_ || length == 0) {
        setError("%s: no TLS connection on socket %d", function, socket);
        return -1;
    }
    timedOut_ = false;
    const int chunk = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    const Clock::time_point deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const TlsApi& api = tls();
        api.ERR_clear_error();
        errno = 0;
        const int n = readBuffer != nullptr ? api.SSL_read(ssl_.get(), readBuffer, chunk)
                                            : api.SSL_write(ssl_.get(), writeBytes, chunk);
        const int savedErrno = errno;
        if (n > 0) return n;
        const int code = api.SSL_get_error(ssl_.get(), n);
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
        switch (waitFor(socket, code == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, left)) {
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
                setError("%s: poll failed, errno[%d]", function, errno);
                return -1;
        }
    }
}

long TlsConnection::read(int socket, char* buffer, std::size_t length, int timeoutMs) {
    if (buffer == nullptr) {
        setError("%s: no buffer", kRead);
        return -1;
    }
    return transfer(kRead, socket, buffer, nullptr, length, timeoutMs);
}

long TlsConnection::write(int socket, const char* bytes, std::size_t length, int timeoutMs) {
    if (bytes == nullptr) {
        setError("%s: no data", kWrite);
        return -1;
    }
    return transfer(kWrite, socket, nullptr, bytes, length, timeoutMs);
}

void TlsConnection::close() {
    if (!ssl_) return;
    // One close_notify; the socket is non-blocking, so this never waits.
    if (!broken_) tls().SSL_shutdown(ssl_.get());
    tls().ERR_clear_error();
    ssl_.reset();
    connectedSocket_ = -1;
}

void TlsConnection::CtxFree::operator()(SSL_CTX* ctx) const {
    tls().SSL_CTX_free(ctx);
}

void TlsConnection::SslFree::operator()(SSL* ssl) const {
    tls().SSL_free(ssl);
}

}  // namespace pellandor
