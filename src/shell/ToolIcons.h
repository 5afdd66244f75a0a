#pragma once
// The program's small pictures, drawn rather than shipped as files.
#include <QColor>
#include <QIcon>

namespace velto {

// Colours of a disabled command's engraved picture.
inline const QColor kEmbossHighlight{255, 255, 255};
inline const QColor kEmbossShadow{128, 128, 128};

QIcon MakeAppIcon();
QIcon MakeFolderIcon();
// The toolbar picture of a command (an empty icon when it has none), with
// its engraved form for the disabled state.
QIcon MakeCommandIcon(int commandId);
QPixmap Embossed(const QPixmap& picture);
// The status bar's previous (2001), next (2002) and show (2003) buttons.
QIcon MakeStatusButtonIcon(int id);
// A row of the URL monitor.
QIcon MakeUrlIcon();
// Tray pictures by resource number (idle, busy frames, blink frames).
QIcon MakeTrayIcon(int resource);

}  // namespace velto
