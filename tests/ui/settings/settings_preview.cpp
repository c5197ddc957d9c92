// Shows one of the settings dialogs for a look at it, on a scratch settings
// file: settings_preview settings|advanced|special [ENG|LOCAL]

#include "platform/paths.h"
#include "config/settings_model.h"
#include "ui/advanced_dialing_dialog.h"
#include "ui/special_dialing_dialog.h"
#include "ui/settings_dialog.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

struct PreviewTargets : pellandor::SettingsTargets {
    void setSettingsClosed(bool) override {}
    void hideCallDialog() override {}
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // As the program has it: window managers show it after each title.
    app.setApplicationDisplayName(QStringLiteral("Ulvex Pellandor"));
    const std::string which = argc > 1 ? argv[1] : "settings";
    const std::string language = argc > 2 ? argv[2] : "ENG";
    QTemporaryDir dir;
    const std::string settingsPath = dir.filePath(QStringLiteral("pellandor_settings.ini")).toStdString();
    QFile file(QString::fromStdString(settingsPath));
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(("[USER_INFO]\nID=alice\nPN=2001\n[SYS_INFO]\nIP=192.168.1.20\nPORT=5061\n[LANGUAGE]\nLAN=" + language +
                "\n[ACCESSCODE]\nCO_ACCESS_CODE=0\nMYCOUNTRY_CODE=49\nMYAREA_CODE=30\nINTER_CODE=00\nLONG_CODE=0\n"
                "USE_ADDZERO=1\n[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=1\nPREFIX1=0800\n"
                "[SECURITY]\nPINNED_KEY=71:EA:18:7E:83:56:60:29:B5:CE:A8:43:94:F2:5F:E0:95:CF:9A:84:35:90:4D:AB:8B:"
                "CB:32:62:59:BA:61:84\nPINNED_EXCHANGE=192.168.1.20:5061\n")
                   .c_str());
    file.close();
    const std::string languagePath = pellandor::languageFilePath();
    pellandor::SettingsModel model(settingsPath, languagePath);
    (void)model.load();
    PreviewTargets targets;
    pellandor::SettingsDialog settings(model, targets);
    settings.openDialog();
    if (which == "advanced" || which == "special") settings.advancedDialog().openDialog();
    if (which == "special") settings.advancedDialog().specialDialog().openDialog();
    return app.exec();
}
