#include "service/answer_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace pellandor {
namespace {

struct LookupCase {
    const char* xml;
    const char* name;
    const char* attribute;
    const char* expected;  // null: not found
};

class XmlLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(XmlLookup, FindsFirstMatchInDocumentOrder) {
    const LookupCase& c = GetParam();
    AnswerParser parser;
    ASSERT_TRUE(parser.parse(c.xml)) << parser.getErrorText();
    ASSERT_NE(parser.root(), nullptr);
    const std::string* value = parser.root()->findValue(c.name, c.attribute);
    if (c.expected == nullptr) {
        EXPECT_EQ(value, nullptr);
    } else {
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(*value, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlLookup,
    ::testing::Values(
        LookupCase{"<r><code>100</code><message>ok</message></r>", "code", nullptr, "100"},
        // pre-order: the deeper element that comes first wins over a later shallow one
        LookupCase{"<r><a><b><code>1</code></b></a><code>2</code></r>", "code", nullptr, "1"},
        // the last piece of character data wins: a comment splits the digits
        LookupCase{"<r><code>1<!-- x -->00</code></r>", "code", nullptr, "00"},
        LookupCase{"<r><code>1&amp;2</code></r>", "code", nullptr, "2"},
        LookupCase{"<r><code>100</code></r>", "Code", nullptr, nullptr},
        LookupCase{"<r><e k=\"v\" j=\"w\"/></r>", "e", "j", "w"}, LookupCase{"<r><e k=\"v\"/></r>", "e", nullptr, ""},
        LookupCase{"<r><e k=\"v\"/></r>", "e", "missing", nullptr}, LookupCase{"<r>text</r>", "r", nullptr, "text"},
        // white space after a child is the parent's last piece
        LookupCase{"<r>head<c/>\n</r>", "r", nullptr, "\n"},
        // the DTD named by the exchange's answers is never fetched
        LookupCase{"<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"UlvexService.dtd\"><r><code>101</code></r>", "code",
                   nullptr, "101"}));

TEST(XmlParser, ReportsExpatErrorWithLine) {
    struct Case {
        const char* xml;
        const char* error;
    } cases[] = {
        {"", "no element found at line 1"},
        {"<r>\n<a>\n</r>", "mismatched tag at line 3"},
        {"<r/><r/>", "junk after document element at line 1"},
    };
    for (const Case& c : cases) {
        AnswerParser parser;
        EXPECT_FALSE(parser.parse(c.xml)) << c.xml;
        EXPECT_EQ(parser.getErrorText(), c.error) << c.xml;
    }
}

TEST(XmlParser, KeepsTreeBuiltBeforeError) {
    AnswerParser parser;
    EXPECT_FALSE(parser.parse("<r><code>104</code><broken"));
    ASSERT_NE(parser.root(), nullptr);
    const std::string* code = parser.root()->findValue("code");
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(*code, "104");
}

TEST(XmlParser, ReparseReplacesTree) {
    AnswerParser parser;
    ASSERT_TRUE(parser.parse("<a><code>1</code></a>"));
    ASSERT_TRUE(parser.parse("<b/>"));
    EXPECT_EQ(parser.root()->name, "b");
    EXPECT_EQ(parser.root()->findValue("code"), nullptr);
    EXPECT_EQ(parser.root()->findValue(nullptr), nullptr);
}

TEST(XmlParser, TreeRecordsParentsAndDepth) {
    AnswerParser parser;
    ASSERT_TRUE(parser.parse("<r><a x=\"1\" x2=\"2\"><b/></a><c/></r>"));
    const XmlNode* root = parser.root();
    ASSERT_EQ(root->children.size(), 2u);
    const XmlNode& a = *root->children[0];
    EXPECT_EQ(a.name, "a");
    EXPECT_EQ(a.parent, root);
    EXPECT_EQ(a.depth, 1);
    EXPECT_EQ(a.attributes.size(), 2u);
    ASSERT_EQ(a.children.size(), 1u);
    EXPECT_EQ(a.children[0]->depth, 2);
    EXPECT_EQ(root->children[1]->name, "c");
}

// An answer is untrusted: very deep nesting must neither overflow the stack
// in the lookup nor when the tree is freed.
TEST(XmlParser, DeepNestingIsSafe) {
    constexpr int kDepth = 200000;
    std::string xml;
    for (int i = 0; i < kDepth; ++i) xml += "<a>";
    xml += "<code>7</code>";
    for (int i = 0; i < kDepth; ++i) xml += "</a>";
    auto parser = std::make_unique<AnswerParser>();
    ASSERT_TRUE(parser->parse(xml)) << parser->getErrorText();
    const std::string* code = parser->root()->findValue("code");
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(*code, "7");
    parser.reset();
}

}  // namespace
}  // namespace pellandor
