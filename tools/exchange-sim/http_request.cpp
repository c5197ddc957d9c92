#include "http_request.h"

#include "xml_scan.h"

#include <algorithm>
#include <cctype>

namespace exsim {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool isTokenChar(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) return false;
    return std::string_view("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) == std::string_view::npos;
}

// "multipart/form-data; boundary=xyz" -> media type and its parameters.
bool splitContentType(std::string_view value, std::string& media,
                      std::vector<std::pair<std::string, std::string>>& params) {
    std::size_t i = value.find(';');
    media = std::string(trim(value.substr(0, i)));
    while (i != std::string_view::npos) {
        ++i;
        const auto stop = value.find_first_of("=;", i);
        if (stop == std::string_view::npos || value[stop] == ';') {
            i = stop;  // a parameter without a value is ignored
            continue;
        }
        std::string name(trim(value.substr(i, stop - i)));
        i = stop + 1;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
        std::string param_value;
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) ++i;
                param_value += value[i];
            }
            if (i >= value.size()) return false;  // unterminated quoted string
            i = value.find(';', i);
        } else {
            const auto semi = value.find(';', i);
            param_value = std::string(trim(value.substr(i, semi == std::string_view::npos ? semi : semi - i)));
            i = semi;
        }
        params.emplace_back(std::move(name), std::move(param_value));
    }
    return true;
}

const std::string* param(const std::vector<std::pair<std::string, std::string>>& params, std::string_view name) {
    for (const auto& [key, value] : params) {
        if (equalsNoCase(key, name)) return &value;
    }
    return nullptr;
}

struct Part {
    std::vector<std::pair<std::string, std::string>> headers;
    std::string_view content;
    const std::string* header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (equalsNoCase(key, name)) return &value;
        }
        return nullptr;
    }
};

bool splitMultipart(std::string_view body, std::string_view boundary, std::vector<Part>& parts, std::string& error) {
    const std::string dash_boundary = "--" + std::string(boundary);
    const std::string delimiter = "\r\n" + dash_boundary;
    // The first delimiter may open the body; anything before it is preamble.
    std::size_t pos;
    if (body.starts_with(dash_boundary)) {
        pos = dash_boundary.size();
    } else {
        pos = body.find(delimiter);
        if (pos == std::string_view::npos) {
            error = "multipart body has no boundary line";
            return false;
        }
        pos += delimiter.size();
    }
    for (;;) {
        if (body.substr(pos).starts_with("--")) return true;  // closing delimiter
        // Transport padding, then the CRLF that ends the delimiter line.
        while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
        if (!body.substr(pos).starts_with("\r\n")) {
            error = "multipart boundary line not ended by CRLF";
            return false;
        }
        pos += 2;
        const auto next = body.find(delimiter, pos);
        if (next == std::string_view::npos) {
            error = "multipart body has no closing boundary";
            return false;
        }
        const auto whole = body.substr(pos, next - pos);
        Part part;
        std::size_t header_end;
        if (whole.starts_with("\r\n")) {
            header_end = 0;
            part.content = whole.substr(2);
        } else {
            header_end = whole.find("\r\n\r\n");
            if (header_end == std::string_view::npos) {
                error = "multipart part without a blank line after its headers";
                return false;
            }
            part.content = whole.substr(header_end + 4);
        }
        std::string_view head = whole.substr(0, header_end);
        while (!head.empty()) {
            const auto eol = head.find("\r\n");
            const auto line = head.substr(0, eol);
            const auto colon = line.find(':');
            if (colon == std::string_view::npos || colon == 0) {
                error = "malformed multipart part header";
                return false;
            }
            part.headers.emplace_back(std::string(line.substr(0, colon)), std::string(trim(line.substr(colon + 1))));
            head = eol == std::string_view::npos ? std::string_view{} : head.substr(eol + 2);
        }
        parts.push_back(std::move(part));
        pos = next + delimiter.size();
    }
}

std::optional<std::string> textOf(const XmlElement* element) {
    if (!element) return std::nullopt;
    return element->text;
}

}  // namespace

const std::string* HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalsNoCase(key, name)) return &value;
    }
    return nullptr;
}

RequestReader::State RequestReader::fail(int status, std::string why) {
    error_status_ = status;
    error_ = std::move(why);
    return state_ = State::Error;
}

RequestReader::State RequestReader::feed(std::string_view bytes) {
    if (state_ != State::NeedMore) {
        if (state_ == State::Complete) excess_ += bytes.size();
        return state_;
    }
    buffer_.append(bytes);
    if (!headers_done_) {
        const auto crlf = buffer_.find("\r\n\r\n");
        const auto lf = buffer_.find("\n\n");
        if (lf != std::string::npos && (crlf == std::string::npos || lf < crlf + 2)) {
            return fail(400, "header lines not ended by CRLF");
        }
        if (crlf == std::string::npos) {
            if (buffer_.size() > kMaxHeaderBlock) return fail(431, "header block larger than 64 KiB");
            return state_;
        }
        if (crlf + 4 > kMaxHeaderBlock) return fail(431, "header block larger than 64 KiB");
        if (parseHeaderBlock(crlf + 4) == State::Error) return state_;
    }
    const auto have = buffer_.size() - request_.header_block.size();
    if (have >= content_length_) {
        request_.body = buffer_.substr(request_.header_block.size(), content_length_);
        excess_ = have - content_length_;
        buffer_.resize(request_.header_block.size() + content_length_);
        state_ = State::Complete;
    }
    return state_;
}

RequestReader::State RequestReader::parseHeaderBlock(std::size_t length) {
    headers_done_ = true;
    request_.header_block = buffer_.substr(0, length);
    std::string_view block(request_.header_block);
    block.remove_suffix(4);

    auto eol = block.find("\r\n");
    request_.request_line = std::string(block.substr(0, eol));
    std::string_view rest = eol == std::string_view::npos ? std::string_view{} : block.substr(eol + 2);

    const std::string_view line(request_.request_line);
    const auto sp1 = line.find(' ');
    const auto sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        return fail(400, "malformed request line");
    }
    request_.method = std::string(line.substr(0, sp1));
    request_.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    request_.version = std::string(line.substr(sp2 + 1));
    if (request_.method.empty() || request_.target.empty() || !request_.version.starts_with("HTTP/1.")) {
        return fail(400, "malformed request line");
    }
    if (line.find_first_of("\r\n") != std::string_view::npos) return fail(400, "bare CR or LF in request line");

    while (!rest.empty()) {
        eol = rest.find("\r\n");
        const auto header = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view{} : rest.substr(eol + 2);
        if (header.find_first_of("\r\n") != std::string_view::npos) return fail(400, "bare CR or LF in a header");
        if (!header.empty() && (header.front() == ' ' || header.front() == '\t')) {
            return fail(400, "folded header line");
        }
        const auto colon = header.find(':');
        if (colon == std::string_view::npos || colon == 0) return fail(400, "header line without a name");
        const auto name = header.substr(0, colon);
        if (!std::all_of(name.begin(), name.end(), [](char c) { return isTokenChar(static_cast<unsigned char>(c)); })) {
            return fail(400, "invalid header name");
        }
        request_.headers.emplace_back(std::string(name), std::string(trim(header.substr(colon + 1))));
    }

    if (request_.header("Transfer-Encoding")) return fail(501, "Transfer-Encoding in a request is not supported");
    std::optional<std::size_t> length_seen;
    for (const auto& [key, value] : request_.headers) {
        if (!equalsNoCase(key, "Content-Length")) continue;
        if (value.empty() || value.size() > 12 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return fail(400, "invalid Content-Length");
        }
        const auto parsed = static_cast<std::size_t>(std::stoull(value));
        if (length_seen && *length_seen != parsed) return fail(400, "conflicting Content-Length headers");
        length_seen = parsed;
    }
    if (!length_seen) return fail(411, "no Content-Length header");
    if (*length_seen > kMaxBody) return fail(413, "body larger than 1 MiB");
    content_length_ = *length_seen;
    return state_;
}

bool extractXmlPart(const HttpRequest& request, std::string& xml, std::string& error) {
    const std::string* content_type = request.header("Content-Type");
    if (!content_type) {
        error = "no Content-Type header";
        return false;
    }
    std::string media;
    std::vector<std::pair<std::string, std::string>> params;
    if (!splitContentType(*content_type, media, params) || !equalsNoCase(media, "multipart/form-data")) {
        error = "Content-Type is not multipart/form-data";
        return false;
    }
    const std::string* boundary = param(params, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 70) {
        error = "multipart Content-Type without a usable boundary";
        return false;
    }
    std::vector<Part> parts;
    if (!splitMultipart(request.body, *boundary, parts, error)) return false;

    const Part* chosen = parts.size() == 1 ? &parts.front() : nullptr;
    for (const auto& part : parts) {
        if (chosen) break;
        const std::string* type = part.header("Content-Type");
        const std::string* disposition = part.header("Content-Disposition");
        if ((type && (equalsNoCase(*type, "text/xml") || equalsNoCase(*type, "application/xml"))) ||
            (disposition && disposition->find("filename=") != std::string::npos)) {
            chosen = &part;
        }
    }
    if (!chosen) {
        error = parts.empty() ? "multipart body without parts" : "no XML part in the multipart body";
        return false;
    }
    xml = std::string(chosen->content);
    return true;
}

bool extractCallFields(std::string_view xml, CallFields& fields, std::string& error) {
    fields = CallFields{};
    XmlElement root;
    if (!parseXml(xml, root, error)) {
        error = "malformed XML: " + error;
        return false;
    }
    if (root.name != "ulvex_svc") {
        error = "root element is " + root.name + ", not ulvex_svc";
        return false;
    }
    const XmlElement* request = root.child("request");
    const std::string* service = request ? request->attribute("servicename") : nullptr;
    if (!service || *service != "clicktocall") {
        error = "not a clicktocall service request";
        return false;
    }
    const XmlElement* call = request->child("clicktocall");
    const XmlElement* user = call ? call->child("userinfo") : nullptr;
    const XmlElement* src = call ? call->child("srcinfo") : nullptr;
    const XmlElement* dest = call ? call->child("destinfo") : nullptr;
    if (user) {
        fields.stnnum = textOf(user->child("stnnum"));
        fields.userid = textOf(user->child("userid"));
        fields.userpwd = textOf(user->child("userpwd"));
    }
    if (src) fields.srcdialnum = textOf(src->child("dialnum"));
    if (dest) {
        if (const std::string* type = dest->attribute("calltype")) fields.calltype = *type;
        fields.destdialnum = textOf(dest->child("dialnum"));
    }
    if (!fields.stnnum || !fields.userid || !fields.userpwd) {
        error = "request without stnnum, userid or userpwd";
        return false;
    }
    if (!fields.calltype) {
        error = "request without destinfo calltype";
        return false;
    }
    return true;
}

}  // namespace exsim
