// The desktop program's text decisions: clipboard numbers, hotkey names,
// tel:/callto: links and which front a command line goes to.
#include "dialing/clipboard_number.h"
#include "desktop_logic/desktop_args.h"
#include "platform/hotkey_names.h"
#include "desktop_logic/instance_channel.h"
#include "desktop_logic/phone_uri.h"
#include "dialing/dialing_rules.h"
#include "call/call_press.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace pellandor {
namespace {

struct ClipboardCase {
    std::u16string copied;
    bool popupForChar;
    int minLength;
    std::optional<std::string> expected;
};

TEST(ClipboardNumberTest, DecidesWhatPopsUp) {
    const std::u16string thirty(30, u'1');
    const ClipboardCase cases[] = {
        {u"+82 (2) 555-1234", true, 3, "+82 (2) 555-1234"},
        {u"+82 (2) 555-1234", false, 3, "+82 (2) 555-1234"},
        // Letters only pass once the filter removes them.
        {u"Tele 5551234", false, 3, std::nullopt},
        {u"Tele 5551234", true, 3, " 5551234"},
        // 30 characters pass, 31 never do, even when filtering would shorten them.
        {thirty, true, 3, std::string(30, '1')},
        {thirty + u"1", true, 3, std::nullopt},
        {u"Please call 555 1234, after six", true, 3, std::nullopt},
        {u"Call me on 555 1234 after six", true, 3, "   555 1234  "},
        // Minimum length counts dial characters.
        {u"1234", true, 5, std::nullopt},
        {u"12345", true, 5, "12345"},
        {u"12-34", true, 5, std::nullopt},
        {u"1234*", true, 5, "1234*"},
        // Star and hash alone are no number; neither are separators alone.
        {u"*#*#", true, 1, std::nullopt},
        {u"\r\n", true, 1, std::nullopt},
        {u"?", false, 1, std::nullopt},
        // Separators become spaces; the text is not trimmed.
        {u"555\r\n1234\n", true, 3, "555  1234 "},
        {u"555?1234", false, 3, "555 1234"},
        // Non-ASCII: removed by the filter, refused without it.
        {u"\u260E 555-1234", true, 3, " 555-1234"},
        {u"\u260E 555-1234", false, 3, std::nullopt},
        {u"\uFF15\uFF15\uFF15\uFF11\uFF12\uFF13", true, 1, std::nullopt},
        {u"\U0001F4DE5551234", false, 3, std::nullopt},
        // A negative minimum compares as a huge one.
        {u"5551234", true, -1, std::nullopt},
    };
    for (const ClipboardCase& c : cases) {
        DialingRules rules;
        rules.usePopupForChar = c.popupForChar;
        rules.minPopupLength = c.minLength;
        EXPECT_EQ(clipboardNumber(c.copied, rules), c.expected)
            << "copied: " << utf16ToUtf8(c.copied) << " filter " << c.popupForChar << " min " << c.minLength;
    }
}

TEST(ClipboardNumberTest, Utf16ConversionHandlesSurrogates) {
    EXPECT_EQ(utf16ToUtf8(u"a\u00e4\u260e\U0001F4DE"), "a\xc3\xa4\xe2\x98\x8e\xf0\x9f\x93\x9e");
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"1"),
              "\xef\xbf\xbd"
              "1");
    EXPECT_EQ(utf8ToUtf16("a\xc3\xa4\xe2\x98\x8e\xf0\x9f\x93\x9e"), u"a\u00e4\u260e\U0001F4DE");
    // Stray, overlong, surrogate and cut-off sequences each give one U+FFFD per byte.
    EXPECT_EQ(utf8ToUtf16("\x80"
                          "1\xc0\xaf"
                          "2\xed\xa0\x80"
                          "3\xe2\x80"),
              u"\uFFFD1\uFFFD\uFFFD2\uFFFD\uFFFD\uFFFD3\uFFFD\uFFFD");
}

// "U+202E 4321-555 U+202C" shows as 555-1234 and would dial 4321555.
TEST(ClipboardNumberTest, DirectionControlsNeverGiveANumber) {
    DialingRules rules;
    rules.usePopupForChar = true;
    rules.minPopupLength = 3;
    for (const char16_t control : {u'\u061C', u'\u200E', u'\u200F', u'\u202A', u'\u202B', u'\u202C', u'\u202D',
                                   u'\u202E', u'\u2066', u'\u2067', u'\u2068', u'\u2069'}) {
        const std::u16string copied = std::u16string(1, control) + u"4321-555" + u"\u202C";
        const std::string utf8 = utf16ToUtf8(copied);
        SCOPED_TRACE(int(control));
        EXPECT_EQ(clipboardNumber(copied, rules), std::nullopt);
        rules.usePopupForChar = false;
        EXPECT_EQ(clipboardNumber(copied, rules), std::nullopt);
        rules.usePopupForChar = true;
        const Result<std::string> number = numberToDial(utf8);
        ASSERT_FALSE(number);
        EXPECT_NE(number.error().find("direction controls"), std::string::npos) << number.error();
        std::string encoded = "tel:";
        for (const unsigned char c : utf8) {
            static const char kHex[] = "0123456789ABCDEF";
            encoded += {'%', kHex[c >> 4], kHex[c & 15]};
        }
        EXPECT_NE(parsePhoneUri(encoded).error().find("direction controls"), std::string::npos) << encoded;
        // Typed or pasted into the number box, then Call.
        EXPECT_EQ(callDestination(utf8, rules), std::nullopt);
    }
    EXPECT_EQ(clipboardNumber(u"555-1234", rules), "555-1234");
    EXPECT_FALSE(hasBidiControl(u"\u2065\u2070\u202F\u200D 555"));
}

TEST(HotkeyNamesTest, MapsNamesExactly) {
    const std::pair<const char*, std::uint32_t> modifiers[] = {{"CTRL", 2}, {"ALT", 1}, {"SHIFT", 4}, {"WIN", 8},
                                                               {"ctrl", 0}, {"Alt", 0}, {"", 0},      {"CTRL ", 0}};
    for (const auto& [name, flags] : modifiers) EXPECT_EQ(hotkeyModifierFlags(name), flags) << name;

    const std::pair<const char*, std::uint32_t> keys[] = {
        {"A", 65},  {"Q", 81},  {"Z", 90}, {"0", 48},  {"9", 57}, {"f1", 112}, {"f10", 121}, {"f12", 123},
        {"F10", 0}, {"f13", 0}, {"f0", 0}, {"f01", 0}, {"a", 0},  {"AB", 0},   {"", 0},      {"f", 0}};
    for (const auto& [name, vk] : keys) EXPECT_EQ(hotkeyVirtualKey(name), vk) << name;
}

TEST(HotkeyNamesTest, TranslatesToX11) {
    EXPECT_EQ(keysymForVirtualKey(hotkeyVirtualKey("Q")), 0x71u);  // XK_q
    EXPECT_EQ(keysymForVirtualKey(hotkeyVirtualKey("7")), 0x37u);
    EXPECT_EQ(keysymForVirtualKey(hotkeyVirtualKey("f1")), 0xFFBEu);
    EXPECT_EQ(keysymForVirtualKey(hotkeyVirtualKey("f12")), 0xFFC9u);
    EXPECT_EQ(keysymForVirtualKey(0), 0u);
    EXPECT_EQ(x11ModifierMask(hotkeyModifierFlags("ALT")), 8);
    EXPECT_EQ(x11ModifierMask(hotkeyModifierFlags("CTRL")), 4);
    EXPECT_EQ(x11ModifierMask(hotkeyModifierFlags("SHIFT")), 1);
    EXPECT_EQ(x11ModifierMask(hotkeyModifierFlags("WIN")), 64);
    EXPECT_EQ(hotkeyDisplayName("ALT", "Q"), "Alt+Q");
    EXPECT_EQ(hotkeyDisplayName("CTRL", "f10"), "Ctrl+F10");
    // The desktop portal's notation; nothing for names the settings do not know.
    EXPECT_EQ(portalTrigger("ALT", "Q"), "ALT+q");
    EXPECT_EQ(portalTrigger("WIN", "f12"), "LOGO+F12");
    EXPECT_EQ(portalTrigger("SHIFT", "7"), "SHIFT+7");
    EXPECT_EQ(portalTrigger("alt", "Q"), "");
    EXPECT_EQ(portalTrigger("CTRL", "F1"), "");
}

TEST(PhoneUriTest, ParsesWhatADiallerNeeds) {
    const std::pair<std::string, std::string> good[] = {
        {"tel:+1-415-555-0177", "+1-415-555-0177"},
        {"TEL:+1.415.555.0177", "+1-415-555-0177"},
        {"tel:+1-415-555-0177;ext=12", "+1-415-555-0177"},
        {"tel:7042;phone-context=example.com", "7042"},
        {"tel:%2B1%20(415)%20555-0177", "+1 (415) 555-0177"},
        {"tel://+1-415-555-0177", "+1-415-555-0177"},
        {"callto:+14155550177", "+14155550177"},
        {"CallTo://+14155550177?call", "+14155550177"},
        {"tel:*31%23", "*31#"},
        {"tel:%20555%201234%20", "555 1234"},
        // A decoded line break is a blank mark: it cannot split the hand-over line.
        {"tel:555%0A1234", "555 1234"},
    };
    for (const auto& [uri, number] : good) {
        const Result<std::string> r = parsePhoneUri(uri);
        ASSERT_TRUE(r) << uri << ": " << r.error();
        EXPECT_EQ(*r, number) << uri;
    }
    const std::string bad[] = {
        "tel:",
        "tel:;ext=1",
        "tel:abc",
        "tel:+1-415-CALL-NOW",
        "tel:%zz12",
        "tel:12%4",
        "tel:%00123",
        "tel:" + std::string(31, '5'),
        "tel:" + std::string(kMaxPhoneUriLength, '5'),
        "mailto:555",
        "555",
    };
    for (const std::string& uri : bad) {
        const Result<std::string> r = parsePhoneUri(uri);
        EXPECT_FALSE(r) << uri;
        EXPECT_FALSE(r.error().empty()) << uri;
    }
    EXPECT_NE(parsePhoneUri("tel:" + std::string(kMaxPhoneUriLength, '5')).error().find("longer"), std::string::npos);
}

TEST(PhoneUriTest, LinkDialsWhatCopyingTheNumberDials) {
    DialingRules rules;  // a North American plan
    rules.coAccessCode = "9";
    rules.myCountryCode = "1";
    rules.myAreaCode = "212";
    rules.internationalCode = "011";
    rules.longDistanceCode = "1";
    rules.usePopupForChar = true;
    rules.minPopupLength = 3;
    for (const char* number : {"+1-415-555-0177", "+44 (20) 7946-0018", "555-0177"}) {
        const std::string link = std::string("tel:") + number;
        const Result<std::string> parsed = parsePhoneUri(link);
        std::u16string copied;
        for (const char* p = number; *p; ++p) copied += char16_t(*p);
        const std::optional<std::string> clip = clipboardNumber(copied, rules);
        ASSERT_TRUE(parsed && clip) << number;
        EXPECT_EQ(*parsed, *clip);
        EXPECT_EQ(rules.buildDialString(*parsed), rules.buildDialString(*clip));
    }
}

TEST(DesktopArgsTest, RoutesEachCommandLine) {
    using Kind = DesktopRequest::Kind;
    struct Case {
        std::vector<std::string> args;
        Kind kind;
        std::string line;
        int exitCode;
    };
    const Case cases[] = {
        {{}, Kind::Desktop, "show", 0},
        {{"--settings", "/tmp/x.ini"}, Kind::Desktop, "show", 0},
        {{"dial", "+1", "(415)", "555-0177"}, Kind::Desktop, "dial +1 (415) 555-0177", 0},
        {{"dial", "tel:+1.415.555.0177"}, Kind::Desktop, "dial +1-415-555-0177", 0},
        {{"tel:+1-415-555-0177;ext=7"}, Kind::Desktop, "dial +1-415-555-0177", 0},
        {{"--settings", "/tmp/x.ini", "callto:5551234"}, Kind::Desktop, "dial 5551234", 0},
        {{"callto:alice"}, Kind::Error, "", 3},
        {{"dial", "abc"}, Kind::Error, "", 3},
        {{"dial"}, Kind::Error, "", 1},
        {{"tel:1", "2"}, Kind::Error, "", 1},
        {{"--demo"}, Kind::Demo, "", 0},
        {{"--demo", "x"}, Kind::Error, "", 1},
        {{"call", "123"}, Kind::Cli, "", 0},
        {{"config", "list"}, Kind::Cli, "", 0},
        {{"--help"}, Kind::Cli, "", 0},
        {{"--bogus"}, Kind::Cli, "", 0},
        {{"frobnicate"}, Kind::Cli, "", 0},
        {{"--", "--demo"}, Kind::Cli, "", 0},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        const DesktopRequest r = classifyCommandLine(c.args);
        EXPECT_EQ(r.kind, c.kind) << joined;
        EXPECT_EQ(r.line, c.line) << joined;
        EXPECT_EQ(r.exitCode, c.exitCode) << joined;
    }
    EXPECT_EQ(classifyCommandLine({"--settings", "/tmp/x.ini"}).settings, "/tmp/x.ini");
}

class InstanceChannelTest : public test::ScratchFolder {};

TEST_F(InstanceChannelTest, TellsMissingFromSilentListener) {
    const std::string path = instanceSocketPath(dir_.string());
    EXPECT_EQ(sendToRunningInstance(path, "show", 1000), InstanceSend::NoListener);

    // A listener that never answers must not hang the second start.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    EXPECT_EQ(sendToRunningInstance(path, "show", 200), InstanceSend::NoAnswer);
    ::close(fd);
    // The socket file a dead listener left behind.
    EXPECT_EQ(sendToRunningInstance(path, "show", 1000), InstanceSend::NoListener);
}

TEST_F(InstanceChannelTest, RuntimeFolderIsPrivate) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::chmod(dir_.c_str(), 0700);
    const Result<std::string> own = instanceRuntimeDir();
    ASSERT_TRUE(own) << own.error();
    EXPECT_EQ(*own, dir_.string());
    // A folder others may write to is not used for the socket.
    ::chmod(dir_.c_str(), 0777);
    const Result<std::string> fallback = instanceRuntimeDir();
    ASSERT_TRUE(fallback) << fallback.error();
    EXPECT_NE(*fallback, dir_.string());
    EXPECT_EQ(fallback->rfind("/tmp/pellandor-", 0), 0u);
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_NE(instanceSocketPath("/d").find(std::to_string(::getuid())), std::string::npos);
}

}  // namespace
}  // namespace pellandor
