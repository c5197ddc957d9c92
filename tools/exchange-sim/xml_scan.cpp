#include "xml_scan.h"

#include <cstdint>

namespace exsim {

const XmlElement* XmlElement::child(std::string_view child_name) const {
    for (const auto& child : children) {
        if (child.name == child_name) return &child;
    }
    return nullptr;
}

const std::string* XmlElement::attribute(std::string_view attribute_name) const {
    for (const auto& [key, value] : attributes) {
        if (key == attribute_name) return &value;
    }
    return nullptr;
}

namespace {

void appendUtf8(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool decodeCharRef(std::string_view ref, std::uint32_t& cp) {
    // ref is what sits between "&#" and ";"
    int base = 10;
    if (!ref.empty() && ref.front() == 'x') {
        base = 16;
        ref.remove_prefix(1);
    }
    if (ref.empty() || ref.size() > 8) return false;
    std::uint32_t value = 0;
    for (char c : ref) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    // Only characters XML allows.
    const bool allowed = value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF) ||
                         (value >= 0xE000 && value <= 0xFFFD) || (value >= 0x10000 && value <= 0x10FFFF);
    if (!allowed) return false;
    cp = value;
    return true;
}

bool isNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameChar(unsigned char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Scanner final {
public:
    explicit Scanner(std::string_view doc) : doc_(doc) {}

    bool document(XmlElement& root) {
        if (doc_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
        if (!misc(true)) return false;
        if (atEnd() || doc_[pos_] != '<') return fail("no root element");
        if (!parseElement(root, 0)) return false;
        if (!misc(false)) return false;
        if (!atEnd()) return fail("content after the root element");
        return true;
    }

    const std::string& error() const { return error_; }

private:
    static constexpr int kMaxDepth = 64;

    bool atEnd() const { return pos_ >= doc_.size(); }
    bool lookingAt(std::string_view s) const { return doc_.substr(pos_).starts_with(s); }
    void skipSpace() {
        while (!atEnd() && isSpace(doc_[pos_])) ++pos_;
    }

    bool fail(std::string_view what) {
        error_ = std::string(what) + " at offset " + std::to_string(pos_);
        return false;
    }

    // Skips up to and including `terminator`.
    bool skipPast(std::string_view terminator, std::string_view what) {
        const auto end = doc_.find(terminator, pos_);
        if (end == std::string_view::npos) return fail(std::string("unterminated ") + std::string(what));
        pos_ = end + terminator.size();
        return true;
    }

    // Comments, processing instructions and white space around the root; the
    // prolog may also hold one DOCTYPE (whose DTD is never fetched).
    bool misc(bool prolog) {
        bool seen_doctype = false;
        for (;;) {
            skipSpace();
            if (lookingAt("<?")) {
                if (!skipPast("?>", "processing instruction")) return false;
            } else if (lookingAt("<!--")) {
                if (!skipPast("-->", "comment")) return false;
            } else if (prolog && !seen_doctype && lookingAt("<!DOCTYPE")) {
                if (!doctype()) return false;
                seen_doctype = true;
            } else {
                return true;
            }
        }
    }

    bool doctype() {
        pos_ += 9;
        char quote = 0;
        int bracket = 0;
        for (; !atEnd(); ++pos_) {
            const char c = doc_[pos_];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[') {
                ++bracket;
            } else if (c == ']') {
                --bracket;
            } else if (c == '>' && bracket <= 0) {
                ++pos_;
                return true;
            }
        }
        return fail("unterminated DOCTYPE");
    }

    bool parseName(std::string& name) {
        const auto start = pos_;
        if (atEnd() || !isNameStart(static_cast<unsigned char>(doc_[pos_]))) return fail("name expected");
        while (!atEnd() && isNameChar(static_cast<unsigned char>(doc_[pos_]))) ++pos_;
        name.assign(doc_.substr(start, pos_ - start));
        return true;
    }

    bool decode(std::string_view raw, std::string& out) {
        std::string why;
        if (decodeXmlText(raw, out, why)) return true;
        return fail(why);
    }

    bool parseElement(XmlElement& element, int depth) {
        if (depth > kMaxDepth) return fail("elements nested too deeply");
        ++pos_;  // '<'
        if (!parseName(element.name)) return false;
        for (;;) {
            const bool had_space = !atEnd() && isSpace(doc_[pos_]);
            skipSpace();
            if (atEnd()) return fail("unterminated start tag");
            if (lookingAt("/>")) {
                pos_ += 2;
                return true;
            }
            if (doc_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (!had_space) return fail("white space expected before attribute");
            std::string key;
            if (!parseName(key)) return false;
            skipSpace();
            if (atEnd() || doc_[pos_] != '=') return fail("'=' expected after attribute name");
            ++pos_;
            skipSpace();
            if (atEnd() || (doc_[pos_] != '"' && doc_[pos_] != '\'')) return fail("quoted attribute value expected");
            const char quote = doc_[pos_++];
            const auto end = doc_.find(quote, pos_);
            if (end == std::string_view::npos) return fail("unterminated attribute value");
            const auto raw = doc_.substr(pos_, end - pos_);
            if (raw.find('<') != std::string_view::npos) return fail("'<' in attribute value");
            std::string value;
            if (!decode(raw, value)) return false;
            if (element.attribute(key)) return fail("duplicate attribute " + key);
            element.attributes.emplace_back(std::move(key), std::move(value));
            pos_ = end + 1;
        }

        for (;;) {
            if (atEnd()) return fail("missing end tag for " + element.name);
            if (lookingAt("</")) {
                pos_ += 2;
                std::string name;
                if (!parseName(name)) return false;
                if (name != element.name) return fail("end tag " + name + " does not match " + element.name);
                skipSpace();
                if (atEnd() || doc_[pos_] != '>') return fail("'>' expected in end tag");
                ++pos_;
                return true;
            }
            if (lookingAt("<!--")) {
                if (!skipPast("-->", "comment")) return false;
            } else if (lookingAt("<![CDATA[")) {
                pos_ += 9;
                const auto end = doc_.find("]]>", pos_);
                if (end == std::string_view::npos) return fail("unterminated CDATA section");
                element.text.append(doc_.substr(pos_, end - pos_));
                pos_ = end + 3;
            } else if (lookingAt("<?")) {
                if (!skipPast("?>", "processing instruction")) return false;
            } else if (doc_[pos_] == '<') {
                element.children.emplace_back();
                if (!parseElement(element.children.back(), depth + 1)) return false;
            } else {
                auto end = doc_.find('<', pos_);
                if (end == std::string_view::npos) end = doc_.size();
                std::string text;
                if (!decode(doc_.substr(pos_, end - pos_), text)) return false;
                element.text += text;
                pos_ = end;
            }
        }
    }

    std::string_view doc_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

bool decodeXmlText(std::string_view raw, std::string& out, std::string& error) {
    out.clear();
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const auto semi = raw.find(';', i);
        if (semi == std::string_view::npos) {
            error = "bare '&' in text";
            return false;
        }
        const auto ref = raw.substr(i + 1, semi - i - 1);
        if (ref == "amp")
            out += '&';
        else if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (ref.starts_with('#')) {
            std::uint32_t cp = 0;
            if (!decodeCharRef(ref.substr(1), cp)) {
                error = "invalid character reference &" + std::string(ref) + ";";
                return false;
            }
            appendUtf8(cp, out);
        } else {
            // Also catches a bare '&' followed later by some unrelated ';'.
            error = "undefined entity &" + std::string(ref.substr(0, 32)) + ";";
            return false;
        }
        i = semi;
    }
    return true;
}

bool parseXml(std::string_view document, XmlElement& root, std::string& error) {
    root = XmlElement{};
    Scanner scanner(document);
    if (scanner.document(root)) return true;
    error = scanner.error();
    return false;
}

}  // namespace exsim
