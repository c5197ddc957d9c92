#pragma once
// Builds a XmlNode tree from an XML text with expat.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "service/xml_node.h"

namespace pellandor {

class AnswerParser final {
public:
    AnswerParser() = default;
    virtual ~AnswerParser() = default;
    AnswerParser(const AnswerParser&) = delete;
    AnswerParser& operator=(const AnswerParser&) = delete;

    // True when the whole text is well-formed. On failure the tree built up
    // to the error stays, and the error text gains "<expat message> at line N".
    bool parse(std::string_view text);
    std::string getErrorText() const { return errors_; }
    // Null when no element was seen.
    const XmlNode* root() const { return root_.get(); }

private:
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onText(void* self, const char* bytes, int length);

    // A string, not a stream: streams bring the C++ locale machinery into
    // every program that links the exchange client.
    std::string errors_;
    std::unique_ptr<XmlNode> root_;
    XmlNode* current_ = nullptr;
};

}  // namespace pellandor
