#include "win32_desktop/dialogs/win32_dialogs.h"

#include "base/secret_text.h"
#include "call/call_preparation.h"
#include "call/call_press.h"
#include "config/call_log.h"
#include "config/ini_file.h"
#include "config/settings_model.h"
#include "desktop_logic/call_dialog_layout.h"
#include "desktop_logic/command_ids.h"
#include "platform/credential_store.h"
#include "platform/win32/wide_text.h"
#include "service/result_message.h"
#include "win32_desktop/dialogs/common_controls.h"
#include "win32_desktop/dialogs/dialog_resources.h"
#include "win32_desktop/dialogs/dpi.h"
#include "win32_desktop/dialogs/skin_images.h"

#include <commctrl.h>

#include <map>
#include <memory>

namespace pellandor {

namespace {

// Posted by the request's worker with a heap CallOutcome in lParam.
constexpr UINT kRequestFinished = 32965;
constexpr UINT_PTR kAutoHideTimer = 1;
constexpr UINT_PTR kResultTextTimer = 2;
constexpr UINT_PTR kSaveLogTimer = 3;
// Set when the window is first made: the request's worker and TLS are
// readied once the dialog is on screen, so neither the first show nor the
// first call waits for them.
constexpr UINT_PTR kPrepareTimer = 4;
constexpr UINT_PTR kSubclassId = 1;
// The number box reads at most this many characters of its text.
constexpr int kNumberReadLimit = 38;
// How long a save of the recent numbers waits for another writer's lock.
constexpr int kLogLockWaitMs = 500;
// The drop-down list below the number box, in pixels at 96 dpi.
constexpr int kListHeight = 160;

struct ButtonSkin {
    int id;
    DlgItem item;
    int normal, hover, pressed;
};

constexpr ButtonSkin kButtons[] = {
    {IDC_CALL, DlgItem::Call, 167, 169, 168},         {IDC_HANGUP, DlgItem::Hangup, 170, 172, 171},
    {IDC_CALL_MIN, DlgItem::CallMin, 190, 192, 191},  {IDC_HANGUP_MIN, DlgItem::HangupMin, 198, 200, 199},
    {IDC_MINIMIZE, DlgItem::Minimize, 174, 175, 176}, {IDC_MAXIMIZE, DlgItem::Maximize, 181, 182, 183},
    {IDC_EXIT, DlgItem::Exit, 154, 156, 155},         {IDC_EXIT_MIN, DlgItem::ExitMin, 178, 180, 179},
};
constexpr int kBackgroundFull = 173;
constexpr int kBackgroundSmall = 197;
constexpr int kArrow = 152;
constexpr int kArrowPressed = 153;

const ButtonSkin* buttonSkin(int id) {
    for (const ButtonSkin& b : kButtons) {
        if (b.id == id) return &b;
    }
    return nullptr;
}

COLORREF colour(Rgb c) {
    return RGB(c.red, c.green, c.blue);
}

HFONT makeFont(FontSpec spec, UINT dpi) {
    return CreateFontW(-scaled(spec.height, dpi) * 4 / 5, 0, 0, 0, spec.weight < 400 ? FW_NORMAL : spec.weight, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH, L"Tahoma");
}

}  // namespace

struct Win32CallDialog::State {
    State(HINSTANCE instance, SettingsModel& model) : instance(instance), model(model) {}

    HINSTANCE instance;
    SettingsModel& model;
    std::size_t subscription = 0;
    HWND window = nullptr;
    HWND box = nullptr;
    HWND boxEdit = nullptr;
    CallLog log;
    DialogState place;
    CallDialogValues values;
    ResultTexts texts;
    UINT dpi = 96;
    SkinImages skin;
    HFONT boxFont = nullptr;
    HFONT listFont = nullptr;
    HFONT resultFont = nullptr;
    HBRUSH boxBrush = CreateSolidBrush(colour(kNumberBoxFill));
    HBRUSH frameBrush = CreateSolidBrush(colour(kNumberBoxFrame));
    std::map<int, bool> hover;
    bool failed = false;
    bool resultShown = false;
    std::wstring resultText;
    bool messageOpen = false;
    std::wstring pendingMessage;
    std::unique_ptr<CredentialStore> store = openCredentialStore();
    // Read again at a press only when the file changed.
    IniSnapshotCache settingsFile;
    // Made once the window is shown (or by the first press); reset first
    // when the dialog goes, so its worker is joined before the window it
    // posts to.
    std::unique_ptr<CallPress> caller;

    ~State() {
        for (HGDIOBJ o :
             {static_cast<HGDIOBJ>(boxFont), static_cast<HGDIOBJ>(listFont), static_cast<HGDIOBJ>(resultFont),
              static_cast<HGDIOBJ>(boxBrush), static_cast<HGDIOBJ>(frameBrush)}) {
            if (o != nullptr) DeleteObject(o);
        }
    }

    bool full() const { return place.dialogIsMax; }
    int px(int v) const { return scaled(v, dpi); }
    RECT rectOf(Rect r) const { return {px(r.x), px(r.y), px(r.right()), px(r.bottom())}; }
    SIZE windowSize() const {
        const Size s = dialogSize(full());
        return {px(s.width), px(s.height)};
    }

    void create();
    void buildForDpi();
    void applyValues();
    void applyLayout();
    void fillList();
    void saveLog();
    void press(CallKind kind);
    void enterInBox();
    void present(const CallOutcome& outcome);
    void showFailedLabel();
    void showMessage(const std::string& text);
    void setRequestButtonsEnabled(bool enabled);
    void setFull(bool full);
    void hide();
    void keepOnScreen();
    void startAutoHide();
    void paint(HDC dc);
    void drawButton(const DRAWITEMSTRUCT& item);
    void paintBoxFrame();

    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK editProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK comboProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK buttonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

void Win32CallDialog::State::create() {
    // Made when first shown: a tray program that never shows it keeps
    // neither its window, its skin nor the common controls.
    if (window != nullptr) return;
    loadCommonControls();
    window =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_CALL), nullptr, dialogProc, reinterpret_cast<LPARAM>(this));
    // A timer, not a posted message: it comes after the first paint.
    if (window != nullptr) SetTimer(window, kPrepareTimer, USER_TIMER_MINIMUM, nullptr);
}

void Win32CallDialog::State::buildForDpi() {
    skin.build(instance, dpi / 96.0);
    for (HFONT* f : {&boxFont, &listFont, &resultFont}) {
        if (*f != nullptr) DeleteObject(*f);
    }
    const bool h = values.showHangup;
    boxFont = makeFont(h ? kBoxFontHangup : kBoxFont, dpi);
    listFont = makeFont(h ? kListFontHangup : kListFont, dpi);
    resultFont = makeFont(kResultFont, dpi);
    if (box != nullptr) {
        SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(boxFont), FALSE);
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        if (GetComboBoxInfo(box, &info) && info.hwndList != nullptr)
            SendMessageW(info.hwndList, WM_SETFONT, reinterpret_cast<WPARAM>(listFont), FALSE);
    }
}

void Win32CallDialog::State::applyValues() {
    const bool hangupChanged = values.showHangup != model.callDialogValues().showHangup;
    values = model.callDialogValues();
    texts = resultTextsFrom(model.texts());
    if (window == nullptr) return;
    if (hangupChanged) buildForDpi();
    SetLayeredWindowAttributes(window, colour(kSkinKey), values.alpha, LWA_COLORKEY | LWA_ALPHA);
    applyLayout();
}

void Win32CallDialog::State::applyLayout() {
    const SIZE size = windowSize();
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const bool f = full();
    if (const auto r = itemGeometry(DlgItem::NumberBox, f, values.showHangup)) {
        const RECT rc = rectOf(*r);
        MoveWindow(box, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top + px(kListHeight), FALSE);
        // The selection field's height is the item height and its frame.
        SendMessageW(box, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), rc.bottom - rc.top - 6);
    }
    for (const ButtonSkin& b : kButtons) {
        HWND button = GetDlgItem(window, b.id);
        if (const auto r = itemGeometry(b.item, f, values.showHangup)) {
            const RECT rc = rectOf(*r);
            MoveWindow(button, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
            ShowWindow(button, SW_SHOWNA);
        } else {
            ShowWindow(button, SW_HIDE);
        }
    }
    if (!f) resultShown = false;
    InvalidateRect(window, nullptr, TRUE);
}

void Win32CallDialog::State::fillList() {
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> entries = numberBoxEntries(log);
    for (std::size_t i = 0; i < entries.size(); ++i)
        SendMessageW(box, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(win32::widen(entries[i]).c_str()));
    // An empty list would drop down as a sliver.
    if (entries.empty()) SendMessageW(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(L""));
}

void Win32CallDialog::State::saveLog() {
    if (window != nullptr) KillTimer(window, kSaveLogTimer);
    // Saved again with the next number; a debugger hears why this one was not.
    if (const Status saved = saveCallLogWithin(model.settingsPath(), log, place, kLogLockWaitMs); !saved)
        OutputDebugStringW(win32::widen("recent numbers not saved: " + saved.error()).c_str());
}

void Win32CallDialog::State::startAutoHide() {
    // A delay of 0 means "no delay set", not "hide at once".
    if (values.autoHide && values.hideDelayMs > 0) SetTimer(window, kAutoHideTimer, values.hideDelayMs, nullptr);
}

void Win32CallDialog::State::press(CallKind kind) {
    if (!caller) caller = std::make_unique<CallPress>();
    // A posted Call (Enter, auto-call) may arrive while a request runs.
    if (caller->isRunning()) return;
    std::string text;
    if (kind == CallKind::Call) {
        wchar_t buffer[kNumberReadLimit + 1] = {};
        GetWindowTextW(box, buffer, kNumberReadLimit + 1);
        text = win32::narrow(buffer);
    }
    HWND target = window;
    // The settings file and the keyring are read here, on the GUI thread,
    // never by the request's worker.
    CallDialogValues account = values;
    prepareCall(settingsFile.snapshot(model.settingsPath()), account, *caller, *store);
    const CallPress::PressResult pressed =
        caller->press(kind, account, text, model.rules(), [target](const CallOutcome& outcome) {
            // Worker thread: hand the outcome over, touch nothing else.
            auto payload = std::make_unique<CallOutcome>(outcome);
            if (PostMessageW(target, kRequestFinished, 0, reinterpret_cast<LPARAM>(payload.get()))) payload.release();
        });
    wipeString(account.password);
    switch (pressed.state) {
        case CallPress::PressState::IncompleteSettings:
            showFailedLabel();
            showMessage(formatResultMessage(settingsGapMessage(pressed.gap, texts)));
            return;
        case CallPress::PressState::NotDialable:
            return;
        case CallPress::PressState::Refused:
            present(CallOutcome{{-kStepStarted, pressed.error}, kind == CallKind::Hangup, {}, {}});
            return;
        case CallPress::PressState::Started:
            break;
    }
    resultShown = false;
    // Only the result text goes: repainting the whole layered window would
    // compete with the request's handshake for no change on screen.
    const RECT resultRect = rectOf(kResultTextRect);
    InvalidateRect(window, &resultRect, FALSE);
    setRequestButtonsEnabled(false);
    KillTimer(window, kAutoHideTimer);
    if (kind == CallKind::Call) {
        addToCallLog(log, pressed.destination);
        // Refilled and reselected unseen, then drawn once: each step drawn
        // on its own would compete with the request just started.
        SendMessageW(box, WM_SETREDRAW, FALSE, 0);
        fillList();
        SendMessageW(box, CB_SETCURSEL, 0, 0);
        SendMessageW(box, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
        // Saved a little later, as on Linux: the file work would share the
        // CPU with the handshake. Ending the program saves at once.
        SetTimer(window, kSaveLogTimer, cmd::kSaveDebounceMs, nullptr);
    }
}

void Win32CallDialog::State::enterInBox() {
    KillTimer(window, kAutoHideTimer);
    // Called here, not posted as a click: a posted message would wait its
    // turn while the request could already be on its way.
    if (values.callOnEnter && IsWindowEnabled(GetDlgItem(window, IDC_CALL)) != FALSE) press(CallKind::Call);
}

void Win32CallDialog::State::present(const CallOutcome& outcome) {
    // A first call's key is kept, so a changed one is refused later.
    (void)finishCall(model.settingsPath(), outcome);
    const ResultPresentation shown = presentResult(outcome, texts, values.hideAfterSuccess, full());
    failed = shown.failed;
    if (!shown.failed) {
        KillTimer(window, kAutoHideTimer);
        if (shown.hideSoon) SetTimer(window, kAutoHideTimer, kSuccessHideMs, nullptr);
    }
    resultText = win32::widen(shown.label);
    resultShown = shown.showLabel;
    SetTimer(window, kResultTextTimer, kResultTextMs, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    // Enabled before the modal box, so the dialog is usable once it is closed.
    setRequestButtonsEnabled(true);
    if (!shown.message.empty()) showMessage(shown.message);
}

void Win32CallDialog::State::showFailedLabel() {
    failed = true;
    resultText = L"Failed";
    resultShown = full();
    SetTimer(window, kResultTextTimer, kResultTextMs, nullptr);
    InvalidateRect(window, nullptr, FALSE);
}

void Win32CallDialog::State::showMessage(const std::string& text) {
    // One box at a time: calls still go out while it is open (auto-call, a
    // second start), and a box each would pile up in nested loops. The
    // latest text waits and is shown when the open box is closed.
    pendingMessage = win32::widen(text);
    if (messageOpen) return;
    messageOpen = true;
    while (!pendingMessage.empty()) {
        const std::wstring shown = std::move(pendingMessage);
        pendingMessage.clear();
        MessageBoxW(window, shown.c_str(), win32::widen(texts.caption).c_str(), MB_OK | MB_ICONERROR);
    }
    messageOpen = false;
}

void Win32CallDialog::State::setRequestButtonsEnabled(bool enabled) {
    for (const int id : {IDC_CALL, IDC_HANGUP, IDC_CALL_MIN, IDC_HANGUP_MIN})
        EnableWindow(GetDlgItem(window, id), enabled);
}

void Win32CallDialog::State::setFull(bool f) {
    KillTimer(window, kAutoHideTimer);
    if (place.dialogIsMax == f) return;
    place.dialogIsMax = f;
    applyLayout();
    saveLog();
}

void Win32CallDialog::State::hide() {
    if (window == nullptr) return;
    KillTimer(window, kAutoHideTimer);
    resultShown = false;
    ShowWindow(window, SW_HIDE);
}

void Win32CallDialog::State::keepOnScreen() {
    RECT r;
    GetWindowRect(window, &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& w = monitor.rcWork;
    const Point p = keepInside(Rect{r.left, r.top, r.right - r.left, r.bottom - r.top},
                               Rect{w.left, w.top, w.right - w.left, w.bottom - w.top});
    if (p.x != r.left || p.y != r.top)
        SetWindowPos(window, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32CallDialog::State::paint(HDC dc) {
    const int id = full() ? kBackgroundFull : kBackgroundSmall;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, skin.bitmap(id));
    const SIZE size = skin.size(id);
    BitBlt(dc, 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    if (resultShown && full()) {
        RECT r = rectOf(kResultTextRect);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colour(resultColour(failed)));
        HGDIOBJ oldFont = SelectObject(dc, resultFont);
        DrawTextW(dc, resultText.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, oldFont);
    }
}

void Win32CallDialog::State::drawButton(const DRAWITEMSTRUCT& item) {
    const ButtonSkin* b = buttonSkin(static_cast<int>(item.CtlID));
    if (b == nullptr) return;
    const int w = item.rcItem.right - item.rcItem.left, h = item.rcItem.bottom - item.rcItem.top;
    // Composed off screen: the background under the button, then its image.
    HDC memory = CreateCompatibleDC(item.hDC);
    HBITMAP canvas = CreateCompatibleBitmap(item.hDC, w, h);
    HGDIOBJ oldCanvas = SelectObject(memory, canvas);
    RECT inDialog = item.rcItem;
    MapWindowPoints(item.hwndItem, window, reinterpret_cast<POINT*>(&inDialog), 2);
    HDC background = CreateCompatibleDC(item.hDC);
    HGDIOBJ oldBackground = SelectObject(background, skin.bitmap(full() ? kBackgroundFull : kBackgroundSmall));
    BitBlt(memory, 0, 0, w, h, background, inDialog.left, inDialog.top, SRCCOPY);
    SelectObject(background, oldBackground);
    DeleteDC(background);
    const int image = (item.itemState & ODS_SELECTED) ? b->pressed : hover[b->id] ? b->hover : b->normal;
    drawSkinImage(memory, skin.bitmap(image), skin.size(image), RECT{0, 0, w, h});
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldCanvas);
    DeleteObject(canvas);
    DeleteDC(memory);
}

void Win32CallDialog::State::paintBoxFrame() {
    // Flat: a one-pixel frame, the fill around the field and the arrow image.
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!GetComboBoxInfo(box, &info)) return;
    RECT client;
    GetClientRect(box, &client);
    HDC dc = GetDC(box);
    ExcludeClipRect(dc, info.rcItem.left, info.rcItem.top, info.rcItem.right, info.rcItem.bottom);
    FillRect(dc, &client, boxBrush);
    FrameRect(dc, &client, frameBrush);
    const bool dropped = SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0) != 0;
    RECT arrow = info.rcButton;
    arrow.right = client.right - 1;
    arrow.top = client.top + 1;
    arrow.bottom = client.bottom - 1;
    if (dropped) {
        HBRUSH pressed = CreateSolidBrush(colour(kArrowPressedFill));
        FillRect(dc, &arrow, pressed);
        DeleteObject(pressed);
    }
    const int image = dropped ? kArrowPressed : kArrow;
    const SIZE size = skin.size(image);
    const int x = arrow.left + (arrow.right - arrow.left - size.cx) / 2;
    const int y = arrow.top + (arrow.bottom - arrow.top - size.cy) / 2;
    drawSkinImage(dc, skin.bitmap(image), size, RECT{x, y, x + size.cx, y + size.cy});
    ReleaseDC(box, dc);
}

INT_PTR CALLBACK Win32CallDialog::State::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<State*>(lParam);
        self->window = window;
        return self->handle(message, wParam, lParam);
    }
    auto* self = reinterpret_cast<State*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32CallDialog::State::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
            SetWindowTextW(window, L"Ulvex Pellandor");
            dpi = windowDpi(window);
            box = GetDlgItem(window, IDC_NUMBER_BOX);
            COMBOBOXINFO info{};
            info.cbSize = sizeof(info);
            if (GetComboBoxInfo(box, &info)) boxEdit = info.hwndItem;
            SetWindowSubclass(box, comboProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
            if (boxEdit != nullptr)
                SetWindowSubclass(boxEdit, editProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
            for (const ButtonSkin& b : kButtons)
                SetWindowSubclass(GetDlgItem(window, b.id), buttonProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
            SendMessageW(box, CB_LIMITTEXT, kNumberBoxLimit, 0);
            values = model.callDialogValues();
            texts = resultTextsFrom(model.texts());
            buildForDpi();
            fillList();
            SetLayeredWindowAttributes(window, colour(kSkinKey), values.alpha, LWA_COLORKEY | LWA_ALPHA);
            SetWindowPos(window, nullptr, place.dialogX, place.dialogY, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            applyLayout();
            return FALSE;
        }
        case WM_ERASEBKGND:
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            paint(dc);
            EndPaint(window, &ps);
            return TRUE;
        }
        case WM_DRAWITEM:
            drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkColor(dc, colour(kNumberBoxFill));
            return reinterpret_cast<INT_PTR>(boxBrush);
        }
        case WM_LBUTTONDOWN:
            // Dragged from anywhere on its background.
            KillTimer(window, kAutoHideTimer);
            ReleaseCapture();
            SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return TRUE;
        case WM_MOVE: {
            if (IsIconic(window)) return FALSE;
            RECT r;
            GetWindowRect(window, &r);
            place.dialogX = r.left;
            place.dialogY = r.top;
            return FALSE;
        }
        case WM_EXITSIZEMOVE:
            keepOnScreen();
            saveLog();
            return TRUE;
        case WM_DPICHANGED: {
            dpi = HIWORD(wParam);
            buildForDpi();
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            applyLayout();
            return TRUE;
        }
        case WM_DISPLAYCHANGE:
            keepOnScreen();
            return FALSE;
        case WM_TIMER:
            if (wParam == kAutoHideTimer) {
                hide();
            } else if (wParam == kPrepareTimer) {
                KillTimer(window, kPrepareTimer);
                if (!caller) caller = std::make_unique<CallPress>();
                caller->prepare();
            } else if (wParam == kSaveLogTimer) {
                saveLog();
            } else if (wParam == kResultTextTimer) {
                KillTimer(window, kResultTextTimer);
                resultShown = false;
                InvalidateRect(window, nullptr, FALSE);
            }
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_CALL:
                case IDC_CALL_MIN:
                    press(CallKind::Call);
                    return TRUE;
                case IDC_HANGUP:
                case IDC_HANGUP_MIN:
                    press(CallKind::Hangup);
                    return TRUE;
                case IDC_MINIMIZE:
                    setFull(false);
                    return TRUE;
                case IDC_MAXIMIZE:
                    setFull(true);
                    return TRUE;
                case IDC_EXIT:
                case IDC_EXIT_MIN:
                case IDCANCEL:  // Escape
                    hide();
                    return TRUE;
                case IDC_NUMBER_BOX:
                    if (HIWORD(wParam) == CBN_DROPDOWN || HIWORD(wParam) == CBN_SELCHANGE)
                        KillTimer(window, kAutoHideTimer);
                    if (HIWORD(wParam) == CBN_DROPDOWN || HIWORD(wParam) == CBN_CLOSEUP) paintBoxFrame();
                    return TRUE;
                default:
                    return TRUE;  // IDOK (Enter outside the box) included: nothing
            }
        case WM_CLOSE:
            hide();
            return TRUE;
        case kRequestFinished: {
            const std::unique_ptr<CallOutcome> outcome(reinterpret_cast<CallOutcome*>(lParam));
            present(*outcome);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

LRESULT CALLBACK Win32CallDialog::State::editProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR data) {
    auto* self = reinterpret_cast<State*>(data);
    switch (message) {
        case WM_GETDLGCODE:
            // Enter is the box's own; the dialog manager must not take it.
            if (lParam != 0 && reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
                return DefSubclassProc(edit, message, wParam, lParam) | DLGC_WANTALLKEYS;
            break;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                self->enterInBox();
                return 0;
            }
            KillTimer(self->window, kAutoHideTimer);  // the user is typing
            break;
        case WM_CHAR: {
            if (wParam == L'\r' || wParam == L'\n') return 0;
            const wchar_t typed[2] = {static_cast<wchar_t>(wParam), 0};
            if (!isTypedTextAccepted(win32::narrow(typed))) return 0;
            break;
        }
        default:
            break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK Win32CallDialog::State::comboProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                   DWORD_PTR data) {
    auto* self = reinterpret_cast<State*>(data);
    if (message == WM_LBUTTONDOWN) KillTimer(self->window, kAutoHideTimer);
    const LRESULT result = DefSubclassProc(combo, message, wParam, lParam);
    if (message == WM_PAINT || message == WM_ENABLE || message == WM_SETFOCUS || message == WM_KILLFOCUS)
        self->paintBoxFrame();
    return result;
}

LRESULT CALLBACK Win32CallDialog::State::buttonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                    DWORD_PTR data) {
    auto* self = reinterpret_cast<State*>(data);
    const int id = GetDlgCtrlID(button);
    if (message == WM_MOUSEMOVE && !self->hover[id]) {
        self->hover[id] = true;
        InvalidateRect(button, nullptr, FALSE);
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, button, 0};
        TrackMouseEvent(&track);
    } else if (message == WM_MOUSELEAVE) {
        self->hover[id] = false;
        InvalidateRect(button, nullptr, FALSE);
        return 0;
    }
    return DefSubclassProc(button, message, wParam, lParam);
}

Win32CallDialog::Win32CallDialog(HINSTANCE instance, SettingsModel& model) : state_(new State(instance, model)) {
    loadCallLog(model.settingsPath(), state_->log, state_->place);
    state_->values = model.callDialogValues();
    State* state = state_;
    state_->subscription = model.subscribe([state](const SettingsChange& change) {
        if (change.has(kAspectCallDialog) || change.has(kAspectLanguage)) state->applyValues();
    });
}

Win32CallDialog::~Win32CallDialog() {
    state_->model.unsubscribe(state_->subscription);
    HWND window = state_->window;
    state_->saveLog();
    // Joins a running request's worker; results it posted are freed below.
    state_->caller.reset();
    MSG pending;
    while (window != nullptr && PeekMessageW(&pending, window, kRequestFinished, kRequestFinished, PM_REMOVE))
        delete reinterpret_cast<CallOutcome*>(pending.lParam);
    if (window != nullptr) DestroyWindow(window);
    delete state_;
}

void Win32CallDialog::showNumber(const std::string& utf8Number, bool autoCall) {
    State& s = *state_;
    s.create();
    SetWindowTextW(s.box, win32::widen(s.model.rules().buildDialString(utf8Number)).c_str());
    const SIZE size = s.windowSize();
    Point position{s.place.dialogX, s.place.dialogY};
    if (!s.values.fixedPosition) {
        POINT cursor{};
        GetCursorPos(&cursor);
        std::optional<Rect> workArea;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        HMONITOR under = MonitorFromPoint(cursor, MONITOR_DEFAULTTONULL);
        if (under != nullptr && GetMonitorInfoW(under, &monitor)) {
            const RECT& w = monitor.rcWork;
            workArea = Rect{w.left, w.top, w.right - w.left, w.bottom - w.top};
        }
        position = placeAtPointer(Point{cursor.x, cursor.y}, Size{size.cx, size.cy}, workArea);
    }
    // Brought to the front once, not kept there.
    const UINT activate = s.values.topMost ? 0 : SWP_NOACTIVATE;
    SetWindowPos(s.window, HWND_TOPMOST, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | activate);
    SetWindowPos(s.window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (s.values.fixedPosition) s.keepOnScreen();
    if (s.values.topMost) SetForegroundWindow(s.window);
    s.startAutoHide();
    if (autoCall) PostMessageW(s.window, WM_COMMAND, IDC_CALL, 0);
}

void Win32CallDialog::showDialog() {
    State& s = *state_;
    s.create();
    if (!IsWindowVisible(s.window)) SetWindowTextW(s.box, L"");
    s.keepOnScreen();
    ShowWindow(s.window, SW_SHOW);
    SetForegroundWindow(s.window);
    SendMessageW(s.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(s.box), TRUE);
}

void Win32CallDialog::hide() {
    state_->hide();
}

bool Win32CallDialog::isVisible() const {
    return state_->window != nullptr && IsWindowVisible(state_->window) != FALSE;
}

HWND Win32CallDialog::window() const {
    return state_->window;
}

bool Win32CallDialog::handleDialogMessage(MSG& message) {
    HWND window = state_->window;
    if (window == nullptr || !IsWindowVisible(window)) return false;
    if (message.hwnd != window && !IsChild(window, message.hwnd)) return false;
    // Enter in the box calls at once, before the key is translated and
    // dispatched: under Wine both took a good part of the time from the key
    // to the request, and the box would swallow the key anyway.
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && message.hwnd == state_->boxEdit) {
        state_->enterInBox();
        return true;
    }
    return IsDialogMessageW(window, &message) != FALSE;
}

}  // namespace pellandor
