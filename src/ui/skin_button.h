#pragma once
// A button drawn from three skin images: normal, under the pointer, pressed.
// Disabled buttons keep the same images.

#include "ui/skin.h"

#include <QAbstractButton>

namespace pellandor {

class SkinButton final : public QAbstractButton {
    Q_OBJECT

public:
    SkinButton(SkinImage normal, SkinImage hover, SkinImage pressed, QWidget* parent = nullptr);

    bool isHovered() const { return hovered_; }
    // The image the button shows now.
    SkinImage currentImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    SkinImage normal_, hover_, pressed_;
    bool hovered_ = false;
};

}  // namespace pellandor
