#include "win32_desktop/dialogs/win32_dialogs.h"

#include "base/secret_text.h"
#include "call/keyring_password.h"
#include "call/settings_dialog_save.h"
#include "config/ini_file.h"
#include "config/security_settings.h"
#include "config/settings_model.h"
#include "desktop_logic/settings_choices.h"
#include "desktop_logic/trust_display.h"
#include "dialing/text_utils.h"
#include "platform/credential_store.h"
#include "platform/win32/wide_text.h"
#include "win32_desktop/dialogs/common_controls.h"
#include "win32_desktop/dialogs/dialog_resources.h"
#include "win32_desktop/dialogs/dpi.h"
#include "win32_desktop/dialogs/template_layout.h"

#include <commctrl.h>

#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pellandor {

namespace {

constexpr int kAccountLimit = 20;
constexpr int kAddressLimit = 255;
constexpr int kPortLimit = 5;
constexpr int kCodeLimit = 10;
constexpr int kSecondsLimit = 3;
constexpr int kEqualDigitsLimit = 10;
constexpr int kMinLengthLimit = 1;
constexpr int kPrefixLimit = 10;
constexpr int kLengthLimit = 1;
constexpr COLORREF kBackground = RGB(230, 230, 230);
constexpr COLORREF kBullet = RGB(0x1f, 0x9d, 0x55);
constexpr COLORREF kBulletDisabled = RGB(170, 170, 170);
// A note beside a control: quieter than a label, still easy to read on the ground.
constexpr COLORREF kNoteText = RGB(96, 96, 96);

// The track bar's position is kept from the moment it moves, even when the
// dialog is cancelled, and saved with the next OK or Apply.
std::optional<int> gMovedTransparency;

struct Texted {
    int id;
    const char* key;                // in the language file, else
    const char* english = nullptr;  // only in English
};

std::wstring wide(const std::string& text) {
    return win32::widen(text);
}

std::string controlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return win32::narrow(text);
}

void setControlText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, wide(text).c_str());
}

// Typing is limited; a longer stored value is shown whole.
void setLimitedText(HWND dialog, int id, const std::string& text, int limit) {
    const int length = static_cast<int>(wide(text).size());
    SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(std::max(limit, length)), 0);
    setControlText(dialog, id, text);
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void setChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void enable(HWND dialog, std::initializer_list<int> ids, bool enabled) {
    for (const int id : ids) EnableWindow(GetDlgItem(dialog, id), enabled);
}

// Sets `items` texts from `table` with access letters, the first
// `exclusive` never sharing theirs.
void setMarkedTexts(HWND dialog, const LanguageTable& table, const std::vector<Texted>& items, int exclusive = -1) {
    std::vector<std::u16string> texts;
    for (const Texted& item : items) {
        const std::wstring text = wide(item.key != nullptr ? table.text(item.key) : std::string(item.english));
        texts.emplace_back(text.begin(), text.end());
    }
    const std::vector<std::u16string> marked = withMnemonics(texts, exclusive);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::wstring text(marked[i].begin(), marked[i].end());
        SetDlgItemTextW(dialog, items[i].id, text.c_str());
    }
}

// The saved-nowhere warning, naming the file and why.
void showSaveFailure(HWND owner, const std::string& message, const std::string& path, const std::string& reason) {
    std::string text = message;
    if (const auto at = text.find("%1"); at != std::string::npos) text.replace(at, 2, path);
    if (!reason.empty()) text += "\n\n" + reason;
    MessageBoxW(owner, wide(text).c_str(), L"Error", MB_OK | MB_ICONWARNING);
}

// What the three dialogs share: the pixel layout of their template at the
// monitor's DPI, their fonts and their light grey ground.
class SettingsWindow {
public:
    SettingsWindow(HINSTANCE instance, SettingsModel& model, int templateId)
        : instance_(instance), model_(model), templateId_(templateId) {}
    virtual ~SettingsWindow() {
        for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(titleFont_),
                          static_cast<HGDIOBJ>(background_), static_cast<HGDIOBJ>(white_)}) {
            if (o != nullptr) DeleteObject(o);
        }
    }
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    INT_PTR run(HWND owner) {
        loadCommonControls();
        return DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId_), owner, proc, reinterpret_cast<LPARAM>(this));
    }

protected:
    virtual void opened() = 0;
    virtual void command(int id, int code) = 0;
    virtual void scrolled(HWND) {}
    // Controls shown in the title font.
    virtual std::vector<int> titles() const { return {}; }
    // Labels written in the quieter note colour.
    virtual bool isNote(int) const { return false; }

    HWND window() const { return window_; }
    HINSTANCE instance() const { return instance_; }
    SettingsModel& model() const { return model_; }
    UINT dpi() const { return dpi_; }

    void moveTo(int x, int y) { SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }

    // OK of a dialling dialog: saved and closed, or the refusal shown and
    // the dialog left open with what was typed.
    void saveDialingAndClose(const AppSettings& next, SettingsPart part) {
        if (const Status saved = model().save(next, part); !saved) {
            showSaveFailure(window_, model().texts().message("AL_DIALING_NOT_SAVED"), model().settingsPath(),
                            saved.error());
            return;
        }
        EndDialog(window_, 1);
    }

private:
    void layOut() {
        applyTemplateLayout(window_, layout_, dpi_);
        // Cell heights (positive), as the pixel layout was made for.
        for (HFONT* f : {&font_, &titleFont_}) {
            if (*f != nullptr) DeleteObject(*f);
        }
        font_ = CreateFontW(scaled(15, dpi_), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Tahoma");
        titleFont_ = CreateFontW(scaled(17, dpi_), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Tahoma");
        for (const TemplateItem& item : layout_.items)
            SendDlgItemMessageW(window_, item.id, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        for (const int id : titles())
            SendDlgItemMessageW(window_, id, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_), TRUE);
    }

    static INT_PTR CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            auto* self = reinterpret_cast<SettingsWindow*>(lParam);
            self->window_ = window;
            self->dpi_ = windowDpi(window);
            self->layout_ = readTemplateLayout(self->instance_, self->templateId_);
            self->layOut();
            self->opened();
            return FALSE;  // opened() set the focus
        }
        auto* self = reinterpret_cast<SettingsWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr) return FALSE;
        switch (message) {
            case WM_COMMAND:
                self->command(LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            case WM_HSCROLL:
                self->scrolled(reinterpret_cast<HWND>(lParam));
                return TRUE;
            case WM_CLOSE:
                EndDialog(window, 0);
                return TRUE;
            case WM_DRAWITEM: {
                // The bullets: small squares in the brand's green.
                const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
                HBRUSH bullet = CreateSolidBrush(IsWindowEnabled(item->hwndItem) ? kBullet : kBulletDisabled);
                FillRect(item->hDC, &item->rcItem, bullet);
                DeleteObject(bullet);
                return TRUE;
            }
            case WM_CTLCOLORDLG:
                return reinterpret_cast<INT_PTR>(self->background_);
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                if (message == WM_CTLCOLORSTATIC && self->isNote(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))))
                    SetTextColor(reinterpret_cast<HDC>(wParam), kNoteText);
                return reinterpret_cast<INT_PTR>(self->background_);
            case WM_CTLCOLOREDIT:
                SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
                return reinterpret_cast<INT_PTR>(self->white_);
            case WM_DPICHANGED: {
                self->dpi_ = HIWORD(wParam);
                const auto* suggested = reinterpret_cast<const RECT*>(lParam);
                self->moveTo(suggested->left, suggested->top);
                self->layOut();
                return TRUE;
            }
            default:
                return FALSE;
        }
    }

    HINSTANCE instance_;
    SettingsModel& model_;
    int templateId_;
    HWND window_ = nullptr;
    UINT dpi_ = 96;
    TemplateLayout layout_;
    HFONT font_ = nullptr;
    HFONT titleFont_ = nullptr;
    HBRUSH background_ = CreateSolidBrush(kBackground);
    HBRUSH white_ = CreateSolidBrush(RGB(255, 255, 255));
};

class SpecialDialingWindow : public SettingsWindow {
public:
    SpecialDialingWindow(HINSTANCE instance, SettingsModel& model)
        : SettingsWindow(instance, model, IDD_SPECIAL_DIALING) {}

private:
    static constexpr int kPrefixes[] = {IDC_SPC_PREFIX1, IDC_SPC_PREFIX2, IDC_SPC_PREFIX3, IDC_SPC_PREFIX4,
                                        IDC_SPC_PREFIX5};
    static constexpr int kPrefixLabels[] = {IDC_SPC_LABEL_PREFIX1, IDC_SPC_LABEL_PREFIX2, IDC_SPC_LABEL_PREFIX3,
                                            IDC_SPC_LABEL_PREFIX4, IDC_SPC_LABEL_PREFIX5};
    static constexpr int kPrefixBullets[] = {1120, 1121, 1122, 1123, 1124};

    void opened() override {
        HWND d = window();
        const AppSettings& v = model().settings();
        setChecked(d, IDC_SPC_NON_STD, v.useNonStandard);
        setChecked(d, IDC_SPC_PREFIX, v.usePrefix);
        setChecked(d, IDC_SPC_LENGTH_CHECK, v.useCoExtensionLength);
        const std::string* values[] = {&v.prefix1, &v.prefix2, &v.prefix3, &v.prefix4, &v.prefix5};
        for (std::size_t i = 0; i < 5; ++i) setLimitedText(d, kPrefixes[i], *values[i], kPrefixLimit);
        setLimitedText(d, IDC_SPC_LENGTH, v.coExtensionLength, kLengthLimit);
        updateEnabledStates();
        const LanguageTable& t = model().specialTexts();
        SetWindowTextW(d, wide(t.text("DIALING_ADV_ADV_CAPTION")).c_str());
        std::vector<Texted> items{{IDC_SPC_OK, "OK"},
                                  {IDC_SPC_CANCEL, "CANCEL"},
                                  {IDC_SPC_NON_STD, "DIALING_ADV_ADV_CHECKBOX_NONSTD"},
                                  {IDC_SPC_PREFIX, "DIALING_ADV_ADV_CHECKBOX_PREFIX"},
                                  {IDC_SPC_LABEL_PREFIX1, "DIALING_ADV_ADV_PREFIX1"},
                                  {IDC_SPC_LABEL_PREFIX2, "DIALING_ADV_ADV_PREFIX2"},
                                  {IDC_SPC_LABEL_PREFIX3, "DIALING_ADV_ADV_PREFIX3"},
                                  {IDC_SPC_LABEL_PREFIX4, "DIALING_ADV_ADV_PREFIX4"},
                                  {IDC_SPC_LABEL_PREFIX5, "DIALING_ADV_ADV_PREFIX5"},
                                  {IDC_SPC_LENGTH_CHECK, "DIALING_ADV_ADV_CHECKBOX_LENGTHEXTENSTION"}};
        setMarkedTexts(d, t, items);
        // Top-left corner at the middle of the owner.
        RECT owner;
        if (GetWindowRect(GetWindow(d, GW_OWNER), &owner))
            moveTo((owner.left + owner.right) / 2, (owner.top + owner.bottom) / 2);
        SetFocus(GetDlgItem(d, IDC_SPC_NON_STD));
    }

    void updateEnabledStates() {
        HWND d = window();
        const bool nonStandard = isChecked(d, IDC_SPC_NON_STD);
        enable(d, {IDC_SPC_PREFIX, IDC_SPC_LENGTH_CHECK}, nonStandard);
        const bool prefixes = nonStandard && isChecked(d, IDC_SPC_PREFIX);
        for (std::size_t i = 0; i < 5; ++i) enable(d, {kPrefixes[i], kPrefixLabels[i], kPrefixBullets[i]}, prefixes);
        enable(d, {IDC_SPC_LENGTH}, nonStandard && isChecked(d, IDC_SPC_LENGTH_CHECK));
    }

    void command(int id, int) override {
        HWND d = window();
        switch (id) {
            case IDC_SPC_NON_STD:
            case IDC_SPC_PREFIX:
            case IDC_SPC_LENGTH_CHECK:
                updateEnabledStates();
                return;
            case IDC_SPC_OK: {
                AppSettings next = model().settings();
                next.useNonStandard = isChecked(d, IDC_SPC_NON_STD);
                next.usePrefix = isChecked(d, IDC_SPC_PREFIX);
                next.useCoExtensionLength = isChecked(d, IDC_SPC_LENGTH_CHECK);
                std::string* values[] = {&next.prefix1, &next.prefix2, &next.prefix3, &next.prefix4, &next.prefix5};
                for (std::size_t i = 0; i < 5; ++i) *values[i] = controlText(d, kPrefixes[i]);
                const std::string length = controlText(d, IDC_SPC_LENGTH);
                next.coExtensionLength = length.empty() ? "0" : length;
                saveDialingAndClose(next, SettingsPart::SpecialDialing);
                return;
            }
            case IDC_SPC_CANCEL:
                EndDialog(d, 0);
                return;
            default:
                return;  // IDOK and IDCANCEL (Enter, Escape) included: nothing
        }
    }
};

class AdvancedDialingWindow : public SettingsWindow {
public:
    AdvancedDialingWindow(HINSTANCE instance, SettingsModel& model)
        : SettingsWindow(instance, model, IDD_ADVANCED_DIALING) {}

private:
    void opened() override {
        HWND d = window();
        const AppSettings& v = model().settings();
        setLimitedText(d, IDC_ADV_EQUAL, v.equalDigits, kEqualDigitsLimit);
        setLimitedText(d, IDC_ADV_LENGTH, v.minPopupLength, kMinLengthLimit);
        setChecked(d, IDC_ADV_AREA_CODE, v.useAreaCode);
        setChecked(d, IDC_ADV_INTERNATIONAL, v.useInternationalRule);
        setChecked(d, IDC_ADV_POPUP_FOR_CHAR, v.usePopupForChar);
        const LanguageTable& t = model().advancedTexts();
        SetWindowTextW(d, wide(t.text("DIALING_ADV_CAPTION")).c_str());
        setMarkedTexts(d, t,
                       {{IDC_ADV_OK, "OK"},
                        {IDC_ADV_CANCEL, "CANCEL"},
                        {IDC_ADV_LABEL_EQUAL, "DIALING_ADV_ADDEQUALNUM"},
                        {IDC_ADV_LABEL_LENGTH, "DIALING_ADV_POPUPLENGTH"},
                        {IDC_ADV_AREA_CODE, "DIALING_ADV_CHECKBOX_DIALINGAREACODE"},
                        {IDC_ADV_INTERNATIONAL, "DIALING_ADV_CHECKBOX_INTERNATIONAL"},
                        {IDC_ADV_POPUP_FOR_CHAR, "DIALING_ADV_POPUP_FOR_CHAR"},
                        {IDC_ADV_SPECIAL, "DIALING_ADV_ADV"}});
        // Over the owner, top-left corners together.
        RECT owner;
        if (GetWindowRect(GetWindow(d, GW_OWNER), &owner)) moveTo(owner.left, owner.top);
        SetFocus(GetDlgItem(d, IDC_ADV_EQUAL));
    }

    void command(int id, int) override {
        HWND d = window();
        switch (id) {
            case IDC_ADV_SPECIAL: {
                SpecialDialingWindow special(instance(), model());
                special.run(d);
                return;
            }
            case IDC_ADV_OK: {
                if (!isMinPopupLengthAccepted(controlText(d, IDC_ADV_LENGTH))) {
                    MessageBoxW(d, wide(model().advancedTexts().text("DIALING_ADV_FAIL_TO_SAVE_LENGTH")).c_str(), L"",
                                MB_OK | MB_ICONINFORMATION);
                    SetFocus(GetDlgItem(d, IDC_ADV_LENGTH));
                    return;
                }
                AppSettings next = model().settings();
                next.equalDigits = controlText(d, IDC_ADV_EQUAL);
                next.useAreaCode = isChecked(d, IDC_ADV_AREA_CODE);
                next.useInternationalRule = isChecked(d, IDC_ADV_INTERNATIONAL);
                next.usePopupForChar = isChecked(d, IDC_ADV_POPUP_FOR_CHAR);
                next.minPopupLength = controlText(d, IDC_ADV_LENGTH);
                saveDialingAndClose(next, SettingsPart::AdvancedDialing);
                return;
            }
            case IDC_ADV_CANCEL:
                EndDialog(d, 0);
                return;
            default:
                return;
        }
    }
};

class MainSettingsWindow : public SettingsWindow {
public:
    MainSettingsWindow(HINSTANCE instance, SettingsModel& model, std::unique_ptr<CredentialStore> store)
        : SettingsWindow(instance, model, IDD_SETTINGS), store_(std::move(store)) {}

    bool saved() const { return saved_; }

private:
    std::vector<int> titles() const override {
        return {IDC_GROUP_USER, IDC_GROUP_SYSTEM, IDC_GROUP_DIALING, IDC_GROUP_FUNCTION, IDC_LABEL_LANGUAGE};
    }

    bool isNote(int id) const override { return id == IDC_KEYRING_NOTE; }

    void opened() override {
        HWND d = window();
        const AppSettings& s = model().settings();
        setLimitedText(d, IDC_USER_ID, s.userId, kAccountLimit);
        setLimitedText(d, IDC_PASSWORD, s.password, kAccountLimit);
        setLimitedText(d, IDC_PHONE_NUMBER, s.phoneNumber, kAccountLimit);
        setLimitedText(d, IDC_ADDRESS, s.exchangeAddress, kAddressLimit);
        setLimitedText(d, IDC_PORT, s.exchangePort, kPortLimit);
        showKeyring();
        setChecked(d, IDC_AUTO_HIDE, s.autoHide);
        setLimitedText(d, IDC_SECONDS, std::to_string(s.autoHideSeconds), kSecondsLimit);
        setChecked(d, IDC_HIDE_AFTER_SUCCESS, s.hideAfterSuccess);
        setChecked(d, IDC_TRANSPARENT, s.transparent);
        SendDlgItemMessageW(d, IDC_TRANSPARENCY, TBM_SETRANGE, TRUE, MAKELPARAM(0, kMaxTransparency));
        SendDlgItemMessageW(d, IDC_TRANSPARENCY, TBM_SETPOS, TRUE, gMovedTransparency.value_or(s.transparencyPercent));
        setChecked(d, IDC_CALL_ON_ENTER, s.callOnEnter);
        setChecked(d, IDC_TOP_MOST, s.topMost);
        setChecked(d, IDC_SHOW_HANGUP, s.showHangup);
        setChecked(d, IDC_FIXED_POSITION, s.fixedPosition);
        setChecked(d, IDC_AUTO_START, s.autoStart);
        setChecked(d, IDC_AUTO_CALL, s.autoCall);
        setChecked(d, IDC_HOTKEY, s.hotkeyEnabled);
        fillList(IDC_HOTKEY_MODIFIER, sortedForList(hotkeyModifierNames()), s.hotkeyModifier);
        fillList(IDC_HOTKEY_KEY, sortedForList(hotkeyKeyNames()), s.hotkeyKey);
        const bool haveLocal = IniFile::snapshot(model().languagePath()).sectionExists("LOCAL");
        ShowWindow(GetDlgItem(d, IDC_LANGUAGE_LOCAL), haveLocal ? SW_SHOWNA : SW_HIDE);
        const bool local = s.language == "LOCAL" && haveLocal;
        CheckRadioButton(d, IDC_LANGUAGE_LOCAL, IDC_LANGUAGE_ENG, local ? IDC_LANGUAGE_LOCAL : IDC_LANGUAGE_ENG);
        setLimitedText(d, IDC_CO_ACCESS, s.coAccessCode, kCodeLimit);
        setLimitedText(d, IDC_COUNTRY, s.myCountryCode, kCodeLimit);
        setLimitedText(d, IDC_AREA, s.myAreaCode, kCodeLimit);
        setLimitedText(d, IDC_INTERNATIONAL, s.internationalCode, kCodeLimit);
        setLimitedText(d, IDC_PBX, s.pbxCode, kCodeLimit);
        setLimitedText(d, IDC_LONG_DISTANCE, s.longDistanceCode, kCodeLimit);
        setChecked(d, IDC_ADD_ZERO, s.addZero);
        updateEnabledStates();
        setTexts();
        showTrust();
        // In the middle of the primary monitor's work area.
        RECT frame, work;
        GetWindowRect(d, &frame);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        moveTo(work.left + (work.right - work.left - (frame.right - frame.left)) / 2,
               work.top + (work.bottom - work.top - (frame.bottom - frame.top)) / 2);
        SetFocus(GetDlgItem(d, IDC_USER_ID));
    }

    void fillList(int id, const std::vector<std::string>& items, const std::string& value) {
        HWND d = window();
        SendDlgItemMessageW(d, id, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : items)
            SendDlgItemMessageW(d, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item).c_str()));
        std::optional<std::size_t> index = listIndexFor(items, value);
        if (!index && !value.empty()) {
            // A name the list does not offer stays as stored.
            SendDlgItemMessageW(d, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(value).c_str()));
            index = items.size();
        }
        SendDlgItemMessageW(d, id, CB_SETCURSEL, index ? static_cast<WPARAM>(*index) : static_cast<WPARAM>(-1), 0);
    }

    std::string listText(int id) const {
        HWND d = window();
        const LRESULT index = SendDlgItemMessageW(d, id, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return {};
        const LRESULT length = SendDlgItemMessageW(d, id, CB_GETLBTEXTLEN, index, 0);
        if (length == CB_ERR) return {};
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        SendDlgItemMessageW(d, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        return win32::narrow(text);
    }

    void setTexts() {
        HWND d = window();
        const LanguageTable& t = model().texts();
        SetWindowTextW(d, wide(t.text("CAPTION")).c_str());
        for (const Texted& title : {Texted{IDC_GROUP_USER, "USER_INFO"}, Texted{IDC_GROUP_SYSTEM, "SYS_INFO"},
                                    Texted{IDC_GROUP_DIALING, "DIALING_RULE"}, Texted{IDC_GROUP_FUNCTION, "FUNCTION"},
                                    Texted{IDC_LABEL_LANGUAGE, "LANGUAGE"}})
            setControlText(d, title.id, t.text(title.key));
        // The push and radio buttons first: their letters are never shared.
        setMarkedTexts(d, t,
                       {{IDC_SETTINGS_OK, "OK"},
                        {IDC_SETTINGS_CANCEL, "CANCEL"},
                        {IDC_SETTINGS_APPLY, "APPLY"},
                        {IDC_FORGET_KEY, nullptr, "Forget"},
                        {IDC_ADVANCED, "DIALING_ADV"},
                        {IDC_LANGUAGE_ENG, "LANGUAGE_ENG"},
                        {IDC_LANGUAGE_LOCAL, "LANGUAGE_LOCAL"},
                        {IDC_LABEL_ID, "ID"},
                        {IDC_LABEL_PW, "PW"},
                        {IDC_LABEL_PN, "PN"},
                        {IDC_USE_KEYRING, nullptr, "Keep the password in the desktop keyring"},
                        {IDC_LABEL_IP, "IP"},
                        {IDC_LABEL_PORT, "PORT"},
                        {IDC_LABEL_CO, "DIALING_CO"},
                        {IDC_LABEL_COUNTRY, "DIAING_NATION"},
                        {IDC_LABEL_AREA, "DIALING_AREA"},
                        {IDC_LABEL_INTERNATIONAL, "DIALING_INTER"},
                        {IDC_LABEL_PBX, "DIALING_PBX"},
                        {IDC_LABEL_LONG_DISTANCE, "DIALING_LONG"},
                        {IDC_ADD_ZERO, "DIALING_CHECKBOX_ADDZERO"},
                        {IDC_AUTO_HIDE, "DISAPPEARANCE_CHECKBOX"},
                        {IDC_LABEL_SECONDS, "DISAPPEARANCE_SECONDS"},
                        {IDC_HIDE_AFTER_SUCCESS, "DISAPPEARANCE_AFTER_SUCCESS"},
                        {IDC_TRANSPARENT, "TRANSPARENCY_CHECKBOX"},
                        {IDC_TOP_MOST, "TOPMOST_CHECKBOX"},
                        {IDC_SHOW_HANGUP, "HANGUP_CHECKBOX"},
                        {IDC_FIXED_POSITION, "FIXEDPOS_CHECKBOX"},
                        {IDC_CALL_ON_ENTER, "ENTERKEY_CHECKBOX"},
                        {IDC_AUTO_START, "AUTOSTART_CHECKBOX"},
                        {IDC_AUTO_CALL, "AUTOCALL_CHECKBOX"},
                        {IDC_HOTKEY, "HOTKEY_CHECKBOX"},
                        {IDC_LABEL_MODIFIER, "HOTKEY_MOD"},
                        {IDC_LABEL_KEY, "HOTKEY_VIRTUAL"},
                        // Came last: it takes a letter the older rows left free.
                        {IDC_LABEL_TRUST, nullptr, "Key"}},
                       7);
        SetDlgItemTextW(d, IDC_TRANSPARENCY_MIN, L"0%");
        SetDlgItemTextW(d, IDC_TRANSPARENCY_MAX, (std::to_wstring(kMaxTransparency) + L"%").c_str());
        showTransparencyValue();
    }

    // Asking the keyring tells whether one answers; a password kept there
    // (the file's PW is then empty) is shown from it.
    void showKeyring() {
        HWND d = window();
        const AppSettings& s = model().settings();
        DialogKeyring keyring = askDialogKeyring(s, model().settingsPath(), *store_);
        keyringAnswers_ = keyring.answers;
        if (s.password.empty() && keyring.wanted && !keyring.password.empty())
            setLimitedText(d, IDC_PASSWORD, keyring.password, kAccountLimit);
        wipeString(keyring.password);
        setChecked(d, IDC_USE_KEYRING, keyring.wanted && keyringAnswers_);
        EnableWindow(GetDlgItem(d, IDC_USE_KEYRING), keyringAnswers_);
    }

    void showKeyringNote() {
        std::string note;
        switch (
            keyringNote(keyringAnswers_, isChecked(window(), IDC_USE_KEYRING), !model().settings().password.empty())) {
            case KeyringNote::NoKeyring:
                note = "No keyring answers on this desktop: the password is kept enciphered in the settings file.";
                break;
            case KeyringNote::PasswordStillInFile:
                note = "The password is still in the settings file; OK moves it to the keyring.";
                break;
            case KeyringNote::None:
                break;
        }
        setControlText(window(), IDC_KEYRING_NOTE, note);
    }

    // The exchange's key: a different one later stops every call until the
    // user forgets the kept one here or on the command line.
    void showTrust() {
        const SecuritySettings security = loadSecuritySettings(IniFile::snapshot(model().settingsPath()));
        const TrustDisplay display =
            trustDisplay(security, exchangeName(model().settings().exchangeAddress, model().settings().exchangePort));
        setControlText(window(), IDC_PINNED_KEY, display.shown);
        EnableWindow(GetDlgItem(window(), IDC_FORGET_KEY), display.forgettable);
    }

    void forgetKey() {
        const std::string exchange = exchangeName(model().settings().exchangeAddress, model().settings().exchangePort);
        if (const Status forgot = writePin(model().settingsPath(), exchange, ""); !forgot) {
            MessageBoxW(window(), wide("The exchange's key could not be forgotten:\n" + forgot.error()).c_str(),
                        L"Error", MB_OK | MB_ICONWARNING);
        }
        showTrust();
    }

    void showTransparencyValue() {
        const auto value = SendDlgItemMessageW(window(), IDC_TRANSPARENCY, TBM_GETPOS, 0, 0);
        SetDlgItemTextW(window(), IDC_TRANSPARENCY_VALUE, (std::to_wstring(value) + L"%").c_str());
    }

    void updateEnabledStates() {
        HWND d = window();
        enable(d, {IDC_SECONDS, IDC_LABEL_SECONDS}, isChecked(d, IDC_AUTO_HIDE));
        enable(d, {IDC_TRANSPARENCY, IDC_TRANSPARENCY_MIN, IDC_TRANSPARENCY_MAX, IDC_TRANSPARENCY_VALUE},
               isChecked(d, IDC_TRANSPARENT));
        enable(d, {IDC_HOTKEY_MODIFIER, IDC_HOTKEY_KEY, IDC_LABEL_MODIFIER, IDC_LABEL_KEY}, isChecked(d, IDC_HOTKEY));
        showKeyringNote();
    }

    void scrolled(HWND control) override {
        if (control != GetDlgItem(window(), IDC_TRANSPARENCY)) return;
        // Kept at once, even if the dialog is then cancelled; the call
        // dialog sees it with the next OK or Apply.
        gMovedTransparency = static_cast<int>(SendMessageW(control, TBM_GETPOS, 0, 0));
        showTransparencyValue();
    }

    // Reads, checks and saves the controls. False (dialog left as it is)
    // when a check or the save fails.
    bool apply() {
        HWND d = window();
        if (!isPortAccepted(controlText(d, IDC_PORT))) {
            wchar_t caption[256] = {};
            GetWindowTextW(d, caption, 256);
            MessageBoxW(d, wide(model().texts().message("AL_PORT_RANGE")).c_str(), caption, MB_OK | MB_ICONWARNING);
            SetFocus(GetDlgItem(d, IDC_PORT));
            SendDlgItemMessageW(d, IDC_PORT, EM_SETSEL, 0, -1);
            return false;
        }
        // Read into a copy, which becomes the program's only once the file
        // holds it.
        AppSettings next = model().settings();
        if (gMovedTransparency) next.transparencyPercent = *gMovedTransparency;
        next.userId = controlText(d, IDC_USER_ID);
        next.password = controlText(d, IDC_PASSWORD);
        next.phoneNumber = controlText(d, IDC_PHONE_NUMBER);
        next.exchangeAddress = controlText(d, IDC_ADDRESS);
        next.exchangePort = controlText(d, IDC_PORT);
        next.autoHide = isChecked(d, IDC_AUTO_HIDE);
        if (next.autoHide) next.autoHideSeconds = leadingDecimal(controlText(d, IDC_SECONDS));
        next.hideAfterSuccess = isChecked(d, IDC_HIDE_AFTER_SUCCESS);
        next.transparent = isChecked(d, IDC_TRANSPARENT);
        if (next.transparent)
            next.transparencyPercent = static_cast<int>(SendDlgItemMessageW(d, IDC_TRANSPARENCY, TBM_GETPOS, 0, 0));
        next.callOnEnter = isChecked(d, IDC_CALL_ON_ENTER);
        next.topMost = isChecked(d, IDC_TOP_MOST);
        next.showHangup = isChecked(d, IDC_SHOW_HANGUP);
        next.fixedPosition = isChecked(d, IDC_FIXED_POSITION);
        next.autoStart = isChecked(d, IDC_AUTO_START);
        next.autoCall = isChecked(d, IDC_AUTO_CALL);
        next.hotkeyModifier = listText(IDC_HOTKEY_MODIFIER);
        next.hotkeyKey = listText(IDC_HOTKEY_KEY);
        next.hotkeyEnabled = isChecked(d, IDC_HOTKEY);
        next.language = isChecked(d, IDC_LANGUAGE_LOCAL) ? "LOCAL" : "ENG";
        next.coAccessCode = controlText(d, IDC_CO_ACCESS);
        next.myCountryCode = controlText(d, IDC_COUNTRY);
        next.myAreaCode = controlText(d, IDC_AREA);
        next.internationalCode = controlText(d, IDC_INTERNATIONAL);
        next.pbxCode = controlText(d, IDC_PBX);
        next.longDistanceCode = controlText(d, IDC_LONG_DISTANCE);
        next.addZero = isChecked(d, IDC_ADD_ZERO);

        const DialogSave save =
            saveDialogSettings(model(), next, isChecked(d, IDC_USE_KEYRING), keyringAnswers_, *store_);
        wipeString(next.password);
        switch (save.outcome) {
            case DialogSave::Outcome::PasswordTooLong:
                MessageBoxW(d, wide(model().texts().message("AL_PW_TOO_LONG")).c_str(), L"Error",
                            MB_OK | MB_ICONWARNING);
                SetFocus(GetDlgItem(d, IDC_PASSWORD));
                return false;
            case DialogSave::Outcome::KeyringRefused: {
                // "the Windows Credential Manager" begins the sentence.
                std::string store = store_->describe();
                if (!store.empty()) store[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(store[0])));
                MessageBoxW(
                    d, wide(store + " did not take the password:\n" + save.error + "\n\nNothing was saved.").c_str(),
                    L"Error", MB_OK | MB_ICONWARNING);
                return false;
            }
            case DialogSave::Outcome::NotSaved:
                showSaveFailure(d, model().texts().message("AL_SETTINGS_NOT_SAVED"), model().settingsPath(),
                                save.error);
                return false;
            case DialogSave::Outcome::Saved:
                break;
        }
        // Saved all the same; a debugger hears what did not follow.
        for (const std::string& warning : save.warnings) OutputDebugStringW(wide(warning).c_str());
        gMovedTransparency.reset();
        saved_ = true;
        updateEnabledStates();
        return true;
    }

    void command(int id, int) override {
        HWND d = window();
        switch (id) {
            case IDC_SETTINGS_OK:
                if (apply()) EndDialog(d, 1);
                return;
            case IDC_SETTINGS_CANCEL:
                EndDialog(d, 0);
                return;
            case IDC_SETTINGS_APPLY:
                if (!apply()) return;
                setTexts();
                showTrust();
                InvalidateRect(d, nullptr, TRUE);
                return;
            case IDC_FORGET_KEY:
                forgetKey();
                return;
            case IDC_ADVANCED: {
                AdvancedDialingWindow advanced(instance(), model());
                advanced.run(d);
                return;
            }
            case IDC_USE_KEYRING:
            case IDC_AUTO_HIDE:
            case IDC_TRANSPARENT:
            case IDC_HOTKEY:
                updateEnabledStates();
                return;
            default:
                return;  // IDOK and IDCANCEL (Enter, Escape) included: nothing
        }
    }

    bool saved_ = false;
    std::unique_ptr<CredentialStore> store_;
    bool keyringAnswers_ = false;
};

}  // namespace

bool runSettingsDialog(HINSTANCE instance, HWND owner, SettingsModel& model) {
    return runSettingsDialog(instance, owner, model, openCredentialStore());
}

bool runSettingsDialog(HINSTANCE instance, HWND owner, SettingsModel& model, std::unique_ptr<CredentialStore> store) {
    MainSettingsWindow dialog(instance, model, std::move(store));
    dialog.run(owner);
    return dialog.saved();
}

bool runAdvancedDialingDialog(HINSTANCE instance, HWND owner, SettingsModel& model) {
    AdvancedDialingWindow dialog(instance, model);
    return dialog.run(owner) == 1;
}

bool runSpecialDialingDialog(HINSTANCE instance, HWND owner, SettingsModel& model) {
    SpecialDialingWindow dialog(instance, model);
    return dialog.run(owner) == 1;
}

}  // namespace pellandor
