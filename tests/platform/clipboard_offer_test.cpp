#include "platform/wayland/clipboard_offer.h"

#include <gtest/gtest.h>

namespace pellandor {
namespace {

TEST(ClipboardOffer, PicksUtf8TextBeforeOtherFormats) {
    struct Case {
        std::vector<std::string> types;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        // What wl-copy offers for a text.
        {{"text/plain", "text/plain;charset=utf-8", "TEXT", "STRING", "UTF8_STRING"}, "text/plain;charset=utf-8"},
        // An X11 program through XWayland.
        {{"TARGETS", "STRING", "UTF8_STRING"}, "UTF8_STRING"},
        {{"image/png", "STRING"}, "STRING"},
        {{"text/html", "text/plain;charset=UTF-8"}, "text/plain;charset=UTF-8"},
        {{"image/png", "text/html", std::string(kPasswordHintType)}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(pickTextType(c.types), c.expected) << c.types.size();
}

TEST(ClipboardOffer, OnlyTheWordSecretMarksASecret) {
    EXPECT_TRUE(isSecretHint("secret"));
    EXPECT_TRUE(isSecretHint(" secret\n"));
    EXPECT_TRUE(isSecretHint(std::string_view("secret\0", 7)));
    EXPECT_FALSE(isSecretHint(""));
    EXPECT_FALSE(isSecretHint("not secret"));
    EXPECT_FALSE(isSecretHint("Secret"));
}

TEST(ClipboardOffer, ReadBoundCoversTheLongestNumberInEachEncoding) {
    // 30 UTF-16 units: three bytes each at most in UTF-8, one in Latin-1.
    EXPECT_EQ(maxTextBytes("text/plain;charset=utf-8", 30), 90u);
    EXPECT_EQ(maxTextBytes("UTF8_STRING", 30), 90u);
    EXPECT_EQ(maxTextBytes("STRING", 30), 30u);
    EXPECT_EQ(maxTextBytes("STRING", -1), 0u);
}

}  // namespace
}  // namespace pellandor
