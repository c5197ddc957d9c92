#include "service/answer_parser.h"

#include <expat.h>

#include <algorithm>
#include <climits>

namespace pellandor {

namespace {
struct ExpatFree {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ExpatParser = std::unique_ptr<XML_ParserStruct, ExpatFree>;
}  // namespace

bool AnswerParser::parse(std::string_view text) {
    root_.reset();
    current_ = nullptr;

    ExpatParser parser(XML_ParserCreate(nullptr));
    if (!parser) return false;
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(parser.get(), &AnswerParser::onStart, &AnswerParser::onEnd);
    XML_SetCharacterDataHandler(parser.get(), &AnswerParser::onText);

    // expat takes an int length; feed very long texts in slices.
    constexpr std::size_t kSlice = INT_MAX / 2;
    bool ok = true;
    do {
        const std::size_t n = std::min(text.size(), kSlice);
        const bool last = n == text.size();
        if (XML_Parse(parser.get(), text.data(), static_cast<int>(n), last ? 1 : 0) == XML_STATUS_ERROR) {
            ok = false;
            break;
        }
        text.remove_prefix(n);
    } while (!text.empty());

    if (!ok) {
        if (const char* message = XML_ErrorString(XML_GetErrorCode(parser.get()))) {
            errors_ += message;
            errors_ += " at line " + std::to_string(XML_GetCurrentLineNumber(parser.get()));
        }
    }
    return ok;
}

void AnswerParser::onStart(void* self, const char* name, const char** attributes) {
    auto* parser = static_cast<AnswerParser*>(self);
    XmlNode* node = nullptr;
    if (!parser->root_) {
        parser->root_ = std::make_unique<XmlNode>();
        node = parser->root_.get();
    } else if (parser->current_ != nullptr) {
        node = parser->current_->addChild();
    } else {
        return;  // expat rejects a second top-level element before we get here
    }
    parser->current_ = node;
    node->name = name;
    for (const char** pair = attributes; pair != nullptr && pair[0] != nullptr; pair += 2) {
        // emplace keeps the first value of a repeated name
        node->attributes.emplace(pair[0], pair[1] != nullptr ? pair[1] : "");
    }
}

void AnswerParser::onEnd(void* self, const char*) {
    auto* parser = static_cast<AnswerParser*>(self);
    if (parser->current_ != nullptr) parser->current_ = parser->current_->parent;
}

void AnswerParser::onText(void* self, const char* bytes, int length) {
    auto* parser = static_cast<AnswerParser*>(self);
    // Each piece replaces the last: the answers we read hold a single piece.
    if (parser->current_ != nullptr) parser->current_->text.assign(bytes, static_cast<std::size_t>(length));
}

}  // namespace pellandor
