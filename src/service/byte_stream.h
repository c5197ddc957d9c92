#pragma once
// The byte pipe the HTTP framing reads and writes; the TLS connection is one,
// a test's scripted stream is another.

#include <cstddef>
#include <string>

namespace pellandor {

class IByteStream {
public:
    virtual ~IByteStream() = default;
    // Bytes moved (> 0), or 0 or less when the peer closed, the transfer
    // failed or ran out of time.
    virtual long read(char* buffer, std::size_t length) = 0;
    virtual long write(const char* bytes, std::size_t length) = 0;
    // Why the last Read or Write gave 0 or less; empty if unknown.
    virtual std::string lastError() const { return {}; }
};

}  // namespace pellandor
