// A bare TLS 1.2 client for desktop_bench.py: the yardstick for the time
// from Enter in the call dialog to the request reaching the exchange.
//
//   pellandor_tls_handshake HOST PORT REQUEST_FILE [CIPHER_LIST]
//
// For each "go" line on stdin: TCP connect and handshake, timed, then the
// request file's bytes are sent and the answer read to its end, so the
// exchange logs the request. Prints "handshake START END SECONDS CIPHER"
// (CLOCK_MONOTONIC) or "error TEXT". The context is made once, outside the
// timing, as a long-running client would keep it.
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

namespace {

double now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

bool once(SSL_CTX* ctx, const sockaddr_in& address, const std::string& request) {
    const double start = now();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::printf("error connect\n");
        if (fd >= 0) ::close(fd);
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(ctx));
    SSL_set_fd(ssl.get(), fd);
    if (SSL_connect(ssl.get()) != 1) {
        std::printf("error handshake\n");
        ::close(fd);
        return false;
    }
    const double end = now();
    SSL_write(ssl.get(), request.data(), static_cast<int>(request.size()));
    char buffer[4096];
    while (SSL_read(ssl.get(), buffer, sizeof buffer) > 0) {
    }
    SSL_shutdown(ssl.get());
    ::close(fd);
    std::printf("handshake %.6f %.6f %.6f %s\n", start, end, end - start, SSL_get_cipher_name(ssl.get()));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: %s HOST PORT REQUEST_FILE [CIPHER_LIST]\n", argv[0]);
        return 2;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1) {
        std::fprintf(stderr, "not an IPv4 address: %s\n", argv[1]);
        return 2;
    }
    std::ifstream file(argv[3], std::ios::binary);
    const std::string request((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_security_level(ctx, 1);
    if (argc == 5) SSL_CTX_set_cipher_list(ctx, argv[4]);

    std::string line;
    while (std::getline(std::cin, line)) {
        if (line != "go") continue;
        once(ctx, address, request);
        std::fflush(stdout);
    }
    SSL_CTX_free(ctx);
    return 0;
}
