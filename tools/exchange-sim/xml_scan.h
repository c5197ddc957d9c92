#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace exsim {

// A small, strict, non-validating XML reader: enough to take a request apart
// and to reject what a real exchange would reject. It does its own scanning on
// purpose; the client under test uses a different parser.
struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // document order, decoded
    std::string text;  // all character data directly inside this element, decoded
    std::vector<XmlElement> children;

    const XmlElement* child(std::string_view child_name) const;
    const std::string* attribute(std::string_view attribute_name) const;
};

// Parses a whole document. On failure `error` says what and at which byte offset.
bool parseXml(std::string_view document, XmlElement& root, std::string& error);

// Decodes the five predefined entities and numeric character references
// (as UTF-8). Fails on an unknown entity or a bare '&'.
bool decodeXmlText(std::string_view raw, std::string& out, std::string& error);

}  // namespace exsim
