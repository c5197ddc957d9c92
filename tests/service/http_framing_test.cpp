#include "service/http_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pellandor {
namespace {

// Hands out scripted chunks, each in as many reads as the caller's buffer
// needs; after the last one the peer "closes".
class ScriptedStream : public IByteStream {
public:
    explicit ScriptedStream(std::vector<std::string> chunks) : chunks_(std::move(chunks)) {}

    long read(char* buffer, std::size_t length) override {
        ++reads;
        maxAsked = std::max(maxAsked, length);
        if (next_ == chunks_.size()) return 0;
        std::string& chunk = chunks_[next_];
        const std::size_t n = std::min(length, chunk.size());
        std::copy_n(chunk.data(), n, buffer);
        chunk.erase(0, n);
        if (chunk.empty()) ++next_;
        return static_cast<long>(n);
    }
    long write(const char*, std::size_t length) override { return static_cast<long>(length); }
    std::string lastError() const override { return "peer closed"; }

    int reads = 0;
    std::size_t maxAsked = 0;

private:
    std::vector<std::string> chunks_;
    std::size_t next_ = 0;
};

std::string answer(const std::string& body, const std::string& headers = "") {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(HttpFraming, MultipartBodyBytes) {
    std::string body;
    ASSERT_TRUE(makeMultipartContent(body, kPartFileName, kPartContentType, "<x/>", kMultipartBoundary));
    EXPECT_EQ(body,
              "------------kqztestboundary0123456789@#$\r\n"
              "Content-Disposition: form-data; name=\"xmlupload1\"; filename=\"clicktocall.xml\"\r\n"
              "Content-Type: text/xml\r\n"
              "\r\n"
              "<x/>\r\n"
              "------------kqztestboundary0123456789@#$--\r\n");
    EXPECT_EQ(kMultipartBoundary.size(), 38u);
}

TEST(HttpFraming, HeaderBlockBytes) {
    std::string header = "stale";
    ASSERT_TRUE(makeFullHtml(header, kRequestPath, 321, kMultipartBoundary, "192.0.2.7"));
    EXPECT_EQ(header,
              "POST /ulvex_svc HTTP/1.1\r\n"
              "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
              "Host: 192.0.2.7\r\n"
              "Origin: https://192.0.2.7\r\n"
              "Referer: https://192.0.2.7/xmlup.htm\r\n"
              "Accept-Language: ko-KR,ko;q=0.8,en-US;q=0.6,en;q=0.4\r\n"
              "User-Agent: Mozilla/5.0 Ulvex Web Client\r\n"
              "Accept-Encoding: gzip,deflate\r\n"
              "Content-Length: 321\r\n"
              "Content-Type: multipart/form-data; boundary=----------kqztestboundary0123456789@#$\r\n"
              "Cache-Control: no-cache\r\n"
              "\r\n");
}

TEST(HttpFraming, LocalAddressMatchesFamily) {
    const std::string v4 = getLocalHostAddress(false);
    if (!v4.empty() && v4 != "N/A") {
        EXPECT_NE(v4.find('.'), std::string::npos) << v4;
    }
    const std::string v6 = getLocalHostAddress(true);
    if (!v6.empty() && v6 != "N/A") {
        EXPECT_NE(v6.find(':'), std::string::npos) << v6;
    }
}

struct RecvCase {
    const char* name;
    std::vector<std::string> chunks;
    int status;
    std::string body;
};
void PrintTo(const RecvCase& c, std::ostream* os) {
    *os << c.name;
}

class RecvResponseOk : public ::testing::TestWithParam<RecvCase> {};

TEST_P(RecvResponseOk, CollectsStatusAndBody) {
    const RecvCase& c = GetParam();
    ScriptedStream stream(c.chunks);
    std::string body;
    int status = 0;
    const Status received = recvResponse(stream, body, status);
    ASSERT_TRUE(received) << received.error();
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(body, c.body);
    EXPECT_LE(stream.maxAsked, kReceiveBufferSize - 1);
}

const std::string kXml = "<R><code>100</code><Message>Call OK</Message></R>";
const std::string kLong = "<r>" + std::string(9000, 'X') + "<code>100</code></r>";

INSTANTIATE_TEST_SUITE_P(
    Cases, RecvResponseOk,
    ::testing::Values(
        RecvCase{"OneRead", {answer(kXml)}, 200, kXml},
        RecvCase{"HeaderSplitAcrossReads", {"HTTP/1.1 200 OK\r\nConte", "nt-Length: 49\r", "\n\r\n", kXml}, 200, kXml},
        RecvCase{"ByteByByte",
                 [] {
                     std::vector<std::string> v;
                     for (char ch : answer(kXml)) v.emplace_back(1, ch);
                     return v;
                 }(),
                 200, kXml},
        // header names in any case; body bytes that came with the header keep their case
        RecvCase{"UpperCaseHeaders", {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH:   49\r\n\r\n" + kXml}, 200, kXml},
        RecvCase{"BodyLaterKeepsCase", {"HTTP/1.1 200 OK\r\nContent-Length: 49\r\n\r\n<R>", kXml.substr(3)}, 200, kXml},
        RecvCase{"LongBodyAcrossBufferLoads", {answer(kLong)}, 200, kLong},
        RecvCase{"LongBodyInOddChunks", {answer(kLong).substr(0, 5000), answer(kLong).substr(5000)}, 200, kLong},
        // bytes past the announced length in the last read stay in the body
        RecvCase{"ExtraBytesKept", {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef"}, 200, "abcdef"},
        RecvCase{"EmptyBody", {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}, 200, ""},
        RecvCase{"ServerError", {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\nOops"}, 500, "Oops"},
        RecvCase{"NoStatusCode", {"HTTP/1.1\r\nContent-Length: 1\r\n\r\nx"}, -1, "x"},
        // only a header named exactly Content-Length gives the length
        RecvCase{
            "LongerNameIsNotContentLength",
            {"HTTP/1.1 200 OK\r\nX-Content-Length-Hint: 3\r\nContent-Length-Extra: 2\r\nContent-Length: 49\r\n\r\n<R>",
             kXml.substr(3)},
            200,
            kXml}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(recvResponse, ZeroContentLengthCompletesWithoutWaitingForClose) {
    // The exchange may keep the connection open: a further read would block.
    ScriptedStream stream({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
    std::string body = "old";
    int status = 0;
    ASSERT_TRUE(recvResponse(stream, body, status));
    EXPECT_EQ(stream.reads, 1);
    EXPECT_EQ(body, "");
}

TEST(recvResponse, FailsOnBadAnswers) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        const char* errorPart;
    } cases[] = {
        {"closed at once", {}, "peer closed"},
        {"closed mid-body", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}, "peer closed"},
        {"no content-length",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"},
         "content-length"},
        // only the header block counts: the body cannot supply the header
        {"content-length only in body", {"HTTP/1.1 200 OK\r\n\r\ncontent-length: 3\r\n"}, "content-length"},
        {"content-length without colon", {"HTTP/1.1 200 OK\r\nContent-Length 3\r\n\r\nabc"}, "content-length"},
        {"content-length not a number", {"HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\nabc"}, "content-length"},
        {"negative content-length", {"HTTP/1.1 200 OK\r\nContent-Length: -3\r\n\r\nabc"}, "content-length"},
        {"not http", {"SSH-2.0-x\r\nContent-Length: 0\r\n\r\n"}, "not HTTP"},
        {"only a longer name", {"HTTP/1.1 200 OK\r\nX-Content-Length-Hint: 3\r\n\r\nabc"}, "no content-length"},
        {"header block too long", {"HTTP/1.1 200 OK\r\nX: " + std::string(5000, 'a') + "\r\n\r\n"}, "too long"},
    };
    for (const Case& c : cases) {
        ScriptedStream stream(c.chunks);
        std::string body;
        int status = 0;
        const Status received = recvResponse(stream, body, status);
        const std::string& error = received.error();
        EXPECT_FALSE(received) << c.name;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.rfind("receive: ", 0), 0u) << c.name;
    }
}

// A peer that never stops sending; it gives up after 64 MiB so that a
// reader without a bound fails instead of running for ever.
class EndlessStream : public IByteStream {
public:
    explicit EndlessStream(std::string head) : head_(std::move(head)) {}
    long read(char* buffer, std::size_t length) override {
        if (sent >= (std::size_t{64} << 20)) return 0;
        std::size_t n = 0;
        for (; n < length && sent < head_.size(); ++n) buffer[n] = head_[sent++];
        for (; n < length; ++n, ++sent) buffer[n] = 'x';
        return static_cast<long>(n);
    }
    long write(const char*, std::size_t length) override { return static_cast<long>(length); }
    std::string lastError() const override { return "peer closed"; }
    std::size_t sent = 0;

private:
    std::string head_;
};

TEST(recvResponse, AnswersAreBoundedToOneMebibyte) {
    const struct {
        const char* length;
        bool ok;
        const char* errorPart;
    } cases[] = {
        {"1099511627776", false, "announces 1099511627776 bytes, more than the 1048576 allowed"},
        {"1048577", false, "more than the 1048576 allowed"},
        {"1048576", true, ""},
    };
    for (const auto& c : cases) {
        const std::string head = std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + c.length + "\r\n\r\n";
        EndlessStream stream(head);
        std::string body;
        int status = 0;
        const Status received = recvResponse(stream, body, status);
        const std::string& error = received.error();
        EXPECT_EQ(received.ok(), c.ok) << c.length << ": " << error;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.length << ": " << error;
        EXPECT_LE(body.size(), kMaxAnswerBytes) << c.length;
        EXPECT_LE(stream.sent, kMaxAnswerBytes + head.size()) << c.length;
    }
}

}  // namespace
}  // namespace pellandor
