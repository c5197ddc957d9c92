#include "ui/settings_widgets.h"

#include "desktop_logic/settings_choices.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLayout>
#include <QEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QSet>

#include <algorithm>

namespace pellandor {

namespace {

QColor accentColour(const QWidget* widget) {
    return widget->palette().color(QPalette::Active, QPalette::Highlight);
}

// A QLabel that clicks its check box.
class ClickLabel final : public QLabel {
public:
    ClickLabel(QCheckBox* box, QWidget* parent) : QLabel(parent), box_(box) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && box_->isEnabled() && rect().contains(event->pos())) box_->click();
        QLabel::mouseReleaseEvent(event);
    }

private:
    QCheckBox* box_;
};

}  // namespace

void useSettingsBackground(QWidget* dialog) {
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, QColor(230, 230, 230));
    palette.setColor(QPalette::Base, Qt::white);
    dialog->setPalette(palette);
    dialog->setAutoFillBackground(true);
}

QStringList withMnemonics(const QStringList& texts, int exclusive) {
    std::vector<std::u16string> plain;
    for (const QString& text : texts) plain.push_back(text.toStdU16String());
    QStringList result;
    for (const std::u16string& text : pellandor::withMnemonics(plain, exclusive))
        result << QString::fromStdU16String(text);
    return result;
}

MarkerLabel::MarkerLabel(QWidget* parent) : QLabel(parent) {
    setIndent(markerSize_ + 6);
    setWordWrap(true);
}

void MarkerLabel::setMarkerSize(int size) {
    markerSize_ = size;
    setIndent(size + 6);
}

void MarkerLabel::setHeader(bool header) {
    if (!header) {
        setFont(QFont());  // an empty font inherits everything again
        return;
    }
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    setFont(bold);
}

void MarkerLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    QColor colour = accentColour(this);
    if (!isEnabled()) colour = palette().color(QPalette::Disabled, QPalette::WindowText);
    // Centred on the first line, so a wrapped label keeps its marker at the top.
    const int lineHeight = fontMetrics().height();
    const int top = contentsRect().top() + (std::min(lineHeight, contentsRect().height()) - markerSize_) / 2;
    painter.fillRect(QRect(contentsRect().left() + 1, top, markerSize_, markerSize_), colour);
}

WrappingCheckBox::WrappingCheckBox(QWidget* parent, const char* name) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    box_ = new QCheckBox(this);
    if (name != nullptr) box_->setObjectName(QLatin1String(name));
    label_ = new ClickLabel(box_, this);
    label_->setWordWrap(true);
    label_->setBuddy(box_);
    label_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(box_, 0, Qt::AlignTop);
    layout->addWidget(label_, 1);
    box_->installEventFilter(this);
}

void WrappingCheckBox::setText(const QString& text) {
    label_->setText(text);
    QString plain = text;
    plain.replace(QLatin1String("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QChar(1), QLatin1Char('&'));
    box_->setAccessibleName(plain);
}

bool WrappingCheckBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && event->type() == QEvent::EnabledChange) label_->setEnabled(box_->isEnabled());
    return QWidget::eventFilter(watched, event);
}

namespace {
int nonDigits(const QString& text) {
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](QChar c) { return c < QLatin1Char('0') || c > QLatin1Char('9'); }));
}
}  // namespace

void DigitsValidator::allowOthersOf(const QString& loaded) {
    allowedOthers_ = nonDigits(loaded);
}

QValidator::State DigitsValidator::validate(QString& input, int&) const {
    return nonDigits(input) <= allowedOthers_ ? Acceptable : Invalid;
}

SettingsDialogBase::SettingsDialogBase(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
}

int SettingsDialogBase::showModal() {
    if (isVisible()) {
        raise();
        activateWindow();
        return -1;
    }
    openDialog();
    return exec();
}

void SettingsDialogBase::showInFront() {
    show();
    raise();
    activateWindow();
}

int SettingsDialogBase::captionWidth() const {
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    QString caption = windowTitle();
    const QString program = QGuiApplication::applicationDisplayName();
    if (!program.isEmpty() && !caption.endsWith(program)) caption += QStringLiteral(" \u2014 ") + program;
    // The icon and the buttons at either end take about a line height each.
    return metrics.horizontalAdvance(caption) + std::max(6 * metrics.height(), 120);
}

void SettingsDialogBase::fixSize() {
    QSize size = formSize_.expandedTo(minimumSizeHint());
    size.setWidth(std::max(size.width(), captionWidth()));
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // A wider dialog needs less height for its wrapped texts: measure again.
    if (layout() != nullptr && layout()->hasHeightForWidth()) {
        size.setHeight(std::max(size.height(), layout()->totalHeightForWidth(size.width())));
    }
    setFixedSize(size);
}

void SettingsDialogBase::showEvent(QShowEvent* event) {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->window() != this) continue;
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    QDialog::showEvent(event);
}

void SettingsDialogBase::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button != nullptr && event->modifiers() == Qt::NoModifier) {
            button->click();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsDialogBase::reject() {
}

void SettingsDialogBase::closeEvent(QCloseEvent* event) {
    if (isVisible()) done(kClosedFromTitleBar);
    event->accept();
}

void acceptDigitsOnly(QLineEdit* edit, int limit) {
    edit->setMaxLength(limit);
    edit->setValidator(new DigitsValidator(edit));
}

void setEditText(QLineEdit* edit, const QString& text, int limit) {
    // Typing is limited; a longer stored value must not be cut on display.
    edit->setMaxLength(std::max(limit, static_cast<int>(text.size())));
    if (auto* digits = dynamic_cast<DigitsValidator*>(const_cast<QValidator*>(edit->validator()))) {
        digits->allowOthersOf(text);
    }
    edit->setText(text);
}

void showSaveFailure(QWidget* parent, const QString& message, const QString& settingsPath, const QString& reason) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), message.arg(settingsPath), QMessageBox::Ok, parent);
    box.setDetailedText(reason);
    box.exec();
}

}  // namespace pellandor
