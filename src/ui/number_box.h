#pragma once
// The call dialog's number box: an editable, flat-painted combo box with the
// recent numbers. Typed characters are limited to what can be dialled;
// pasted text is not, the number test at Call time catches it.

#include <QComboBox>
#include <QFont>

namespace pellandor {

class NumberBox final : public QComboBox {
    Q_OBJECT

public:
    static constexpr int kMaxLength = 30;
    static constexpr int kItemHeight = 23;
    static constexpr int kArrowWidth = 18;

    explicit NumberBox(QWidget* parent = nullptr);

    void setFonts(const QFont& editFont, const QFont& listFont);
    // The recent numbers, most recent first; keeps one empty entry when there
    // are none, so the list never opens empty-handed.
    void setEntries(const QStringList& entries);

    bool isArrowPressed() const { return arrowPressed_; }
    QRect arrowRect() const;

    void showPopup() override;
    void hidePopup() override;

signals:
    // Any key press or click in the box: the user is busy with it.
    void userActivity();
    void enterPressed();
    void escapePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // True when the key is used up here and must not reach the edit field.
    bool handleKey(QKeyEvent* key);

    bool arrowPressed_ = false;
};

}  // namespace pellandor
