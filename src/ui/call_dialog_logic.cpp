#include "ui/call_dialog_logic.h"

namespace pellandor {

QSize dialogSize(bool full) {
    return full ? kFullDialogSize : kSmallDialogSize;
}

std::optional<QRect> itemGeometry(DlgItem item, bool full, bool showHangup) {
    const bool h = showHangup;
    if (full) {
        switch (item) {
            case DlgItem::NumberBox:
                return QRect(14, 47, h ? 180 : 219, 23);
            case DlgItem::Call:
                return QRect(h ? 194 : 233, 41, 39, 45);
            case DlgItem::Hangup:
                return h ? std::optional(QRect(233, 41, 39, 45)) : std::nullopt;
            case DlgItem::Minimize:
                return QRect(215, 8, 29, 31);
            case DlgItem::Exit:
                return QRect(245, 8, 29, 31);
            case DlgItem::CallMin:
            case DlgItem::HangupMin:
            case DlgItem::Maximize:
            case DlgItem::ExitMin:
                return std::nullopt;
        }
    } else {
        switch (item) {
            case DlgItem::NumberBox:
                return QRect(11, 10, h ? 168 : 206, 23);
            case DlgItem::CallMin:
                return QRect(h ? 180 : 217, 7, 37, 37);
            case DlgItem::HangupMin:
                return h ? std::optional(QRect(217, 7, 37, 37)) : std::nullopt;
            case DlgItem::Maximize:
                return QRect(255, 26, 18, 18);
            case DlgItem::ExitMin:
                return QRect(255, 7, 18, 18);
            case DlgItem::Call:
            case DlgItem::Hangup:
            case DlgItem::Minimize:
            case DlgItem::Exit:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

QPoint placeAtPointer(QPoint point, QSize dialog, std::optional<QRect> workArea) {
    int x = point.x() - dialog.width();
    int y = point.y();
    if (!workArea) {
        x += x > 0 ? -dialog.width() : dialog.width();
        y += y > 0 ? -dialog.height() : dialog.height();
        return {x, y};
    }
    // All four edges: a pointer over a panel would otherwise put the dialog
    // under it. Left and top win when the dialog is larger than the area.
    const int right = workArea->x() + workArea->width();
    const int bottom = workArea->y() + workArea->height();
    if (x + dialog.width() > right) x = right - dialog.width();
    if (y + dialog.height() > bottom) y = bottom - dialog.height();
    if (x < workArea->x()) x = workArea->x();
    if (y < workArea->y()) y = workArea->y();
    return {x, y};
}

QPoint placeWithoutPointer(std::optional<QPoint> trayPoint, QPoint saved, QSize dialog, QRect workArea) {
    if (trayPoint) return placeAtPointer(*trayPoint, dialog, workArea);
    if (saved != QPoint(0, 0) && workArea.intersects(QRect(saved, dialog)))
        return placeAtPointer(saved + QPoint(dialog.width(), 0), dialog, workArea);
    return placeAtPointer(QPoint(workArea.x() + workArea.width(), workArea.y() + workArea.height()), dialog, workArea);
}

bool isTypedTextAccepted(const QString& text) {
    for (const QChar c : text) {
        if (!c.isPrint()) continue;
        const bool dial = (c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || c == u'=';
        if (!dial) return false;
    }
    return true;
}

QColor resultColour(bool failed) {
    return failed ? QColor(254, 21, 21) : QColor(6, 243, 110);
}

ResultPresentation presentResult(const CallOutcome& outcome, const ResultTexts& texts, bool hideAfterSuccess,
                                 bool fullLayout) {
    ResultPresentation p;
    p.failed = !outcome.succeeded();
    p.label = p.failed ? QStringLiteral("Failed") : QStringLiteral("Success");
    p.showLabel = fullLayout;
    p.hideSoon = !p.failed && hideAfterSuccess;
    p.message = QString::fromStdString(outcome.message(texts));
    return p;
}

}  // namespace pellandor
