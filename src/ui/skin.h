#pragma once
// The call dialog's pictures, compiled in from the build-time skin. Each
// image exists at scale 1 and 2; the sharper one is picked per screen.

#include <QPixmap>
#include <QString>

namespace pellandor {

// Values are the skin's resource ids.
enum class SkinImage {
    BackgroundFull = 173,
    BackgroundSmall = 197,
    Call = 167,
    CallHover = 169,
    CallPressed = 168,
    Hangup = 170,
    HangupHover = 172,
    HangupPressed = 171,
    CallMin = 190,
    CallMinHover = 192,
    CallMinPressed = 191,
    HangupMin = 198,
    HangupMinHover = 200,
    HangupMinPressed = 199,
    Minimize = 174,
    MinimizeHover = 175,
    MinimizePressed = 176,
    Maximize = 181,
    MaximizeHover = 182,
    MaximizePressed = 183,
    Exit = 154,
    ExitHover = 156,
    ExitPressed = 155,
    ExitMin = 178,
    ExitMinHover = 180,
    ExitMinPressed = 179,
    Arrow = 152,
    ArrowPressed = 153,
};

// The resource file name of an image, without scale suffix and extension.
QString skinImageName(SkinImage image);

// The image for a device pixel ratio: the @2x file above 1, with its ratio
// set so it paints at its logical size. A null pixmap when missing.
QPixmap skinPixmap(SkinImage image, qreal devicePixelRatio);

// The see-through colour of the backgrounds.
inline constexpr QRgb kSkinKeyColour = 0xffff00ff;

}  // namespace pellandor
