#include "settings_fixture.h"

#include "ui/dialing_rule_dlg_adv.h"
#include "ui/dialing_rule_dlg_adv_adv.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace pellandor::test {

class DialingRuleDlgsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Files> files_;
    std::unique_ptr<StartupState> state_;
    std::unique_ptr<CDialingRuleDlgAdv> adv_;

    void Load() {
        state_ = files_->Load();
        adv_ = std::make_unique<CDialingRuleDlgAdv>(*state_, files_->settingsPath, files_->languagePath);
    }
    CDialingRuleDlgAdv* OpenAdvanced() {
        if (!adv_) Load();
        adv_->OpenDialog();
        return adv_.get();
    }
    CDialingRuleDlgAdvAdv* OpenSpecial() {
        if (!adv_) Load();
        adv_->SpecialDialog().OpenDialog();
        return &adv_->SpecialDialog();
    }
    static void Type(QWidget* dialog, const char* name, const QString& text) {
        auto* edit = Find<QLineEdit>(dialog, name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    static void Click(QWidget* dialog, const char* name) { Find<QPushButton>(dialog, name)->click(); }
    static void SetChecked(QWidget* dialog, const char* name, bool on) {
        auto* box = Find<QCheckBox>(dialog, name);
        if (box->isChecked() != on) box->click();
    }

private slots:
    void init() { files_ = std::make_unique<Files>(); }
    void cleanup() {
        adv_.reset();
        state_.reset();
        files_.reset();
    }

    void advancedOkWritesItsSectionAndFeedsTheRules() {
        Load();
        state_->special.PREFIX1 = "77";  // held by the special dialog, copied in with these
        QWidget* d = OpenAdvanced();
        QCOMPARE(d->windowTitle(), QStringLiteral("Advanced Dialing Information"));
        Type(d, "equalDigits", "9");
        Type(d, "minPopupLength", "4");
        SetChecked(d, "useAreaCode", true);
        SetChecked(d, "useInternationalRule", true);
        SetChecked(d, "usePopupForChar", false);
        Click(d, "ok");
        QVERIFY(!d->isVisible());
        const char* expected[][2] = {{"NUM_ADD_EQUAL", "9"}, {"USE_AREA_CODE", "1"}, {"USE_INTERNATIONAL_RULE", "1"},
                                     {"USE_POPUP_FOR_CHAR", "0"}, {"MIN_POPUP_LENGTH", "4"}};
        for (const auto& [key, value] : expected) QCOMPARE(files_->Raw("DIALING_RULE_ADV", key), std::string(value));
        QCOMPARE(state_->rules.NUM_ADD_EQUAL, std::string("9"));
        QCOMPARE(state_->rules.MIN_POPUP_LENGTH, 4);
        QVERIFY(state_->rules.USE_AREA_CODE && state_->rules.USE_INTERNATIONAL_RULE && !state_->rules.USE_POPUP_FOR_CHAR);
        QCOMPARE(state_->rules.PREFIX1, std::string("77"));
    }

    void minimumLengthOutsideOneToThirtyIsRefused_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QByteArray("3") << "" << false;
        QTest::newRow("zero") << QByteArray("3") << "0" << false;
        QTest::newRow("nine") << QByteArray("3") << "9" << true;
        QTest::newRow("30 from the file") << QByteArray("30") << QString() << true;
        QTest::newRow("31 from the file") << QByteArray("31") << QString() << false;
    }
    void minimumLengthOutsideOneToThirtyIsRefused() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        files_->Write(files_->settingsPath, "[DIALING_RULE_ADV]\nMIN_POPUP_LENGTH=" + stored + "\n");
        const QByteArray before = files_->Read(files_->settingsPath);
        QWidget* d = OpenAdvanced();
        QCOMPARE(Find<QLineEdit>(d, "minPopupLength")->text(), QString::fromLatin1(stored));
        if (!typed.isNull()) Type(d, "minPopupLength", typed);
        MessageBoxCatcher catcher;
        Click(d, "ok");
        QCOMPARE(d->isVisible(), !accepted);
        if (accepted) return;
        QCOMPARE(catcher.text, QStringLiteral("Please input 1~30 for minimum number length for pop-up."));
        QCOMPARE(catcher.icon, QMessageBox::Information);
        QCOMPARE(files_->Read(files_->settingsPath), before);
    }

    void cancelLeavesFileAndRulesAndTheNextOpeningRereads() {
        files_->Write(files_->settingsPath, "[DIALING_RULE_ADV]\nUSE_AREA_CODE=1\nMIN_POPUP_LENGTH=5\n");
        QWidget* d = OpenAdvanced();
        const DialingRules rulesBefore = state_->rules;
        SetChecked(d, "useAreaCode", false);
        Type(d, "equalDigits", "123");
        Click(d, "cancel");
        QVERIFY(!d->isVisible());
        QCOMPARE(state_->rules.USE_AREA_CODE, rulesBefore.USE_AREA_CODE);
        QCOMPARE(state_->rules.NUM_ADD_EQUAL, rulesBefore.NUM_ADD_EQUAL);
        // Escape and the close button save nothing either.
        files_->Write(files_->settingsPath, "[DIALING_RULE_ADV]\nUSE_AREA_CODE=0\nMIN_POPUP_LENGTH=5\n");
        OpenAdvanced();
        QVERIFY(!Find<QCheckBox>(d, "useAreaCode")->isChecked());
        QTest::keyClick(Find<QLineEdit>(d, "equalDigits"), Qt::Key_Escape);
        QVERIFY(d->isVisible());
        d->close();
        QVERIFY(!d->isVisible());
        QCOMPARE(files_->Value("DIALING_RULE_ADV", "USE_AREA_CODE"), std::string("0"));
    }

    void localChoiceWithoutLocalTextsFallsBackToBuiltInEnglish() {
        files_->Write(files_->languagePath, "[ENG]\nDIALING_ADV_CAPTION=From the file\nDIALING_ADV_ADV_CAPTION=Also\n");
        files_->Write(files_->settingsPath, "[LANGUAGE]\nLAN=LOCAL\n");
        QWidget* d = OpenAdvanced();
        QCOMPARE(d->windowTitle(), QStringLiteral("Advanced Dialing Information"));
        QCOMPARE(state_->advanced.LAN, std::string("ENG"));
        QCOMPARE(OpenSpecial()->windowTitle(), QStringLiteral("Special Dialing Information"));
        // The delivered file's LOCAL section is used when the choice is LOCAL.
        files_->UseDeliveredLanguageFile();
        adv_->SpecialDialog().close();
        d->close();
        QCOMPARE(OpenAdvanced()->windowTitle(), QStringLiteral("Erweiterte Wählinformationen"));
    }

    void failedSaveKeepsTheDialogOpenAndTheRulesUnchanged() {
        files_->Write(files_->dir.filePath(QStringLiteral("blocked")).toStdString(), "x");
        files_->settingsPath = files_->dir.filePath(QStringLiteral("blocked/settings.ini")).toStdString();
        for (bool special : {false, true}) {
            adv_.reset();
            QWidget* d = special ? static_cast<QWidget*>(OpenSpecial()) : OpenAdvanced();
            if (special) {
                SetChecked(d, "useNonStd", true);
                SetChecked(d, "usePrefix", true);
            }
            Type(d, special ? "prefix1" : "equalDigits", "55");
            MessageBoxCatcher catcher;
            Click(d, "ok");
            QCOMPARE(catcher.count, 1);
            QVERIFY(catcher.text.contains(QStringLiteral("could not be saved")));
            QVERIFY(d->isVisible());
            QCOMPARE(Find<QLineEdit>(d, special ? "prefix1" : "equalDigits")->text(), QStringLiteral("55"));
            QVERIFY(state_->rules.NUM_ADD_EQUAL.empty() && state_->rules.PREFIX1.empty());
        }
    }

    void specialEnableRules_data() {
        QTest::addColumn<bool>("nonStd");
        QTest::addColumn<bool>("prefix");
        QTest::addColumn<bool>("length");
        for (int bits = 0; bits < 8; ++bits) {
            QTest::addRow("nonstd=%d prefix=%d length=%d", bits & 1, (bits >> 1) & 1, (bits >> 2) & 1)
                << bool(bits & 1) << bool(bits & 2) << bool(bits & 4);
        }
    }
    void specialEnableRules() {
        QFETCH(bool, nonStd);
        QFETCH(bool, prefix);
        QFETCH(bool, length);
        // Opened from the file's values, and again after clicking to the same state.
        files_->Write(files_->settingsPath, QByteArray("[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=") + (nonStd ? "1" : "0") +
                                                "\nUSE_PREFIX=" + (prefix ? "1" : "0") +
                                                "\nUSE_CO_EXTENSION_LENGTH=" + (length ? "1" : "0") + "\n");
        for (int pass = 0; pass < 2; ++pass) {
            QWidget* d = OpenSpecial();
            if (pass == 1) {
                for (const char* name : {"useNonStd", "usePrefix", "useCoExtensionLength"}) {
                    Find<QCheckBox>(d, name)->setEnabled(true);  // reach every box, as a user toggling in turn would
                }
                SetChecked(d, "useNonStd", true);
                SetChecked(d, "usePrefix", !prefix);
                SetChecked(d, "usePrefix", prefix);
                SetChecked(d, "useCoExtensionLength", !length);
                SetChecked(d, "useCoExtensionLength", length);
                SetChecked(d, "useNonStd", nonStd);
            }
            QCOMPARE(Find<QCheckBox>(d, "usePrefix")->isEnabled(), nonStd);
            QCOMPARE(Find<QCheckBox>(d, "useCoExtensionLength")->isEnabled(), nonStd);
            QCOMPARE(Find<QCheckBox>(d, "usePrefix")->isChecked(), prefix);  // kept while disabled
            QCOMPARE(Find<QCheckBox>(d, "useCoExtensionLength")->isChecked(), length);
            for (const char* name : {"prefix1", "prefix2", "prefix3", "prefix4", "prefix5"}) {
                QCOMPARE(Find<QLineEdit>(d, name)->isEnabled(), nonStd && prefix);
            }
            QCOMPARE(Find<QLineEdit>(d, "lengthCoExtension")->isEnabled(), nonStd && length);
            QVERIFY(Find<QPushButton>(d, "ok")->isEnabled() && Find<QPushButton>(d, "cancel")->isEnabled());
            d->close();
        }
    }

    void specialOkSavesDisabledChecksAndAnEmptyLengthAsZero() {
        files_->Write(files_->settingsPath, "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=1\nUSE_CO_EXTENSION_LENGTH=1\n"
                                            "LENGTH_CO_EXTENSION=7\n");
        Load();
        QCOMPARE(state_->rules.LENGTH_CO_EXTENSION, 7);
        QWidget* d = OpenSpecial();
        Type(d, "lengthCoExtension", "");
        Type(d, "prefix2", "0800");
        SetChecked(d, "useNonStd", false);
        Click(d, "ok");
        QVERIFY(!d->isVisible());
        const char* expected[][2] = {{"USE_NON_STD", "0"},  {"USE_PREFIX", "1"},   {"PREFIX1", ""},
                                     {"PREFIX2", "0800"},   {"PREFIX3", ""},      {"PREFIX4", ""},
                                     {"PREFIX5", ""},       {"USE_CO_EXTENSION_LENGTH", "1"},
                                     {"LENGTH_CO_EXTENSION", "0"}};
        for (const auto& [key, value] : expected) {
            QVERIFY2(files_->Raw("DIALING_RULE_ADV_ADV", key) == value, key);
        }
        QVERIFY(!state_->rules.USE_NON_STD && state_->rules.USE_PREFIX && state_->rules.USE_CO_EXTENSION_LENGTH);
        QCOMPARE(state_->rules.LENGTH_CO_EXTENSION, 0);
        QCOMPARE(state_->rules.PREFIX2, std::string("0800"));
        // No plain number gets the CO code while the master switch is off.
        state_->rules.CO_ACCESS_CODE = "0";
        QCOMPARE(state_->rules.BuildDialString("12345678"), std::string("12345678"));
    }
};

}  // namespace pellandor::test

QTEST_MAIN(pellandor::test::DialingRuleDlgsTest)
#include "dialing_rule_dlgs_test.moc"
