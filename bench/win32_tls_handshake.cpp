// The Wine yardstick for win32_desktop_bench.py's Enter to request: the
// program's own TLS connection (Schannel) with nothing around it.
//
//   pellandor_win32_tls_handshake HOST PORT REQUEST_FILE
//
// For each "go" line on stdin: TCP connect and handshake, timed, then the
// request file's bytes are sent and the answer read to its end, so the
// exchange logs the request. Prints "handshake START END SECONDS -" on the
// performance counter's clock, or "error TEXT". The credentials are made once,
// outside the timing, as the program keeps them.
#include "platform/socket.h"
#include "service/tls_connection.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

double now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool once(pellandor::TlsConnection& tls, const pellandor::SocketAddress& address, const std::string& request) {
    const double start = now();
    pellandor::Socket socket = pellandor::openTcpSocket(address.ipv6);
    if (!socket.isOpen()) {
        std::printf("error socket\n");
        return false;
    }
    pellandor::setNoDelay(socket.get());
    if (!tls.connect(socket.get(), address)) {
        std::printf("error handshake\n");
        return false;
    }
    const double end = now();
    tls.write(socket.get(), request.data(), request.size(), 5000);
    char buffer[4096];
    while (tls.read(socket.get(), buffer, sizeof buffer, 5000) > 0) {
    }
    tls.close();
    std::printf("handshake %.6f %.6f %.6f -\n", start, end, end - start);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s HOST PORT REQUEST_FILE\n", argv[0]);
        return 2;
    }
    pellandor::SocketAddress address;
    bool found = false;
    if (pellandor::resolveAddress(argv[1], argv[2], true, address, found) != 0 || !found) {
        std::fprintf(stderr, "not an address: %s\n", argv[1]);
        return 2;
    }
    std::ifstream file(argv[3], std::ios::binary);
    const std::string request((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    pellandor::TlsConnection tls;
    if (!tls.initClient()) {
        std::printf("error init\n");
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.rfind("go", 0) == 0) once(tls, address, request);
    }
    return 0;
}
