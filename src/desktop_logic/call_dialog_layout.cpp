#include "desktop_logic/call_dialog_layout.h"

namespace pellandor {

Size dialogSize(bool full) {
    return full ? kFullDialogSize : kSmallDialogSize;
}

std::optional<Rect> itemGeometry(DlgItem item, bool full, bool showHangup) {
    const bool h = showHangup;
    if (full) {
        switch (item) {
            case DlgItem::NumberBox:
                return Rect{14, 47, h ? 180 : 219, 23};
            case DlgItem::Call:
                return Rect{h ? 194 : 233, 41, 39, 45};
            case DlgItem::Hangup:
                return h ? std::optional(Rect{233, 41, 39, 45}) : std::nullopt;
            case DlgItem::Minimize:
                return Rect{215, 8, 29, 31};
            case DlgItem::Exit:
                return Rect{245, 8, 29, 31};
            case DlgItem::CallMin:
            case DlgItem::HangupMin:
            case DlgItem::Maximize:
            case DlgItem::ExitMin:
                return std::nullopt;
        }
    } else {
        switch (item) {
            case DlgItem::NumberBox:
                return Rect{11, 10, h ? 168 : 206, 23};
            case DlgItem::CallMin:
                return Rect{h ? 180 : 217, 7, 37, 37};
            case DlgItem::HangupMin:
                return h ? std::optional(Rect{217, 7, 37, 37}) : std::nullopt;
            case DlgItem::Maximize:
                return Rect{255, 26, 18, 18};
            case DlgItem::ExitMin:
                return Rect{255, 7, 18, 18};
            case DlgItem::Call:
            case DlgItem::Hangup:
            case DlgItem::Minimize:
            case DlgItem::Exit:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

Point keepInside(Rect window, Rect workArea) {
    // All four edges: a pointer over a panel would otherwise put the dialog
    // under it. Left and top win when the dialog is larger than the area.
    int x = window.x;
    int y = window.y;
    if (x + window.width > workArea.right()) x = workArea.right() - window.width;
    if (y + window.height > workArea.bottom()) y = workArea.bottom() - window.height;
    if (x < workArea.x) x = workArea.x;
    if (y < workArea.y) y = workArea.y;
    return {x, y};
}

Point placeAtPointer(Point point, Size dialog, std::optional<Rect> workArea) {
    int x = point.x - dialog.width;
    int y = point.y;
    if (!workArea) {
        x += x > 0 ? -dialog.width : dialog.width;
        y += y > 0 ? -dialog.height : dialog.height;
        return {x, y};
    }
    return keepInside(Rect{x, y, dialog.width, dialog.height}, *workArea);
}

Point placeWithoutPointer(std::optional<Point> trayPoint, Point saved, Size dialog, Rect workArea) {
    if (trayPoint) return placeAtPointer(*trayPoint, dialog, workArea);
    if (saved != Point{0, 0} && workArea.intersects(Rect{saved.x, saved.y, dialog.width, dialog.height}))
        return placeAtPointer(Point{saved.x + dialog.width, saved.y}, dialog, workArea);
    return placeAtPointer(Point{workArea.right(), workArea.bottom()}, dialog, workArea);
}

namespace {

// The next code point of `text` from `i`; a broken sequence counts as one
// printable non-dial character, so it is refused.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    char32_t cp = lead;
    if (lead >= 0xf0 && lead < 0xf8) {
        extra = 3;
        cp = lead & 0x07;
    } else if (lead >= 0xe0) {
        extra = 2;
        cp = lead & 0x0f;
    } else if (lead >= 0xc0) {
        extra = 1;
        cp = lead & 0x1f;
    } else if (lead >= 0x80) {
        ++i;
        return U'\xfffd';
    }
    ++i;
    for (int k = 0; k < extra; ++k, ++i) {
        if (i >= text.size() || (byte(i) & 0xc0) != 0x80) return U'\xfffd';
        cp = (cp << 6) | (byte(i) & 0x3f);
    }
    return cp;
}

}  // namespace

bool isTypedTextAccepted(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, i);
        const bool control = c < 0x20 || (c >= 0x7f && c < 0xa0);
        if (control) continue;
        const bool dial = (c >= U'0' && c <= U'9') || c == U'*' || c == U'#' || c == U'=';
        if (!dial) return false;
    }
    return true;
}

Rgb resultColour(bool failed) {
    return failed ? Rgb{254, 21, 21} : Rgb{6, 243, 110};
}

ResultPresentation presentResult(const CallOutcome& outcome, const ResultTexts& texts, bool hideAfterSuccess,
                                 bool fullLayout) {
    ResultPresentation p;
    p.failed = !outcome.succeeded();
    p.label = p.failed ? "Failed" : "Success";
    p.showLabel = fullLayout;
    p.hideSoon = !p.failed && hideAfterSuccess;
    p.message = outcome.message(texts);
    return p;
}

}  // namespace pellandor
