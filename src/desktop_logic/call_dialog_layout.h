#pragma once
// The call dialog's decisions that need no window system: where things go,
// which typed keys reach the number box, how a finished request is shown.
// Plain types, so the Qt dialog and the Win32 one share every number.

#include "call/call_press.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellandor {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int right() const { return x + width; }    // one past the last column
    int bottom() const { return y + height; }  // one past the last row
    bool intersects(const Rect& other) const {
        return width > 0 && height > 0 && other.width > 0 && other.height > 0 && x < other.right() &&
               other.x < right() && y < other.bottom() && other.y < bottom();
    }
    bool operator==(const Rect&) const = default;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

enum class DlgItem { NumberBox, Call, Hangup, CallMin, HangupMin, Minimize, Maximize, Exit, ExitMin };

inline constexpr Size kFullDialogSize{282, 94};
inline constexpr Size kSmallDialogSize{280, 51};
inline constexpr Rect kResultTextRect{130, 17, 80, 20};
// How many characters the number box takes.
inline constexpr int kNumberBoxLimit = 30;

// The number box, its frame and its list, and the see-through key of the skin.
inline constexpr Rgb kNumberBoxFill{141, 141, 141};
inline constexpr Rgb kNumberBoxFrame{92, 92, 92};
inline constexpr Rgb kArrowPressedFill{210, 210, 210};
inline constexpr Rgb kSkinKey{255, 0, 255};

// Timers: auto-hide after a success, and how long the result text stays.
inline constexpr int kSuccessHideMs = 3000;
inline constexpr int kResultTextMs = 5000;

Size dialogSize(bool full);

// Where `item` sits in a layout; empty when it is hidden there.
std::optional<Rect> itemGeometry(DlgItem item, bool full, bool showHangup);

// Top-right corner of the dialog at `point`, kept inside `workArea` (the
// usable part of the screen under the point). Without a screen there, the
// dialog steps by its own size towards the origin.
Point placeAtPointer(Point point, Size dialog, std::optional<Rect> workArea);

// Where the dialog goes when the platform cannot tell where the pointer is
// (a Wayland session): with its top-right corner at the tray icon's
// activation point, else where it was last (0,0: never placed), else in the
// bottom-right corner of the work area; never centred over the user's work.
Point placeWithoutPointer(std::optional<Point> trayPoint, Point saved, Size dialog, Rect workArea);

// A window that is already up, kept inside `workArea`: a window manager or
// a monitor change may have moved it partly off the screen.
Point keepInside(Rect window, Rect workArea);

// Typed characters (UTF-8) that reach the number box: digits, "*", "#", "=".
// Control characters (backspace, editing shortcuts) always pass.
bool isTypedTextAccepted(std::string_view utf8);

Rgb resultColour(bool failed);

// What the dialog does when a request has finished.
struct ResultPresentation {
    bool failed = true;
    std::string label;       // "Success" or "Failed"
    bool showLabel = false;  // only the full layout has room for it
    bool hideSoon = false;   // start the auto-hide timer with the success delay
    std::string message;     // for the result box; empty: no box
};
ResultPresentation presentResult(const CallOutcome& outcome, const ResultTexts& texts, bool hideAfterSuccess,
                                 bool fullLayout);

// Win32-style font metrics: cell height, average width (0: the face's own)
// and weight 0..1000, of the default face.
struct FontSpec {
    int height;
    int width;
    int weight;
};
inline constexpr FontSpec kBoxFontHangup{18, 7, 88};
inline constexpr FontSpec kListFontHangup{16, 6, 88};
inline constexpr FontSpec kBoxFont{20, 9, 32};
inline constexpr FontSpec kListFont{16, 8, 32};
inline constexpr FontSpec kResultFont{15, 8, 132};

}  // namespace pellandor
