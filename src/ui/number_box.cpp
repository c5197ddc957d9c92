#include "ui/number_box.h"

#include "ui/qt_geometry.h"
#include "ui/skin.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QValidator>

namespace pellandor {

namespace {

const QColor kBoxFill = toQt(kNumberBoxFill);
const QColor kBoxFrame = toQt(kNumberBoxFrame);
const QColor kArrowFill = toQt(kArrowPressedFill);

// Puts the edit field and the drop arrow where the flat painting has them,
// so clicks land where the eye sees them.
class NumberBoxStyle final : public QProxyStyle {
public:
    NumberBoxStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        if (control == CC_ComboBox) {
            const QRect r = option->rect;
            switch (sub) {
                case SC_ComboBoxArrow:
                    return {r.right() + 1 - NumberBox::kArrowWidth, r.top(), NumberBox::kArrowWidth, r.height()};
                case SC_ComboBoxEditField:
                    return {r.left() + 5, r.top() + 1, r.width() - NumberBox::kArrowWidth - 6, r.height() - 2};
                case SC_ComboBoxFrame:
                    return r;
                default:
                    break;
            }
        }
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
};

// Limits what the user types or pastes; text the program puts in (a
// converted number, a recent one) is not cut, so a number that grew past the
// limit is refused whole at Call time instead of being dialled truncated.
class LengthValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return input.size() <= NumberBox::kMaxLength ? Acceptable : Invalid;
    }
};

class FixedHeightDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), NumberBox::kItemHeight};
    }
};

QPalette boxPalette(QPalette palette) {
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, kBoxFill);
        palette.setColor(group, QPalette::Window, kBoxFill);
        palette.setColor(group, QPalette::Button, kBoxFill);
        palette.setColor(group, QPalette::Text, Qt::white);
        palette.setColor(group, QPalette::WindowText, Qt::white);
        palette.setColor(group, QPalette::ButtonText, Qt::white);
        palette.setColor(group, QPalette::Highlight, QColor(0x2e, 0xa8, 0x63));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    return palette;
}

}  // namespace

NumberBox::NumberBox(QWidget* parent) : QComboBox(parent) {
    auto* style = new NumberBoxStyle;
    style->setParent(this);
    setStyle(style);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);  // only a started call records a number
    setFrame(false);
    setPalette(boxPalette(palette()));
    setMaxVisibleItems(10);

    setValidator(new LengthValidator(this));
    QLineEdit* edit = lineEdit();
    edit->setFrame(false);
    edit->setPalette(boxPalette(edit->palette()));
    edit->installEventFilter(this);
    edit->setContextMenuPolicy(Qt::DefaultContextMenu);

    view()->setItemDelegate(new FixedHeightDelegate(view()));
    view()->setPalette(boxPalette(view()->palette()));
}

void NumberBox::setFonts(const QFont& editFont, const QFont& listFont) {
    setFont(editFont);
    lineEdit()->setFont(editFont);
    view()->setFont(listFont);
}

void NumberBox::setEntries(const QStringList& entries) {
    const QString typed = currentText();
    clear();
    addItems(entries.isEmpty() ? QStringList{QString()} : entries);
    setEditText(typed);
}

QRect NumberBox::arrowRect() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
}

void NumberBox::showPopup() {
    arrowPressed_ = true;
    update();
    QComboBox::showPopup();
}

void NumberBox::hidePopup() {
    QComboBox::hidePopup();
    arrowPressed_ = false;
    update();
}

void NumberBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect all = rect();
    p.fillRect(all, kBoxFill);
    const QRect arrow = arrowRect();
    p.fillRect(arrow, arrowPressed_ ? kArrowFill : kBoxFill);
    const QPixmap image = skinPixmap(arrowPressed_ ? SkinImage::ArrowPressed : SkinImage::Arrow, devicePixelRatioF());
    if (!image.isNull()) p.drawPixmap(arrow.topLeft() + QPoint(2, 9), image);
    p.setPen(kBoxFrame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(all.adjusted(0, 0, -1, -1));
}

void NumberBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit userActivity();
    QComboBox::mousePressEvent(event);
}

void NumberBox::mouseReleaseEvent(QMouseEvent* event) {
    QComboBox::mouseReleaseEvent(event);
    if (!view()->isVisible() && arrowPressed_) {
        arrowPressed_ = false;
        update();
    }
}

void NumberBox::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event)) QComboBox::keyPressEvent(event);
}

bool NumberBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit()) {
        if (event->type() == QEvent::KeyPress) return handleKey(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::MouseButtonPress) emit userActivity();
    }
    return QComboBox::eventFilter(watched, event);
}

bool NumberBox::handleKey(QKeyEvent* key) {
    emit userActivity();
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit enterPressed();
            return true;
        case Qt::Key_Escape:
            emit escapePressed();
            return true;
        default:
            break;
    }
    // Shortcuts (Ctrl+V and friends) are not typing.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    return !isTypedTextAccepted(key->text().toStdString());
}

}  // namespace pellandor
