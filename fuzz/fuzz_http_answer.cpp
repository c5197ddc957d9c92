// HTTP answer framing fed in random chunks: never a crash, never more than
// the bound buffered, never a read past what the caller may take.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "service/http_framing.h"

namespace {

class ChunkedStream : public pellandor::IByteStream {
public:
    ChunkedStream(std::vector<std::string> chunks) : chunks_(std::move(chunks)) {}
    long read(char* buffer, std::size_t length) override {
        if (length == 0 || length >= pellandor::kReceiveBufferSize) std::abort();
        if (next_ == chunks_.size()) return 0;
        std::string& chunk = chunks_[next_];
        const std::size_t n = std::min(length, chunk.size());
        std::copy_n(chunk.data(), n, buffer);
        chunk.erase(0, n);
        if (chunk.empty()) ++next_;
        return static_cast<long>(n);
    }
    long write(const char*, std::size_t length) override { return static_cast<long>(length); }

private:
    std::vector<std::string> chunks_;
    std::size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::string> chunks;
    while (in.remaining_bytes() > 0) {
        const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(1, 5000);
        std::string chunk = in.ConsumeBytesAsString(length);
        if (chunk.empty()) break;
        chunks.push_back(std::move(chunk));
    }
    ChunkedStream stream(std::move(chunks));
    std::string body;
    int status = 0;
    const pellandor::Status received = pellandor::recvResponse(stream, body, status);
    if (body.size() > pellandor::kMaxAnswerBytes) std::abort();
    if (!received && received.error().empty()) std::abort();
    return 0;
}
