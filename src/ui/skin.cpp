#include "ui/skin.h"

#include <QHash>
#include <QPixmapCache>

// Outside any namespace, as the resource initialiser requires.
static void initSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace pellandor {

QString skinImageName(SkinImage image) {
    switch (image) {
        case SkinImage::BackgroundFull:
            return QStringLiteral("background_full");
        case SkinImage::BackgroundSmall:
            return QStringLiteral("background_small");
        case SkinImage::Call:
            return QStringLiteral("call");
        case SkinImage::CallHover:
            return QStringLiteral("call_hover");
        case SkinImage::CallPressed:
            return QStringLiteral("call_pressed");
        case SkinImage::Hangup:
            return QStringLiteral("hangup");
        case SkinImage::HangupHover:
            return QStringLiteral("hangup_hover");
        case SkinImage::HangupPressed:
            return QStringLiteral("hangup_pressed");
        case SkinImage::CallMin:
            return QStringLiteral("call_min");
        case SkinImage::CallMinHover:
            return QStringLiteral("call_min_hover");
        case SkinImage::CallMinPressed:
            return QStringLiteral("call_min_pressed");
        case SkinImage::HangupMin:
            return QStringLiteral("hangup_min");
        case SkinImage::HangupMinHover:
            return QStringLiteral("hangup_min_hover");
        case SkinImage::HangupMinPressed:
            return QStringLiteral("hangup_min_pressed");
        case SkinImage::Minimize:
            return QStringLiteral("minimize");
        case SkinImage::MinimizeHover:
            return QStringLiteral("minimize_hover");
        case SkinImage::MinimizePressed:
            return QStringLiteral("minimize_pressed");
        case SkinImage::Maximize:
            return QStringLiteral("maximize");
        case SkinImage::MaximizeHover:
            return QStringLiteral("maximize_hover");
        case SkinImage::MaximizePressed:
            return QStringLiteral("maximize_pressed");
        case SkinImage::Exit:
            return QStringLiteral("exit");
        case SkinImage::ExitHover:
            return QStringLiteral("exit_hover");
        case SkinImage::ExitPressed:
            return QStringLiteral("exit_pressed");
        case SkinImage::ExitMin:
            return QStringLiteral("exit_min");
        case SkinImage::ExitMinHover:
            return QStringLiteral("exit_min_hover");
        case SkinImage::ExitMinPressed:
            return QStringLiteral("exit_min_pressed");
        case SkinImage::Arrow:
            return QStringLiteral("arrow");
        case SkinImage::ArrowPressed:
            return QStringLiteral("arrow_pressed");
    }
    return {};
}

QPixmap skinPixmap(SkinImage image, qreal devicePixelRatio) {
    static const bool initialised = (initSkinResources(), true);
    (void)initialised;
    const bool sharp = devicePixelRatio > 1.0;
    const QString path =
        QStringLiteral(":/skin/") + skinImageName(image) + (sharp ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
    QPixmap pixmap;
    if (!QPixmapCache::find(path, &pixmap)) {
        // A missing image leaves its slot empty: nothing is drawn for it.
        if (!pixmap.load(path)) return {};
        QPixmapCache::insert(path, pixmap);
    }
    pixmap.setDevicePixelRatio(sharp ? 2.0 : 1.0);
    return pixmap;
}

}  // namespace pellandor
