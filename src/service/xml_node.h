#pragma once
// One element of a parsed answer: name, text, attributes and children.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pellandor {

class CXMLNode {
public:
    explicit CXMLNode(CXMLNode* parent = nullptr);
    virtual ~CXMLNode();
    CXMLNode(const CXMLNode&) = delete;
    CXMLNode& operator=(const CXMLNode&) = delete;

    // The first element called `name` in document order (this node first,
    // then its subtrees depth first): its text, or with `attribute` that
    // attribute's value. Null when there is none. The pointer lives as long
    // as the tree. Names compare exactly, case included.
    const std::string* FindValue(const char* name, const char* attribute = nullptr) const;

    CXMLNode* AddChild();

    std::string name;
    std::string text;  // the last piece of character data seen inside the element
    std::map<std::string, std::string> attributes;
    std::vector<std::unique_ptr<CXMLNode>> children;
    CXMLNode* parent = nullptr;
    std::int32_t depth = 0;
};

}  // namespace pellandor
