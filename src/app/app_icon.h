#pragma once
// The program's icon, drawn in code so it stays sharp at every tray size.
// resources/icons/pellandor.svg is the same drawing for desktop menus; change both.

#include <QIcon>
#include <QImage>

namespace pellandor {

QImage renderAppIcon(int size);
QIcon appIcon();

}  // namespace pellandor
