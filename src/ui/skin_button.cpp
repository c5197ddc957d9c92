#include "ui/skin_button.h"

#include <QEvent>
#include <QPainter>

namespace pellandor {

SkinButton::SkinButton(SkinImage normal, SkinImage hover, SkinImage pressed, QWidget* parent)
    : QAbstractButton(parent), normal_(normal), hover_(hover), pressed_(pressed) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);  // the number box keeps the keyboard
    setAttribute(Qt::WA_Hover);
}

SkinImage SkinButton::currentImage() const {
    if (isDown()) return pressed_;
    if (hovered_) return hover_;
    return normal_;
}

QSize SkinButton::sizeHint() const {
    return skinPixmap(normal_, 1.0).size();
}

void SkinButton::paintEvent(QPaintEvent*) {
    const QPixmap pixmap = skinPixmap(currentImage(), devicePixelRatioF());
    if (pixmap.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), pixmap);
}

bool SkinButton::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::HoverEnter:
        case QEvent::Enter:
            if (!hovered_) {
                hovered_ = true;
                update();
            }
            break;
        case QEvent::HoverLeave:
        case QEvent::Leave:
        case QEvent::Hide:
            if (hovered_) {
                hovered_ = false;
                update();
            }
            break;
        default:
            break;
    }
    return QAbstractButton::event(event);
}

}  // namespace pellandor
