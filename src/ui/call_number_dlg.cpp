#include "ui/call_number_dlg.h"

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
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace pellandor {

namespace {

class RequestFinishedEvent : public QEvent {
public:
    explicit RequestFinishedEvent(CallOutcome outcome)
        : QEvent(static_cast<QEvent::Type>(WM_CALLDLG_REQUEST)), outcome(std::move(outcome))
    {
    }
    const CallOutcome outcome;
};

// The number box reads at most this much, so an overlong paste cannot grow a request.
constexpr int kNumberReadLimit = 38;

QFont DialogFont(FontSpec spec)
{
    QFont font = QApplication::font();
    // A cell height holds the em plus its internal leading.
    font.setPixelSize(static_cast<int>(std::lround(spec.height * 0.8)));
    // The light weights of the table are legible only as regular text.
    font.setWeight(spec.weight < 400 ? QFont::Normal : static_cast<QFont::Weight>(std::min(spec.weight, 900)));
    return font;
}

}  // namespace

CCallNumberDlg::CCallNumberDlg(const DialingRules& rules, CallLog& log, DialogState& state, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), rules_(rules), log_(log), state_(state)
{
    QEvent::registerEventType(WM_CALLDLG_REQUEST);
    setWindowTitle(QStringLiteral("Ulvex Pellandor"));

    numberBox_ = new CNumberBox(this);
    connect(numberBox_, &CNumberBox::userActivity, &autoHideTimer_, &QTimer::stop);
    connect(numberBox_, &CNumberBox::escapePressed, this, &CCallNumberDlg::HideDialog);
    connect(numberBox_, &CNumberBox::enterPressed, this, [this] {
        const CSkinButton* call = Button(IsFullLayout() ? DlgItem::Call : DlgItem::CallMin);
        if (values_.callOnEnter && call->isEnabled())
            QMetaObject::invokeMethod(this, &CCallNumberDlg::OnCall, Qt::QueuedConnection);
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
    for (const ButtonSpec& spec : specs) buttons_[spec.item] = new CSkinButton(spec.normal, spec.hover, spec.pressed, this);
    connect(buttons_[DlgItem::Call], &QAbstractButton::clicked, this, &CCallNumberDlg::OnCall);
    connect(buttons_[DlgItem::CallMin], &QAbstractButton::clicked, this, &CCallNumberDlg::OnCall);
    connect(buttons_[DlgItem::Hangup], &QAbstractButton::clicked, this, &CCallNumberDlg::OnHangup);
    connect(buttons_[DlgItem::HangupMin], &QAbstractButton::clicked, this, &CCallNumberDlg::OnHangup);
    connect(buttons_[DlgItem::Minimize], &QAbstractButton::clicked, this, [this] { SetFullLayout(false); });
    connect(buttons_[DlgItem::Maximize], &QAbstractButton::clicked, this, [this] { SetFullLayout(true); });
    connect(buttons_[DlgItem::Exit], &QAbstractButton::clicked, this, &CCallNumberDlg::HideDialog);
    connect(buttons_[DlgItem::ExitMin], &QAbstractButton::clicked, this, &CCallNumberDlg::HideDialog);
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
    resultLabel_->setGeometry(kResultTextRect);
    resultLabel_->setAlignment(Qt::AlignCenter);
    resultLabel_->setFont(DialogFont(kResultFont));
    resultLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);  // dragging works over it too
    resultLabel_->hide();

    autoHideTimer_.setSingleShot(true);
    resultTextTimer_.setSingleShot(true);
    connect(&autoHideTimer_, &QTimer::timeout, this, [this] {
        resultLabel_->hide();
        hide();
    });
    connect(&resultTextTimer_, &QTimer::timeout, resultLabel_, &QLabel::hide);

    FillNumberBox();
    move(state_.dialogX, state_.dialogY);
    ApplyFonts();
    ApplyLayout();
    numberBox_->setFocus();
}

CCallNumberDlg::~CCallNumberDlg() = default;

void CCallNumberDlg::ApplyValues(const CallDialogValues& values, const LanguageTable& texts)
{
    const bool hangupChanged = values.showHangup != values_.showHangup;
    values_ = values;
    texts_ = ResultTextsFrom(texts);
    setWindowOpacity(values_.alpha / 255.0);
    if (hangupChanged) {
        ApplyFonts();
        ApplyLayout();
    }
}

void CCallNumberDlg::SetMessagePresenter(MessagePresenter presenter)
{
    presenter_ = std::move(presenter);
}

bool CCallNumberDlg::IsFullLayout() const
{
    return state_.dialogIsMax;
}

CSkinButton* CCallNumberDlg::Button(DlgItem item) const
{
    const auto found = buttons_.find(item);
    return found == buttons_.end() ? nullptr : found->second;
}

void CCallNumberDlg::ShowDialog()
{
    if (!isVisible()) numberBox_->clearEditText();
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    KeepOnScreen();
    show();
    raise();
    activateWindow();
    numberBox_->setFocus();
}

void CCallNumberDlg::ShowNumber(const std::string& text, std::optional<QPoint> point, bool showFlag)
{
    numberBox_->setEditText(QString::fromStdString(rules_.BuildDialString(text)));

    if (point) {
        QPoint position;
        if (values_.fixedPosition) {
            position = QPoint(state_.dialogX, state_.dialogY);
        } else {
            const QScreen* screen = QGuiApplication::screenAt(*point);
            position = PlaceAtPointer(*point, size(),
                                      screen ? std::optional(screen->availableGeometry()) : std::nullopt);
        }
        if (showFlag) {
            setAttribute(Qt::WA_ShowWithoutActivating, false);
            show();
            move(position);
        } else {
            move(position);
            setAttribute(Qt::WA_ShowWithoutActivating, true);
            show();
        }
        KeepOnScreen();
        // Brought to the front once, not kept there; otherwise sent behind.
        if (values_.topMost) {
            raise();
        } else {
            lower();
        }
        if (showFlag) {
            activateWindow();
            numberBox_->setFocus();
        }
    } else {
        show();
        raise();
        activateWindow();
    }

    if (values_.autoCall) QMetaObject::invokeMethod(this, &CCallNumberDlg::OnCall, Qt::QueuedConnection);
}

void CCallNumberDlg::RestartAutoHide()
{
    if (values_.autoHide) autoHideTimer_.start(values_.hideDelayMs);
}

void CCallNumberDlg::OnCall()
{
    StartRequest(CallKind::Call);
}

void CCallNumberDlg::OnHangup()
{
    StartRequest(CallKind::Hangup);
}

void CCallNumberDlg::StartRequest(CallKind kind)
{
    // A posted Call (Enter, auto-call) may arrive while a request runs.
    if (press_.IsRunning()) return;

    const std::string text = kind == CallKind::Call ? numberBox_->currentText().left(kNumberReadLimit).toStdString()
                                                    : std::string();
    const CCallPress::Begin begin =
        press_.Press(kind, values_, text, rules_, [this](const CallOutcome& outcome) {
            // Worker thread: hand the outcome over, touch nothing else.
            QCoreApplication::postEvent(this, new RequestFinishedEvent(outcome));
        });

    switch (begin.status) {
    case CCallPress::Status::IncompleteSettings:
        ShowFailedLabel();
        ShowMessage(QString::fromStdString(FormatResultMessage(SettingsGapMessage(begin.gap, texts_))));
        return;
    case CCallPress::Status::NotDialable:
        return;
    case CCallPress::Status::Refused:
        // No worker could start: shown like a request that got no answer.
        PresentOutcome(CallOutcome{{-XML_STEP_STARTED, begin.error}, kind == CallKind::Hangup, {}, {}});
        return;
    case CCallPress::Status::Started:
        break;
    }

    resultLabel_->clear();
    resultLabel_->hide();
    SetRequestButtonsEnabled(false);
    autoHideTimer_.stop();
    if (kind == CallKind::Call) {
        AddToCallLog(log_, begin.destination);
        FillNumberBox();
        numberBox_->setCurrentIndex(0);
        emit persistentStateChanged();
    }
}

bool CCallNumberDlg::event(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(WM_CALLDLG_REQUEST)) {
        PresentOutcome(static_cast<RequestFinishedEvent*>(event)->outcome);
        return true;
    }
    return QWidget::event(event);
}

void CCallNumberDlg::PresentOutcome(const CallOutcome& outcome)
{
    const ResultPresentation shown = PresentResult(outcome, texts_, values_.hideAfterSuccess, IsFullLayout());
    failed_ = shown.failed;
    if (!shown.failed) {
        autoHideTimer_.stop();
        if (shown.hideSoon) autoHideTimer_.start(kSuccessHideMs);
    }
    QPalette palette = resultLabel_->palette();
    palette.setColor(QPalette::WindowText, ResultColour(failed_));
    resultLabel_->setPalette(palette);
    resultLabel_->setText(shown.label);
    resultLabel_->setVisible(shown.showLabel);
    resultTextTimer_.start(kResultTextMs);
    // Enabled before the modal box, so the dialog is usable once it is closed.
    SetRequestButtonsEnabled(true);
    if (!shown.message.isEmpty()) ShowMessage(shown.message);
}

void CCallNumberDlg::ShowFailedLabel()
{
    failed_ = true;
    QPalette palette = resultLabel_->palette();
    palette.setColor(QPalette::WindowText, ResultColour(true));
    resultLabel_->setPalette(palette);
    resultLabel_->setText(QStringLiteral("Failed"));
    resultLabel_->setVisible(IsFullLayout());
    resultTextTimer_.start(kResultTextMs);
}

void CCallNumberDlg::ShowMessage(const QString& text)
{
    const QString caption = QString::fromStdString(texts_.RS_RESULT);
    if (presenter_) return presenter_(caption, text);
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    box.exec();
}

void CCallNumberDlg::SetRequestButtonsEnabled(bool enabled)
{
    for (const DlgItem item : {DlgItem::Call, DlgItem::Hangup, DlgItem::CallMin, DlgItem::HangupMin})
        buttons_[item]->setEnabled(enabled);
}

void CCallNumberDlg::SetFullLayout(bool full)
{
    autoHideTimer_.stop();
    const bool changed = state_.dialogIsMax != full;
    state_.dialogIsMax = full;
    ApplyLayout();
    if (changed) emit persistentStateChanged();
}

void CCallNumberDlg::HideDialog()
{
    autoHideTimer_.stop();
    resultLabel_->hide();
    hide();
}

void CCallNumberDlg::ApplyLayout()
{
    const bool full = IsFullLayout();
    setFixedSize(DialogSize(full));
    const auto place = [&](QWidget* widget, DlgItem item) {
        if (const auto geometry = ItemGeometry(item, full, values_.showHangup)) {
            widget->setGeometry(*geometry);
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
    const QPixmap background = SkinPixmap(full ? SkinImage::BackgroundFull : SkinImage::BackgroundSmall, 1.0);
    if (!background.isNull())
        setMask(QBitmap::fromImage(background.toImage().createMaskFromColor(kSkinKeyColour, Qt::MaskInColor)));
    update();
}

void CCallNumberDlg::ApplyFonts()
{
    const bool h = values_.showHangup;
    numberBox_->SetFonts(DialogFont(h ? kBoxFontHangup : kBoxFont), DialogFont(h ? kListFontHangup : kListFont));
}

void CCallNumberDlg::FillNumberBox()
{
    QStringList entries;
    for (const std::string& entry : NumberBoxEntries(log_)) entries << QString::fromStdString(entry);
    numberBox_->SetEntries(entries);
}

void CCallNumberDlg::KeepOnScreen()
{
    const QRect frame(pos(), size());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        move(PlaceAtPointer(frame.topRight(), size(), primary->availableGeometry()));
}

void CCallNumberDlg::paintEvent(QPaintEvent*)
{
    const QPixmap background =
        SkinPixmap(IsFullLayout() ? SkinImage::BackgroundFull : SkinImage::BackgroundSmall, devicePixelRatioF());
    QPainter painter(this);
    if (!background.isNull()) painter.drawPixmap(0, 0, background);
    if (IsFullLayout()) {
        // The title beside the skin's mark; drawn here, in the desktop's font.
        QFont title = QApplication::font();
        title.setPixelSize(12);
        title.setWeight(QFont::DemiBold);
        painter.setFont(title);
        painter.setPen(QColor(0xd5, 0xda, 0xe1));
        painter.drawText(QRect(37, 12, 92, 18), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Pellandor"));
    }
}

void CCallNumberDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    autoHideTimer_.stop();
    // The window manager moves us where it can; otherwise we follow the pointer.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void CCallNumberDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - *dragOffset_);
}

void CCallNumberDlg::mouseReleaseEvent(QMouseEvent*)
{
    dragOffset_.reset();
}

void CCallNumberDlg::moveEvent(QMoveEvent*)
{
    if (state_.dialogX == x() && state_.dialogY == y()) return;
    state_.dialogX = x();
    state_.dialogY = y();
    emit persistentStateChanged();
}

void CCallNumberDlg::closeEvent(QCloseEvent* event)
{
    // Closing only hides, like Exit.
    HideDialog();
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
