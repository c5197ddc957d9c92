#pragma once
// Builds a CXMLNode tree from an XML text with expat.

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "service/xml_node.h"

namespace pellandor {

class CXMLParser {
public:
    CXMLParser() = default;
    virtual ~CXMLParser() = default;
    CXMLParser(const CXMLParser&) = delete;
    CXMLParser& operator=(const CXMLParser&) = delete;

    // True when the whole text is well-formed. On failure the tree built up
    // to the error stays, and the error text gains "<expat message> at line N".
    bool Parse(std::string_view text);
    std::string GetErrorText() const { return errors_.str(); }
    // Null when no element was seen.
    const CXMLNode* Root() const { return root_.get(); }

private:
    static void OnStart(void* self, const char* name, const char** attributes);
    static void OnEnd(void* self, const char* name);
    static void OnText(void* self, const char* bytes, int length);

    std::ostringstream errors_;
    std::unique_ptr<CXMLNode> root_;
    CXMLNode* current_ = nullptr;
};

}  // namespace pellandor
