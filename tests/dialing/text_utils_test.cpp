#include "dialing/text_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellandor {
namespace {

using namespace std::string_literals;

constexpr std::string_view kPartSeparators = "[/-() ]";

struct TrimCase {
    std::string text;
    std::string expected;
};

TEST(trimBlanks, Table) {
    const TrimCase cases[] = {
        {"\t12\n", "12"},
        {"   ", "   "},  // all blank: returned unchanged, not emptied
        {"\r\n\t ", "\r\n\t "},
        {"", ""},
        {" 1 2 ", "1 2"},      // inner blanks stay
        {"\v12\v", "\v12\v"},  // VT is not in the blank set
        {"x", "x"},
        {"\r\n abc \t\r\n", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trimBlanks(c.text), c.expected) << "input: [" << c.text << "]";
    }
}

TEST(extractDialCharacters, Table) {
    EXPECT_EQ(extractDialCharacters("+82 (31) 1*2#-a"), "82311*2#");
    EXPECT_EQ(extractDialCharacters(""), "");
    EXPECT_EQ(extractDialCharacters("abc"), "");
    EXPECT_EQ(extractDialCharacters("0123456789*#"), "0123456789*#");
    EXPECT_EQ(extractDialCharacters("\xC3\xA9"
                                    "1\xFF"
                                    "2"),
              "12");  // high bytes dropped
}

struct SplitCase {
    std::string text;
    std::string separators;
    std::vector<std::string> expected;
};

TEST(splitAtAny, Table) {
    const std::string seps(kPartSeparators);
    const SplitCase cases[] = {
        {"(02) 123-4567", seps, {"", "02", "", "123", "4567"}},
        {"12345", seps, {"12345"}},
        {"123-", seps, {"123", ""}},
        {"-123", seps, {"", "123"}},
        {"", seps, {""}},
        {"--", seps, {"", "", ""}},
        {"[1]/2", seps, {"", "1", "", "2"}},
        {"a,b;c", ",;", {"a", "b", "c"}},
        {"a-b", "", {"a-b"}},  // no separators: nothing to cut at
        {"a\0b"s, "\0"s, {"a", "b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitAtAny(c.text, c.separators), c.expected) << "input: [" << c.text << "]";
    }
}

TEST(splitAtAny, SeparatorCountPlusOnePieces) {
    const std::string text = "+1 (212) 555-1234 [x]/y";
    std::size_t separators = 0;
    for (char ch : text) separators += kPartSeparators.find(ch) != std::string_view::npos;
    EXPECT_EQ(splitAtAny(text, kPartSeparators).size(), separators + 1);
}

struct ReplaceCase {
    std::string text;
    char marker;
    std::string replacement;
    std::string expected;
};

TEST(replaceCharacter, Table) {
    const ReplaceCase cases[] =
        {
            {"=12=", '=', "5", "5125"},    {"=12=", '=', "", "12"},
            {"=12=", '=', "==", "==12=="},  // inserted text is not scanned again
            {"a=b", '=', "x=y", "ax=yb"},  {"", '=', "5", ""},
            {"123", '=', "5", "123"},      {"ppp", 'p', "P", "PPP"},
        };
    for (const auto& c : cases) {
        EXPECT_EQ(replaceCharacter(c.text, c.marker, c.replacement), c.expected)
            << "input: [" << c.text << "] marker " << c.marker;
    }
}

}  // namespace
}  // namespace pellandor
