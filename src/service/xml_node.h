#pragma once
// One element of a parsed answer: name, text, attributes and children.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pellandor {

class XmlNode final {
public:
    explicit XmlNode(XmlNode* parent = nullptr);
    virtual ~XmlNode();
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;

    // The first element called `name` in document order (this node first,
    // then its subtrees depth first): its text, or with `attribute` that
    // attribute's value. Null when there is none. The pointer lives as long
    // as the tree. names compare exactly, case included.
    const std::string* findValue(const char* name, const char* attribute = nullptr) const;

    XmlNode* addChild();

    std::string name;
    std::string text;  // the last piece of character data seen inside the element
    std::map<std::string, std::string> attributes;
    std::vector<std::unique_ptr<XmlNode>> children;
    XmlNode* parent = nullptr;
    std::int32_t depth = 0;
};

}  // namespace pellandor
