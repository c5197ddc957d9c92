#pragma once
// The call dialog's shared decisions (desktop_logic) in Qt's types.

#include "desktop_logic/call_dialog_layout.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace pellandor {

inline QPoint toQt(Point p) {
    return {p.x, p.y};
}
inline QSize toQt(Size s) {
    return {s.width, s.height};
}
inline QRect toQt(Rect r) {
    return {r.x, r.y, r.width, r.height};
}
inline QColor toQt(Rgb c) {
    return {c.red, c.green, c.blue};
}
inline Point fromQt(QPoint p) {
    return {p.x(), p.y()};
}
inline Size fromQt(QSize s) {
    return {s.width(), s.height()};
}
inline Rect fromQt(QRect r) {
    return {r.x(), r.y(), r.width(), r.height()};
}
inline std::optional<Rect> fromQt(const std::optional<QRect>& r) {
    return r ? std::optional(fromQt(*r)) : std::nullopt;
}
inline std::optional<Point> fromQt(const std::optional<QPoint>& p) {
    return p ? std::optional(fromQt(*p)) : std::nullopt;
}

}  // namespace pellandor
