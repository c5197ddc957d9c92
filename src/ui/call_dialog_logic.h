#pragma once
// The call dialog's decisions that need no window: where things go, which
// keys reach the number box, how a result is presented.

#include "call/call_press.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace pellandor {

enum class DlgItem { NumberBox, Call, Hangup, CallMin, HangupMin, Minimize, Maximize, Exit, ExitMin };

inline constexpr QSize kFullDialogSize{282, 94};
inline constexpr QSize kSmallDialogSize{280, 51};
inline constexpr QRect kResultTextRect{130, 17, 80, 20};

QSize dialogSize(bool full);

// Where `item` sits in a layout; empty when it is hidden there.
std::optional<QRect> itemGeometry(DlgItem item, bool full, bool showHangup);

// Top-right corner of the dialog at `point`, kept inside `workArea` (the
// usable part of the screen under the point). Without a screen there, the
// dialog steps by its own size towards the origin.
QPoint placeAtPointer(QPoint point, QSize dialog, std::optional<QRect> workArea);

// Where the dialog goes when the platform cannot tell where the pointer is
// (a Wayland session): with its top-right corner at the tray icon's
// activation point, else where it was last (0,0: never placed), else in the
// bottom-right corner of the work area; never centred over the user's work.
QPoint placeWithoutPointer(std::optional<QPoint> trayPoint, QPoint saved, QSize dialog, QRect workArea);

// Typed characters that reach the number box: digits, "*", "#", "=".
// control characters (backspace, editing shortcuts) always pass.
bool isTypedTextAccepted(const QString& text);

QColor resultColour(bool failed);

// What the dialog does when a request has finished.
struct ResultPresentation {
    bool failed = true;
    QString label;           // "Success" or "Failed"
    bool showLabel = false;  // only the full layout has room for it
    bool hideSoon = false;   // start the auto-hide timer with the success delay
    QString message;         // for the result box; empty: no box
};
ResultPresentation presentResult(const CallOutcome& outcome, const ResultTexts& texts, bool hideAfterSuccess,
                                 bool fullLayout);

// Win32-style font metrics (cell height, weight 0..1000) as a Qt font of the
// default family.
struct FontSpec {
    int height;
    int weight;
};
inline constexpr FontSpec kBoxFontHangup{18, 88};
inline constexpr FontSpec kListFontHangup{16, 88};
inline constexpr FontSpec kBoxFont{20, 32};
inline constexpr FontSpec kListFont{16, 32};
inline constexpr FontSpec kResultFont{15, 132};

}  // namespace pellandor
