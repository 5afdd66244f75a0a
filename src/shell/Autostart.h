#pragma once
// "Start VeltoMail when I log in": the desktop's autostart entry (XDG
// autostart, ${XDG_CONFIG_HOME:-~/.config}/autostart/veltomail.desktop).
// The entry's presence is the setting; nothing about it is kept elsewhere.
#include <QString>

namespace velto {

QString AutostartEntryPath();
bool AutostartEnabled();
// Writes the entry, starting the given program, or removes it. False, with
// the reason in error, when the file cannot be written or removed.
bool SetAutostart(bool enabled, const QString& program, QString& error);

// The program's desktop entry (the one `make install` puts in the
// applications folder) with Exec naming that program.
QString DesktopEntryFor(const QString& program);
// A path as one Exec argument: quoted, with the entry's escapes, when it
// holds anything but plain path characters.
QString ExecArgument(const QString& path);

}  // namespace velto
