#pragma once
// Small widgets and helpers shared by the settings dialogs.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QValidator>
#include <QWidget>

#include <string>

namespace pellandor {

// std::string (UTF-8) <-> QString.
inline QString toQ(const std::string& text) {
    return QString::fromStdString(text);
}
inline std::string toStd(const QString& text) {
    return text.toStdString();
}

// The settings dialogs' light grey ground; edit boxes stay white.
void useSettingsBackground(QWidget* dialog);

// The warning a dialog shows when its entries could not be saved: `what`
// ("The settings", "The dialing rules") could not be saved to `path`, the
// entries stay in the dialog; the system's reason in the details.
void showSaveFailure(QWidget* dialog, const QString& what, const std::string& path, const std::string& reason);

// Escapes any "&" of each text and marks one letter per text as its
// mnemonic: a word's first letter that no earlier text took, else any such
// letter or digit. When the letters run out, a later text shares one with
// another text after the first `exclusive` ones (the push buttons), so every
// control keeps an access letter; a shared letter moves the focus between
// its controls instead of toggling one.
QStringList withMnemonics(const QStringList& texts, int exclusive = -1);

// A label with a small square painted at its left: the group headers and the
// row bullets of the settings dialogs. The forms set markerSize and header.
class MarkerLabel final : public QLabel {
public:
    explicit MarkerLabel(QWidget* parent = nullptr);
    void setMarkerSize(int size);
    // A group's header: bold and a little larger.
    void setHeader(bool header);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int markerSize_ = 4;
};

// A check box whose text wraps: long texts and translations fit the column.
// Clicking the text toggles the box; the text follows its enabled state.
class WrappingCheckBox final : public QWidget {
public:
    // `name` becomes the check box's object name, which tests find it by.
    explicit WrappingCheckBox(QWidget* parent = nullptr, const char* name = nullptr);
    QCheckBox* box() const { return box_; }
    QLabel* label() const { return label_; }
    // `text` may carry a mnemonic ("&").
    void setText(const QString& text);
    // The box, not this row, carries the control's name: it is what takes
    // the focus and what is looked up.
    void setBoxName(const QString& name) { box_->setObjectName(name); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCheckBox* box_;
    QLabel* label_;
};

// Digits only while typing; a value loaded with other characters (a
// hand-edited file) can still be edited without losing them.
class DigitsValidator final : public QValidator {
public:
    using QValidator::QValidator;
    void allowOthersOf(const QString& loaded);
    State validate(QString& input, int& pos) const override;

private:
    int allowedOthers_ = 0;
};

// Base of the settings dialogs. Esc changes nothing and closes nothing;
// Enter presses only a push button that has the focus, never a default one
// (Enter in an edit box does nothing); the title bar's close button ends the
// dialog with kClosedFromTitleBar and saves nothing.
class SettingsDialogBase : public QDialog {
public:
    static constexpr int kClosedFromTitleBar = 61536;
    explicit SettingsDialogBase(QWidget* parent = nullptr);

    // Reloads values and texts from the files and shows the dialog.
    virtual void openDialog() = 0;
    // Brings an open dialog to the front and returns -1; otherwise opens it
    // and waits for it to close.
    int showModal();

    // The width the title bar needs for the caption whole, with the
    // program's name that Qt puts after it and the title bar's buttons.
    int captionWidth() const;

protected:
    // Shows the freshly filled dialog in front, with the keyboard focus.
    void showInFront();
    // Called after setupUi: the form's size is the smallest each opening starts from.
    void keepFormSize() { formSize_ = size(); }
    // Fixes the size at the form's, grown to what the contents and the
    // caption need: the dialogs cannot be resized or maximised.
    void fixSize();

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    QSize formSize_;
};

// Digits only, and a typing limit; a longer value from the file is shown whole.
void acceptDigitsOnly(QLineEdit* edit, int limit);
void setEditText(QLineEdit* edit, const QString& text, int limit);

// The warning when a settings dialog's save failed: `message` (a language
// text with %1 for the file's path), the reason under "Show Details".
void showSaveFailure(QWidget* parent, const QString& message, const QString& settingsPath, const QString& reason);

}  // namespace pellandor
