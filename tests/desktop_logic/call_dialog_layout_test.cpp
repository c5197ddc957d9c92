// The call dialog's shared decisions: layouts, placement, typed keys and the
// presentation of a finished request; the settings dialogs' list choices.
#include "desktop_logic/call_dialog_layout.h"
#include "desktop_logic/settings_choices.h"
#include "desktop_logic/trust_display.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pellandor {
namespace {

struct LayoutCase {
    bool full;
    bool hangup;
    Size size;
    Rect box;
    Rect call;
    std::optional<Rect> hangupButton;
};

TEST(CallDialogLayout, BoxNarrowsAndHangupAppearsOnlyWithHangup) {
    const LayoutCase cases[] = {
        {true, false, {282, 94}, {14, 47, 219, 23}, {233, 41, 39, 45}, std::nullopt},
        {true, true, {282, 94}, {14, 47, 180, 23}, {194, 41, 39, 45}, Rect{233, 41, 39, 45}},
        {false, false, {280, 51}, {11, 10, 206, 23}, {217, 7, 37, 37}, std::nullopt},
        {false, true, {280, 51}, {11, 10, 168, 23}, {180, 7, 37, 37}, Rect{217, 7, 37, 37}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(std::string(c.full ? "full" : "small") + (c.hangup ? ", hang-up" : ""));
        EXPECT_EQ(dialogSize(c.full), c.size);
        EXPECT_EQ(itemGeometry(DlgItem::NumberBox, c.full, c.hangup), c.box);
        EXPECT_EQ(itemGeometry(c.full ? DlgItem::Call : DlgItem::CallMin, c.full, c.hangup), c.call);
        EXPECT_EQ(itemGeometry(c.full ? DlgItem::Hangup : DlgItem::HangupMin, c.full, c.hangup), c.hangupButton);
        // The other layout's buttons are hidden.
        const std::vector<DlgItem> fullOnly{DlgItem::Call, DlgItem::Hangup, DlgItem::Minimize, DlgItem::Exit};
        const std::vector<DlgItem> smallOnly{DlgItem::CallMin, DlgItem::HangupMin, DlgItem::Maximize, DlgItem::ExitMin};
        for (const DlgItem other : c.full ? smallOnly : fullOnly)
            EXPECT_EQ(itemGeometry(other, c.full, c.hangup), std::nullopt);
    }
}

struct PlaceCase {
    const char* name;
    Point point;
    std::optional<Rect> workArea;
    Point expected;
};

TEST(CallDialogLayout, PlaceAtPointerKeepsTheDialogInTheWorkArea) {
    const std::optional<Rect> screen(Rect{0, 0, 1920, 1050});
    const std::optional<Rect> right(Rect{1920, 30, 1280, 994});
    const PlaceCase cases[] = {
        {"middle: top-right corner at the pointer", {1000, 500}, screen, {718, 500}},
        {"left edge", {100, 500}, screen, {0, 500}},
        {"bottom edge", {1000, 1040}, screen, {718, 956}},
        {"bottom-left corner", {5, 1049}, screen, {0, 956}},
        {"second screen, left edge", {1930, 500}, right, {1920, 500}},
        {"second screen, over its top panel", {2500, 10}, right, {2218, 30}},
        {"no screen, positive", {5000, 3000}, std::nullopt, {4436, 2906}},
        {"no screen, negative", {-100, -300}, std::nullopt, {-100, -206}},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(placeAtPointer(c.point, kFullDialogSize, c.workArea), c.expected);
    }
}

struct WithoutPointerCase {
    const char* name;
    std::optional<Point> trayPoint;
    Point saved;
    Point expected;
};

TEST(CallDialogLayout, PlaceWithoutPointerNeverCentres) {
    // A panel along the bottom: the work area ends above it.
    const WithoutPointerCase cases[] = {
        {"tray click at the bottom right, kept above the panel", Point{1900, 1065}, {300, 200}, {1618, 956}},
        {"tray click at the top left", Point{40, 10}, {}, {0, 10}},
        {"no tray point: where it was", std::nullopt, {300, 200}, {300, 200}},
        {"never placed: bottom-right corner", std::nullopt, {0, 0}, {1638, 956}},
        {"saved place off every screen: corner", std::nullopt, {5000, 200}, {1638, 956}},
        {"saved place half off the bottom: pulled in", std::nullopt, {500, 1000}, {500, 956}},
    };
    for (const WithoutPointerCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(placeWithoutPointer(c.trayPoint, c.saved, kFullDialogSize, Rect{0, 0, 1920, 1050}), c.expected);
    }
}

TEST(CallDialogLayout, KeepInsidePullsAMovedWindowBack) {
    const Rect area{0, 0, 1024, 738};
    EXPECT_EQ(keepInside(Rect{900, 700, 282, 94}, area), (Point{742, 644}));
    EXPECT_EQ(keepInside(Rect{-50, -20, 282, 94}, area), (Point{0, 0}));
    EXPECT_EQ(keepInside(Rect{100, 100, 282, 94}, area), (Point{100, 100}));
}

TEST(CallDialogLayout, TypedTextReachesTheBoxOnlyAsDialCharacters) {
    const std::pair<const char*, bool> cases[] = {
        {"12*#=9", true}, {"\b", true}, {"\x7f", true}, {"", true},          {"a", false},
        {" ", false},     {"+", false}, {"1-", false},  {"\xd9\xa3", false},  // Arabic-Indic three
        {"\xe2", false},                                                      // a broken sequence
    };
    for (const auto& [typed, accepted] : cases) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(isTypedTextAccepted(typed), accepted);
    }
}

LanguageTable englishTexts() {
    LanguageTable table;
    std::string language = "none";  // no file: the built-in English
    table.loadLanguage("/nonexistent/language.ini", language);
    return table;
}

struct ResultCase {
    const char* name;
    int step;
    std::string code;
    bool hangup;
    bool full;
    bool failed;
    bool hideSoon;
    std::string message;
};

TEST(CallDialogLayout, ResultPresentation) {
    const std::string callFail = "Making the call failed.";
    const ResultCase cases[] = {
        {"100 full", 15, "100", false, true, false, true, ""},
        {"100 small", 15, "100", true, false, false, true, ""},
        {"101 no base", 15, "101", false, true, true, false,
         "Authorization Failed. Checkif your ID, PW, or Phone Number is valid.\nRS CODE : AUTH FAIL"},
        {"110 spaced", 15, "110", false, true, true, false,
         callFail + " Check if your phone is available.\nRS CODE : CALLER BUSY"},
        {"200 empty code", 15, "200", false, true, true, false, callFail + "\nRS CODE : EMPTY CODE"},
        {"no answer", -13, "", true, true, true, false,
         "Check out if your system IP address or Port is valid.\nRS CODE : RECEIVE FAIL"},
    };
    const ResultTexts texts = resultTextsFrom(englishTexts());
    for (const ResultCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome{{c.step, c.code}, c.hangup, {}, {}};
        const ResultPresentation shown = presentResult(outcome, texts, true, c.full);
        EXPECT_EQ(shown.failed, c.failed);
        EXPECT_EQ(shown.label, c.failed ? "Failed" : "Success");
        EXPECT_EQ(shown.showLabel, c.full);
        EXPECT_EQ(shown.hideSoon, c.hideSoon);
        EXPECT_EQ(shown.message, c.message);
        EXPECT_FALSE(presentResult(outcome, texts, false, c.full).hideSoon);
        EXPECT_EQ(resultColour(c.failed), c.failed ? (Rgb{254, 21, 21}) : (Rgb{6, 243, 110}));
    }
}

TEST(SettingsChoices, ListsAndTheirStoredNames) {
    const std::vector<std::string> modifiers = sortedForList(hotkeyModifierNames());
    EXPECT_EQ(modifiers, (std::vector<std::string>{"ALT", "CTRL", "SHIFT", "WIN"}));
    const std::vector<std::string> keys = sortedForList(hotkeyKeyNames());
    ASSERT_EQ(keys.size(), 12u + 9u + 26u);
    // Digits first, then f1, f10..f12, f2..: a shorter prefix sorts first.
    EXPECT_EQ(keys.front(), "1");
    const auto f1 = listIndexFor(keys, "f1");
    ASSERT_TRUE(f1);
    EXPECT_EQ(keys[*f1 + 1], "f10");
    EXPECT_EQ(listIndexFor(keys, "F1"), f1);  // stored in another case: the first it begins
    EXPECT_EQ(listIndexFor(keys, "q"), listIndexFor(keys, "Q"));
    EXPECT_EQ(listIndexFor(keys, "PAUSE"), std::nullopt);
    EXPECT_EQ(listIndexFor(keys, ""), std::nullopt);
}

TEST(SettingsChoices, PortAndMinimumLengthChecks) {
    for (const char* port : {"", "  ", "1", "443", " 8443 ", "65535"}) EXPECT_TRUE(isPortAccepted(port)) << port;
    for (const char* port : {"0", "65536", "99999", "123456", "4a", "-1"}) EXPECT_FALSE(isPortAccepted(port)) << port;
    for (const char* length : {"1", "9", "30", "5x"}) EXPECT_TRUE(isMinPopupLengthAccepted(length)) << length;
    for (const char* length : {"", "0", "31", "x"}) EXPECT_FALSE(isMinPopupLengthAccepted(length)) << length;
}

TEST(TrustDisplay, AdministratorsKeyThenCaFileThenKeptKey) {
    const std::string key = "E3:F5:93:B1:CF:5D:3C:C5:BF:09:0A:AC:C5:1B:EC:9E:7B:4E:BC:32:AE:65:76:C8:6C:D7:F2:16";
    SecuritySettings kept{key, "127.0.0.1:443", "", "", true};
    const TrustDisplay shown = trustDisplay(kept, "127.0.0.1:443");
    EXPECT_EQ(shown.shown, "E3:F5:93:B1 \u2026 6C:D7:F2:16");
    EXPECT_EQ(shown.full, key);
    EXPECT_TRUE(shown.forgettable);
    // Kept for another exchange: none yet for this one.
    EXPECT_EQ(trustDisplay(kept, "127.0.0.1:8443").shown, "none yet (kept on the next call)");
    EXPECT_FALSE(trustDisplay(kept, "127.0.0.1:8443").forgettable);
    SecuritySettings ca = kept;
    ca.caFile = "/etc/ca.pem";
    EXPECT_EQ(trustDisplay(ca, "127.0.0.1:443").shown, "checked against /etc/ca.pem");
    EXPECT_FALSE(trustDisplay(ca, "127.0.0.1:443").forgettable);
    SecuritySettings required = ca;
    required.requiredKey = key;
    const TrustDisplay set = trustDisplay(required, "127.0.0.1:443");
    EXPECT_NE(set.shown.find("(set by the administrator)"), std::string::npos);
    EXPECT_FALSE(set.forgettable);
}

}  // namespace
}  // namespace pellandor
