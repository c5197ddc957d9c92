#include "ui/call_dialog.h"

#include "base/secret_text.h"
#include "call/call_preparation.h"
#include "call/exchange_trust.h"
#include "dialing/dialing_rules.h"
#include "ui/number_box.h"
#include "ui/skin.h"
#include "ui/skin_button.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace pellandor {

namespace {

Q_LOGGING_CATEGORY(lcCall, "pellandor.call", QtWarningMsg)

QString toQ(const std::string& text) {
    return QString::fromStdString(text);
}

// How long after a show the activation is taken as its answer.
constexpr qint64 kLowerOnActivationMs = 1000;

// The number box reads at most this much, so an overlong paste cannot grow a request.
constexpr int kNumberReadLimit = 38;

QFont dialogFont(FontSpec spec) {
    QFont font = QApplication::font();
    // A cell height holds the em plus its internal leading.
    font.setPixelSize(static_cast<int>(std::lround(spec.height * 0.8)));
    // The light weights of the table are legible only as regular text.
    font.setWeight(spec.weight < 400 ? QFont::Normal : static_cast<QFont::Weight>(std::min(spec.weight, 900)));
    return font;
}

}  // namespace

CallDialog::CallDialog(const DialingRules& rules, CallLog& log, DialogState& state, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), rules_(rules), log_(log), state_(state) {
    setWindowTitle(QStringLiteral("Ulvex Pellandor"));

    numberBox_ = new NumberBox(this);
    connect(numberBox_, &NumberBox::userActivity, &autoHideTimer_, &QTimer::stop);
    connect(numberBox_, &NumberBox::escapePressed, this, &CallDialog::hideDialog);
    connect(numberBox_, &NumberBox::enterPressed, this, [this] {
        const SkinButton* call = button(isFullLayout() ? DlgItem::Call : DlgItem::CallMin);
        if (values_.callOnEnter && call->isEnabled())
            QMetaObject::invokeMethod(this, &CallDialog::onCall, Qt::QueuedConnection);
    });

    struct ButtonSpec {
        DlgItem item;
        SkinImage normal, hover, pressed;
    };
    const ButtonSpec specs[] = {
        {DlgItem::Call, SkinImage::Call, SkinImage::CallHover, SkinImage::CallPressed},
        {DlgItem::Hangup, SkinImage::Hangup, SkinImage::HangupHover, SkinImage::HangupPressed},
        {DlgItem::CallMin, SkinImage::CallMin, SkinImage::CallMinHover, SkinImage::CallMinPressed},
        {DlgItem::HangupMin, SkinImage::HangupMin, SkinImage::HangupMinHover, SkinImage::HangupMinPressed},
        {DlgItem::Minimize, SkinImage::Minimize, SkinImage::MinimizeHover, SkinImage::MinimizePressed},
        {DlgItem::Maximize, SkinImage::Maximize, SkinImage::MaximizeHover, SkinImage::MaximizePressed},
        {DlgItem::Exit, SkinImage::Exit, SkinImage::ExitHover, SkinImage::ExitPressed},
        {DlgItem::ExitMin, SkinImage::ExitMin, SkinImage::ExitMinHover, SkinImage::ExitMinPressed},
    };
    for (const ButtonSpec& spec : specs)
        buttons_[spec.item] = new SkinButton(spec.normal, spec.hover, spec.pressed, this);
    connect(buttons_[DlgItem::Call], &QAbstractButton::clicked, this, &CallDialog::onCall);
    connect(buttons_[DlgItem::CallMin], &QAbstractButton::clicked, this, &CallDialog::onCall);
    connect(buttons_[DlgItem::Hangup], &QAbstractButton::clicked, this, &CallDialog::onHangup);
    connect(buttons_[DlgItem::HangupMin], &QAbstractButton::clicked, this, &CallDialog::onHangup);
    connect(buttons_[DlgItem::Minimize], &QAbstractButton::clicked, this, [this] { setFullLayout(false); });
    connect(buttons_[DlgItem::Maximize], &QAbstractButton::clicked, this, [this] { setFullLayout(true); });
    connect(buttons_[DlgItem::Exit], &QAbstractButton::clicked, this, &CallDialog::hideDialog);
    connect(buttons_[DlgItem::ExitMin], &QAbstractButton::clicked, this, &CallDialog::hideDialog);
    buttons_[DlgItem::Call]->setToolTip(tr("Call"));
    buttons_[DlgItem::CallMin]->setToolTip(tr("Call"));
    buttons_[DlgItem::Hangup]->setToolTip(tr("Hang up"));
    buttons_[DlgItem::HangupMin]->setToolTip(tr("Hang up"));
    buttons_[DlgItem::Minimize]->setToolTip(tr("Smaller"));
    buttons_[DlgItem::Maximize]->setToolTip(tr("Larger"));
    buttons_[DlgItem::Exit]->setToolTip(tr("Hide"));
    buttons_[DlgItem::ExitMin]->setToolTip(tr("Hide"));
    for (const auto& [item, button] : buttons_) button->setAccessibleName(button->toolTip());
    numberBox_->setAccessibleName(tr("Number"));

    resultLabel_ = new QLabel(QStringLiteral("Success!"), this);
    resultLabel_->setGeometry(toQt(kResultTextRect));
    resultLabel_->setAlignment(Qt::AlignCenter);
    resultLabel_->setFont(dialogFont(kResultFont));
    resultLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);  // dragging works over it too
    resultLabel_->hide();

    autoHideTimer_.setSingleShot(true);
    resultTextTimer_.setSingleShot(true);
    connect(&autoHideTimer_, &QTimer::timeout, this, [this] {
        resultLabel_->hide();
        hide();
    });
    connect(&resultTextTimer_, &QTimer::timeout, resultLabel_, &QLabel::hide);

    // Wayland has no window shapes; a see-through window draws the corners instead.
    translucent_ = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (translucent_) setAttribute(Qt::WA_TranslucentBackground);

    fillNumberBox();
    move(state_.dialogX, state_.dialogY);
    applyFonts();
    applyLayout();
    numberBox_->setFocus();
}

CallDialog::~CallDialog() = default;

void CallDialog::applyValues(const CallDialogValues& values, const LanguageTable& texts) {
    const bool hangupChanged = values.showHangup != values_.showHangup;
    values_ = values;
    texts_ = resultTextsFrom(texts);
    setWindowOpacity(values_.alpha / 255.0);
    if (hangupChanged) {
        applyFonts();
        applyLayout();
    }
}

void CallDialog::setMessagePresenter(MessagePresenter presenter) {
    presenter_ = std::move(presenter);
}

bool CallDialog::isFullLayout() const {
    return state_.dialogIsMax;
}

SkinButton* CallDialog::button(DlgItem item) const {
    const auto found = buttons_.find(item);
    return found == buttons_.end() ? nullptr : found->second;
}

void CallDialog::setPointerUnknown(std::optional<QPoint> trayPoint, bool placeItself) {
    pointerUnknown_ = true;
    if (trayPoint) trayPoint_ = trayPoint;
    placeItself_ = placeItself;
}

QPoint CallDialog::placeUnderWayland() const {
    const QPoint saved(state_.dialogX, state_.dialogY);
    const QScreen* screen = QGuiApplication::screenAt(trayPoint_.value_or(saved));
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return saved;
    return toQt(
        placeWithoutPointer(fromQt(trayPoint_), fromQt(saved), fromQt(size()), fromQt(screen->availableGeometry())));
}

void CallDialog::chooseManagedOnMap(bool managed) {
    if (!placeItself_ || isVisible()) return;
    // Only a window that bypasses the compositor stays where it is put, and
    // such a window never gets the keyboard: a copied number comes up in
    // place, the dialog opened to type into is managed (and centred).
    if (windowHandle() == nullptr) create();
    windowHandle()->setFlag(Qt::X11BypassWindowManagerHint, !managed);
}

void CallDialog::showDialog() {
    if (!isVisible() && pointerUnknown_ && !values_.fixedPosition) move(placeUnderWayland());
    chooseManagedOnMap(true);
    if (!isVisible()) numberBox_->clearEditText();
    setShowWithoutActivating(false);
    keepOnScreen();
    show();
    raise();
    activateWindow();
    numberBox_->setFocus();
}

void CallDialog::showNumber(const std::string& text, std::optional<QPoint> point, bool showFlag) {
    numberBox_->setEditText(QString::fromStdString(rules_.buildDialString(text)));

    if (point) {
        QPoint position;
        if (values_.fixedPosition) {
            position = QPoint(state_.dialogX, state_.dialogY);
        } else if (pointerUnknown_) {
            position = placeUnderWayland();
        } else {
            const QScreen* screen = QGuiApplication::screenAt(*point);
            position = toQt(placeAtPointer(fromQt(*point), fromQt(size()),
                                           screen ? std::optional(fromQt(screen->availableGeometry())) : std::nullopt));
        }
        chooseManagedOnMap(false);
        if (showFlag) {
            setShowWithoutActivating(false);
            show();
            move(position);
        } else {
            move(position);
            setShowWithoutActivating(true);
            show();
        }
        keepOnScreen();
        if (showFlag) {
            activateWindow();
            numberBox_->setFocus();
        }
        // Brought to the front once, not kept there; otherwise sent behind.
        lowerOnActivation_.invalidate();
        if (values_.topMost) {
            raise();
        } else {
            lower();
            // The window manager raises what it activates, and a window being
            // mapped is activated only once it is: lowered again then.
            if (showFlag) lowerOnActivation_.start();
        }
    } else {
        show();
        raise();
        activateWindow();
    }

    if (values_.autoCall) QMetaObject::invokeMethod(this, &CallDialog::onCall, Qt::QueuedConnection);
}

void CallDialog::setShowWithoutActivating(bool on) {
    setAttribute(Qt::WA_ShowWithoutActivating, on);
    // WORKAROUND: Qt hands the attribute to the native window only when it
    // creates it, so a dialog first shown activated would take the focus at
    // every later show; the window's property is what its show reads.
    if (QWindow* window = windowHandle()) window->setProperty("_q_showWithoutActivating", on);
}

void CallDialog::restartAutoHide() {
    // A delay of 0 means "no delay set", not "hide at once".
    if (values_.autoHide && values_.hideDelayMs > 0) autoHideTimer_.start(values_.hideDelayMs);
}

void CallDialog::onCall() {
    startRequest(CallKind::Call);
}

void CallDialog::onHangup() {
    startRequest(CallKind::Hangup);
}

void CallDialog::startRequest(CallKind kind) {
    // A posted Call (Enter, auto-call) may arrive while a request runs.
    if (press_.isRunning()) return;

    const std::string text =
        kind == CallKind::Call ? numberBox_->currentText().left(kNumberReadLimit).toStdString() : std::string();
    // The settings file and the keyring are read here, on the GUI thread,
    // never by the request's worker.
    CallDialogValues account = values_;
    if (!settingsPath_.empty()) prepareCall(settingsFile_.snapshot(settingsPath_), account, press_, *store_);
    const CallPress::PressResult pressed =
        press_.press(kind, account, text, rules_, [this](const CallOutcome& outcome) {
            // Worker thread: hand a copy to the dialog's thread, touch nothing
            // else. Queued with the dialog as context, so it is dropped if the
            // dialog is gone by then.
            QMetaObject::invokeMethod(
                this, [this, outcome] { presentOutcome(outcome); }, Qt::QueuedConnection);
        });
    wipeString(account.password);

    switch (pressed.state) {
        case CallPress::PressState::IncompleteSettings:
            showFailedLabel();
            showMessage(QString::fromStdString(formatResultMessage(settingsGapMessage(pressed.gap, texts_))));
            return;
        case CallPress::PressState::NotDialable:
            return;
        case CallPress::PressState::Refused:
            // No worker could start: shown like a request that got no answer.
            presentOutcome(CallOutcome{{-kStepStarted, pressed.error}, kind == CallKind::Hangup, {}, {}});
            return;
        case CallPress::PressState::Started:
            break;
    }

    resultLabel_->clear();
    resultLabel_->hide();
    setRequestButtonsEnabled(false);
    autoHideTimer_.stop();
    if (kind == CallKind::Call) {
        addToCallLog(log_, pressed.destination);
        fillNumberBox();
        numberBox_->setCurrentIndex(0);
        emit persistentStateChanged();
    }
}

bool CallDialog::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && lowerOnActivation_.isValid()) {
        // Only the activation that answers our own request; a later one is the user's.
        if (!lowerOnActivation_.hasExpired(kLowerOnActivationMs)) lower();
        lowerOnActivation_.invalidate();
    }
    return QWidget::event(event);
}

void CallDialog::presentOutcome(const CallOutcome& outcome) {
    if (!settingsPath_.empty()) {
        const Result<bool> pinned = finishCall(settingsPath_, outcome);
        if (pinned && *pinned)
            qCInfo(lcCall) << "first call to" << toQ(outcome.exchange)
                           << "- its key is trusted from now on:" << toQ(outcome.peer.fingerprint);
        if (!pinned) qCWarning(lcCall) << "the exchange's key could not be kept:" << toQ(pinned.error());
    }
    // Said on stderr too: a changed key is worth finding in a log later.
    if (const std::string untrusted = untrustedExchangeMessage(outcome.peer, outcome.exchange); !untrusted.empty())
        qCWarning(lcCall).noquote() << "call refused:" << toQ(untrusted);
    const ResultPresentation shown = presentResult(outcome, texts_, values_.hideAfterSuccess, isFullLayout());
    failed_ = shown.failed;
    if (!shown.failed) {
        autoHideTimer_.stop();
        if (shown.hideSoon) autoHideTimer_.start(kSuccessHideMs);
    }
    QPalette palette = resultLabel_->palette();
    palette.setColor(QPalette::WindowText, toQt(resultColour(failed_)));
    resultLabel_->setPalette(palette);
    resultLabel_->setText(QString::fromStdString(shown.label));
    resultLabel_->setVisible(shown.showLabel);
    resultTextTimer_.start(kResultTextMs);
    // Enabled before the modal box, so the dialog is usable once it is closed.
    setRequestButtonsEnabled(true);
    if (!shown.message.empty()) showMessage(QString::fromStdString(shown.message));
}

void CallDialog::showFailedLabel() {
    failed_ = true;
    QPalette palette = resultLabel_->palette();
    palette.setColor(QPalette::WindowText, toQt(resultColour(true)));
    resultLabel_->setPalette(palette);
    resultLabel_->setText(QStringLiteral("Failed"));
    resultLabel_->setVisible(isFullLayout());
    resultTextTimer_.start(kResultTextMs);
}

void CallDialog::setSettingsFile(std::string path, std::unique_ptr<CredentialStore> store) {
    settingsPath_ = std::move(path);
    store_ = store ? std::move(store) : noCredentialStore();
}

void CallDialog::showMessage(const QString& text) {
    const QString caption = QString::fromStdString(texts_.caption);
    if (presenter_) return presenter_(caption, text);
    // One box, reused: calls still go out while it is open (auto-call, a
    // second start, the hotkey), and a box each, each in a nested event loop,
    // piled up without end.
    if (!resultBox_) {
        resultBox_ = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    } else {
        resultBox_->setWindowTitle(caption);
        resultBox_->setText(text);
    }
    resultBox_->open();
    resultBox_->raise();
}

void CallDialog::setRequestButtonsEnabled(bool enabled) {
    for (const DlgItem item : {DlgItem::Call, DlgItem::Hangup, DlgItem::CallMin, DlgItem::HangupMin})
        buttons_[item]->setEnabled(enabled);
}

void CallDialog::setFullLayout(bool full) {
    autoHideTimer_.stop();
    const bool changed = state_.dialogIsMax != full;
    state_.dialogIsMax = full;
    applyLayout();
    if (changed) emit persistentStateChanged();
}

void CallDialog::hideDialog() {
    autoHideTimer_.stop();
    resultLabel_->hide();
    hide();
}

void CallDialog::applyLayout() {
    const bool full = isFullLayout();
    setFixedSize(toQt(dialogSize(full)));
    const auto place = [&](QWidget* widget, DlgItem item) {
        if (const auto geometry = itemGeometry(item, full, values_.showHangup)) {
            widget->setGeometry(toQt(*geometry));
            widget->show();
        } else {
            widget->hide();
        }
    };
    place(numberBox_, DlgItem::NumberBox);
    for (const auto& [item, button] : buttons_) place(button, item);
    if (!full) resultLabel_->hide();

    // The window's shape: everything but the see-through colour of the
    // background. (A mask image's "opaque" bits become the bitmap's clear
    // ones, hence MaskInColor.)
    const QPixmap background = skinPixmap(full ? SkinImage::BackgroundFull : SkinImage::BackgroundSmall, 1.0);
    if (!background.isNull() && !translucent_)
        setMask(QBitmap::fromImage(background.toImage().createMaskFromColor(kSkinKeyColour, Qt::MaskInColor)));
    update();
}

void CallDialog::applyFonts() {
    const bool h = values_.showHangup;
    numberBox_->setFonts(dialogFont(h ? kBoxFontHangup : kBoxFont), dialogFont(h ? kListFontHangup : kListFont));
}

void CallDialog::fillNumberBox() {
    QStringList entries;
    for (const std::string& entry : numberBoxEntries(log_)) entries << QString::fromStdString(entry);
    numberBox_->setEntries(entries);
}

void CallDialog::keepOnScreen() {
    const QRect frame(pos(), size());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        move(toQt(placeAtPointer(fromQt(frame.topRight()), fromQt(size()), fromQt(primary->availableGeometry()))));
}

void CallDialog::paintEvent(QPaintEvent*) {
    const QPixmap background =
        skinPixmap(isFullLayout() ? SkinImage::BackgroundFull : SkinImage::BackgroundSmall, devicePixelRatioF());
    QPainter painter(this);
    if (!background.isNull()) {
        if (translucent_) {
            QImage image = background.toImage().convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    if (line[x] == kSkinKeyColour) line[x] = 0;
            }
            image.setDevicePixelRatio(background.devicePixelRatio());
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(0, 0, image);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else {
            painter.drawPixmap(0, 0, background);
        }
    }
    if (isFullLayout()) {
        // The title beside the skin's mark; drawn here, in the desktop's font.
        QFont title = QApplication::font();
        title.setPixelSize(12);
        title.setWeight(QFont::DemiBold);
        painter.setFont(title);
        painter.setPen(QColor(0xd5, 0xda, 0xe1));
        painter.drawText(QRect(37, 12, 92, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Pellandor"));
    }
}

void CallDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    autoHideTimer_.stop();
    // The window manager moves us where it can; otherwise we follow the pointer.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void CallDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - *dragOffset_);
}

void CallDialog::mouseReleaseEvent(QMouseEvent*) {
    dragOffset_.reset();
}

void CallDialog::moveEvent(QMoveEvent*) {
    if (state_.dialogX == x() && state_.dialogY == y()) return;
    state_.dialogX = x();
    state_.dialogY = y();
    emit persistentStateChanged();
}

void CallDialog::closeEvent(QCloseEvent* event) {
    // Closing only hides, like Exit.
    hideDialog();
    // From the window manager: refused, since Qt would otherwise destroy the
    // native window and the next copy would wait some 10 ms to build it
    // again. From the application (quitting closes every window): accepted,
    // so the quit goes on.
    if (event->spontaneous())
        event->ignore();
    else
        event->accept();
}

}  // namespace pellandor
