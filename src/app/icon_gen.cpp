// Writes the program's icon as DIR/NxN/pellandor.png for the usual sizes.
#include "app/app_icon.h"

#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pellandor-icon-gen DIR\n");
        return 1;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !pellandor::renderAppIcon(size).save(folder + QStringLiteral("/pellandor.png"))) {
            std::fprintf(stderr, "pellandor-icon-gen: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
