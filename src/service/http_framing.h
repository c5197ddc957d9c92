#pragma once
// The one HTTP exchange the client makes: a multipart/form-data POST carrying
// the request XML, and an answer read back as status code plus body.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.h"
#include "service/byte_stream.h"

namespace pellandor {

inline constexpr std::string_view kRequestPath = "ulvex_svc";
inline constexpr std::string_view kMultipartBoundary = "----------kqztestboundary0123456789@#$";
inline constexpr std::string_view kPartContentType = "text/xml";
inline constexpr std::string_view kPartFileName = "clicktocall.xml";
// Received bytes per buffer load; the exchange's own clients read this way.
inline constexpr std::size_t kReceiveBufferSize = 4096;
// An answer is a few hundred bytes; anything past this is refused, not buffered.
inline constexpr std::size_t kMaxAnswerBytes = std::size_t{1} << 20;

// Appends the multipart body holding `xml` as an uploaded file. Always true.
bool makeMultipartContent(std::string& body, std::string_view fileName, std::string_view contentType,
                          std::string_view xml, std::string_view boundary);

// Replaces `header` with the request line and header lines, ending in the
// blank line. `localAddress` goes into Host, Origin and Referer. Always true.
bool makeFullHtml(std::string& header, std::string_view path, std::size_t bodyLength, std::string_view boundary,
                  std::string_view localAddress);

// This machine's first numeric address of the wanted family, by its host
// name; empty when it has none, "N/A" when the host name cannot be read.
std::string getLocalHostAddress(bool wantIpv6);

// Reads one answer: the status line, a Content-Length header (required, at
// most kMaxAnswerBytes) and that many body bytes (more if they came in the
// last read, never past kMaxAnswerBytes). header names match in any case. `status` is -1 until a status line is read.
// On failure `body` may hold part of the answer.
Status recvResponse(IByteStream& stream, std::string& body, int& status);

}  // namespace pellandor
