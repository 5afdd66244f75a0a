// Build helper: writes the program's icon as hicolor PNGs, one per size,
// drawn afresh at each size (DIR/NxN/apps/veltomail.png).
//   write_icons DIR SIZE...
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "shell/ToolIcons.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: write_icons DIR SIZE...\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QIcon icon = velto::MakeAppIcon();
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder = QString("%1/%2x%2/apps").arg(root).arg(size);
        if (size <= 0 || !QDir().mkpath(folder) || !icon.pixmap(size, size).save(folder + "/veltomail.png")) {
            std::fprintf(stderr, "write_icons: cannot write the %s pixel icon below %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
