#pragma once
// The program's small pictures, drawn rather than shipped as files.
#include <QIcon>

namespace velto {

QIcon MakeAppIcon();
QIcon MakeFolderIcon();
// The toolbar picture of a command (an empty icon when it has none).
QIcon MakeCommandIcon(int commandId);
// Tray pictures by resource number (idle, busy frames, blink frames).
QIcon MakeTrayIcon(int resource);

}  // namespace velto
