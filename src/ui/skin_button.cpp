#include "ui/skin_button.h"

#include <QEvent>
#include <QPainter>

namespace pellandor {

CSkinButton::CSkinButton(SkinImage normal, SkinImage hover, SkinImage pressed, QWidget* parent)
    : QAbstractButton(parent), normal_(normal), hover_(hover), pressed_(pressed)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);  // the number box keeps the keyboard
    setAttribute(Qt::WA_Hover);
}

SkinImage CSkinButton::CurrentImage() const
{
    if (isDown()) return pressed_;
    if (hovered_) return hover_;
    return normal_;
}

QSize CSkinButton::sizeHint() const
{
    return SkinPixmap(normal_, 1.0).size();
}

void CSkinButton::paintEvent(QPaintEvent*)
{
    const QPixmap pixmap = SkinPixmap(CurrentImage(), devicePixelRatioF());
    if (pixmap.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), pixmap);
}

bool CSkinButton::event(QEvent* event)
{
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
