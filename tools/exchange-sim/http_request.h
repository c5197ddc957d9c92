#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace exsim {

inline constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
inline constexpr std::size_t kMaxBody = 1024 * 1024;

struct HttpRequest {
    std::string header_block;  // request line through the blank line, CRLFs included
    std::string body;          // exactly Content-Length bytes
    std::string request_line;
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;  // as received, values trimmed

    // First header of that name, compared without regard to case.
    const std::string* header(std::string_view name) const;
};

// Collects the bytes of one request as they arrive and frames it: header block
// up to CRLF CRLF, then Content-Length bytes of body.
class RequestReader final {
public:
    enum class State { NeedMore, Complete, Error };

    State feed(std::string_view bytes);

    State state() const { return state_; }
    const HttpRequest& request() const { return request_; }
    bool headers_done() const { return headers_done_; }
    // Everything received so far (for logging a request that never completed).
    const std::string& received() const { return buffer_; }
    // Bytes received beyond the announced body; a sign of a wrong Content-Length.
    std::size_t excess() const { return excess_; }
    // For State::Error: the HTTP status to answer with, and why.
    int error_status() const { return error_status_; }
    const std::string& error() const { return error_; }

private:
    State fail(int status, std::string why);
    State parseHeaderBlock(std::size_t length);

    std::string buffer_;
    HttpRequest request_;
    bool headers_done_ = false;
    std::size_t content_length_ = 0;
    std::size_t excess_ = 0;
    State state_ = State::NeedMore;
    int error_status_ = 0;
    std::string error_;
};

// Takes the XML document out of a multipart/form-data body: the part that
// carries a file name or an XML content type, or the only part there is.
bool extractXmlPart(const HttpRequest& request, std::string& xml, std::string& error);

struct CallFields {
    std::optional<std::string> stnnum, userid, userpwd, srcdialnum, calltype, destdialnum;
};

// Reads the click-to-call request document. Fails on XML that is not
// well-formed or lacks the elements every request must carry; `fields` keeps
// whatever could be read.
bool extractCallFields(std::string_view xml, CallFields& fields, std::string& error);

}  // namespace exsim
