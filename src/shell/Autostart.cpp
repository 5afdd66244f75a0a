#include "shell/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include "present/WidgetText.h"
#include "settings/AtomicFile.h"

// The desktop entry is compiled into this (static) library; its resources
// must be registered by name before use.
static void LoadDesktopResource() { Q_INIT_RESOURCE(desktop); }

namespace velto {

QString AutostartEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/veltomail.desktop");
}

bool AutostartEnabled() { return QFileInfo::exists(AutostartEntryPath()); }

QString ExecArgument(const QString& path) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:@-]+$"));
    if (plain.match(path).hasMatch()) return path;
    QString quoted;
    for (QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    // A percent sign would be taken for a field code.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return '"' + quoted + '"';
}

QString DesktopEntryFor(const QString& program) {
    LoadDesktopResource();
    QFile file(QStringLiteral(":/desktop/veltomail.desktop"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString entry = QString::fromUtf8(file.readAll());
    static const QRegularExpression exec(QStringLiteral("^Exec=.*$"), QRegularExpression::MultilineOption);
    // The Exec line's own escapes: each backslash of the value is doubled.
    QString line = QStringLiteral("Exec=") + ExecArgument(program).replace('\\', QStringLiteral("\\\\"));
    return entry.replace(exec, line);
}

bool SetAutostart(bool enabled, const QString& program, QString& error) {
    const QString path = AutostartEntryPath();
    if (!enabled) {
        if (!QFileInfo::exists(path) || QFile::remove(path)) return true;
        error = QStringLiteral("cannot remove ") + path;
        return false;
    }
    const QString entry = DesktopEntryFor(program);
    QDir().mkpath(QFileInfo(path).path());
    std::string reason;
    if (entry.isEmpty() || !WriteFileAtomically(ToFileName(path), ToUtf8(entry), AtomicWrite(), reason)) {
        error = QStringLiteral("cannot write ") + path;
        return false;
    }
    return true;
}

}  // namespace velto
