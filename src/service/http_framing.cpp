#include "service/http_framing.h"

#include "platform/socket.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <memory>
#include <vector>

namespace pellandor {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kFieldName = "xmlupload1";

bool isTokenSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// An optionally signed decimal number at the start, saturating; false without digits.
bool readDecimal(std::string_view text, long long& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::size_t firstDigit = i;
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v > (LLONG_MAX - 9) / 10 ? LLONG_MAX : v * 10 + (text[i] - '0');
    }
    if (i == firstDigit) return false;
    value = negative ? -v : v;
    return true;
}

// Parses the lower-cased header block (status line up to the blank line).
bool parseHeaderBlock(std::string_view head, int& status, long long& contentLength, std::string& errorText) {
    const auto lineEnd = head.find(kCrLf);
    if (lineEnd == std::string_view::npos) {
        errorText = "receive: no status line in the answer";
        return false;
    }
    std::string_view statusLine = head.substr(0, lineEnd);
    std::vector<std::string_view> tokens;
    for (std::size_t i = 0; i < statusLine.size();) {
        while (i < statusLine.size() && isTokenSeparator(statusLine[i])) ++i;
        const std::size_t start = i;
        while (i < statusLine.size() && !isTokenSeparator(statusLine[i])) ++i;
        if (i > start) tokens.push_back(statusLine.substr(start, i - start));
    }
    if (tokens.empty() || tokens[0].substr(0, 4) != "http") {
        errorText = "receive: the answer is not HTTP";
        return false;
    }
    if (tokens.size() > 1) {
        long long code = 0;
        status = readDecimal(tokens[1], code) ? static_cast<int>(std::clamp<long long>(code, INT_MIN, INT_MAX)) : 0;
    }

    // header lines one by one: the name must be exactly content-length, not
    // a longer name that contains it.
    std::string_view value;
    bool found = false;
    for (std::size_t pos = lineEnd + kCrLf.size(); pos < head.size() && !found;) {
        const std::size_t end = head.find(kCrLf, pos);
        if (end == std::string_view::npos) break;
        const std::string_view line = head.substr(pos, end - pos);
        pos = end + kCrLf.size();
        std::string_view name = line.substr(0, line.find(':'));
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        if (name != "content-length") continue;
        if (name.size() == line.size()) {
            errorText = "receive: malformed content-length in the answer";
            return false;
        }
        value = line.substr(line.find(':') + 1);
        found = true;
    }
    if (!found) {
        errorText = "receive: no content-length in the answer";
        return false;
    }

    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    if (!readDecimal(value, contentLength) || contentLength < 0) {
        errorText = "receive: malformed content-length in the answer";
        return false;
    }
    if (static_cast<unsigned long long>(contentLength) > kMaxAnswerBytes) {
        errorText = "receive: the answer announces " + std::to_string(contentLength) + " bytes, more than the " +
                    std::to_string(kMaxAnswerBytes) + " allowed";
        return false;
    }
    return true;
}

}  // namespace

bool makeMultipartContent(std::string& body, std::string_view fileName, std::string_view contentType,
                          std::string_view xml, std::string_view boundary) {
    body.append("--").append(boundary).append(kCrLf);
    body.append("Content-Disposition: form-data; name=\"").append(kFieldName).append("\"; filename=\"");
    body.append(fileName).append("\"").append(kCrLf);
    body.append("Content-Type: ").append(contentType).append(kCrLf);
    body.append(kCrLf);
    body.append(xml).append(kCrLf);
    body.append("--").append(boundary).append("--").append(kCrLf);
    return true;
}

bool makeFullHtml(std::string& header, std::string_view path, std::size_t bodyLength, std::string_view boundary,
                  std::string_view localAddress) {
    header.clear();
    header.append("POST /").append(path).append(" HTTP/1.1").append(kCrLf);
    header.append("Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8").append(kCrLf);
    header.append("Host: ").append(localAddress).append(kCrLf);
    header.append("Origin: https://").append(localAddress).append(kCrLf);
    header.append("Referer: https://").append(localAddress).append("/xmlup.htm").append(kCrLf);
    header.append("Accept-Language: ko-KR,ko;q=0.8,en-US;q=0.6,en;q=0.4").append(kCrLf);
    header.append("User-Agent: Mozilla/5.0 Ulvex Web Client").append(kCrLf);
    header.append("Accept-Encoding: gzip,deflate").append(kCrLf);
    header.append("Content-Length: ").append(std::to_string(bodyLength)).append(kCrLf);
    header.append("Content-Type: multipart/form-data; boundary=").append(boundary).append(kCrLf);
    header.append("Cache-Control: no-cache").append(kCrLf);
    header.append(kCrLf);
    return true;
}

std::string getLocalHostAddress(bool wantIpv6) {
    return localHostAddress(wantIpv6);
}

namespace {

bool receive(IByteStream& stream, std::string& body, int& status, std::string& errorText) {
    status = -1;
    body.clear();

    const std::size_t capacity = kReceiveBufferSize - 1;
    std::vector<char> buffer(kReceiveBufferSize);
    std::size_t filled = 0;
    std::size_t bodyCount = 0;
    long long contentLength = -1;  // unknown until the header block is in

    auto readMore = [&]() {
        // Never more body than the bound, however long the peer keeps sending.
        std::size_t room = capacity - filled;
        if (contentLength >= 0)
            room = std::min(room, kMaxAnswerBytes - std::min(kMaxAnswerBytes, body.size() + filled));
        if (room == 0) {
            errorText = "receive: the answer is longer than " + std::to_string(kMaxAnswerBytes) + " bytes";
            return false;
        }
        const long n = stream.read(buffer.data() + filled, room);
        if (n <= 0) {
            const std::string why = stream.lastError();
            errorText =
                "receive: " + (why.empty() ? std::string("the connection ended before the answer was complete") : why);
            return false;
        }
        filled += static_cast<std::size_t>(n);
        bodyCount += static_cast<std::size_t>(n);
        return true;
    };

    if (!readMore()) return false;
    for (;;) {
        if (contentLength < 0) {
            const std::string_view received(buffer.data(), filled);
            const auto blank = received.find("\r\n\r\n");
            if (blank == std::string_view::npos) {
                if (filled == capacity) {
                    errorText = "receive: the answer's header block is too long";
                    return false;
                }
                if (!readMore()) return false;
                continue;
            }
            // header names may come in any case; the body keeps its own.
            const std::size_t headEnd = blank + 4;
            std::transform(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(headEnd), buffer.begin(),
                           [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
            if (!parseHeaderBlock(std::string_view(buffer.data(), headEnd), status, contentLength, errorText)) {
                return false;
            }
            std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(headEnd),
                      buffer.begin() + static_cast<std::ptrdiff_t>(filled), buffer.begin());
            filled -= headEnd;
            bodyCount = filled;
        }
        if (bodyCount >= static_cast<unsigned long long>(contentLength)) {
            // Whatever came with the last read stays, even past the announced length.
            body.append(buffer.data(), filled);
            return true;
        }
        if (filled == capacity) {
            body.append(buffer.data(), filled);
            filled = 0;
        }
        if (!readMore()) return false;
    }
}

}  // namespace

Status recvResponse(IByteStream& stream, std::string& body, int& status) {
    std::string error;
    if (!receive(stream, body, status, error)) return failure(error);
    return {};
}

}  // namespace pellandor
