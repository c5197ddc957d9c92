// Opens one of the Windows dialogs on a settings file of its own, for the
// tests under Wine and for a look at them:
//
//   win32_dialogs_demo SETTINGS_FILE call [NUMBER [auto]]
//   win32_dialogs_demo SETTINGS_FILE settings [no-keyring|refusing-keyring]
//   win32_dialogs_demo SETTINGS_FILE advanced|special
//
// "call" shows the call dialog (with NUMBER: as a copied number, dialled at
// once with "auto") and runs until the process is ended; the others run
// their dialog modally and end with 0 when it saved, else 1. The settings
// dialog keeps the password in the Credential Manager, or in a store that
// never answers (no-keyring) or answers but refuses to store (refusing-keyring).

#include "config/settings_model.h"
#include "platform/credential_store.h"
#include "platform/paths.h"
#include "platform/win32/wide_text.h"
#include "win32_desktop/dialogs/dpi.h"
#include "win32_desktop/dialogs/win32_dialogs.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

using namespace pellandor;

namespace {

// A store that answers, holds nothing and takes nothing, as a locked one would.
class RefusingStore final : public CredentialStore {
public:
    std::string describe() const override { return "the refusing store"; }
    Status store(const CredentialKey&, std::string_view) override { return failure("the store is locked"); }
    Result<std::string> lookup(const CredentialKey&) override { return failure("no entry", ErrorCode::NotFound); }
    Status remove(const CredentialKey&) override { return failure("no entry", ErrorCode::NotFound); }
};

std::unique_ptr<CredentialStore> storeNamed(const std::string& name) {
    if (name == "no-keyring") return noCredentialStore();
    if (name == "refusing-keyring") return std::make_unique<RefusingStore>();
    return openCredentialStore();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    becomePerMonitorDpiAware();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    int argc = 0;
    LPWSTR* argvW = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(win32::narrow(argvW[i]));
    LocalFree(argvW);
    if (args.size() < 2) {
        MessageBoxW(nullptr,
                    L"win32_dialogs_demo SETTINGS_FILE call [NUMBER [auto]] | settings [no-keyring|refusing-keyring] "
                    L"| advanced | special",
                    L"win32_dialogs_demo", MB_OK);
        return 2;
    }

    SettingsModel model(args[0], languageFilePath());
    (void)model.load();
    const std::string& which = args[1];
    if (which == "settings")
        return runSettingsDialog(instance, nullptr, model, storeNamed(args.size() >= 3 ? args[2] : "")) ? 0 : 1;
    if (which == "advanced") return runAdvancedDialingDialog(instance, nullptr, model) ? 0 : 1;
    if (which == "special") return runSpecialDialingDialog(instance, nullptr, model) ? 0 : 1;
    if (which != "call") return 2;

    Win32CallDialog dialog(instance, model);
    if (args.size() >= 3)
        dialog.showNumber(args[2], args.size() >= 4 && args[3] == "auto");
    else
        dialog.showDialog();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (dialog.handleDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
