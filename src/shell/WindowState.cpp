#include "shell/WindowState.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <array>
#include <utility>

namespace velto {

namespace {

constexpr std::array<std::pair<Qt::DockWidgetArea, const char*>, 5> kAreas{{
    {Qt::TopDockWidgetArea, "top"},
    {Qt::BottomDockWidgetArea, "bottom"},
    {Qt::LeftDockWidgetArea, "left"},
    {Qt::RightDockWidgetArea, "right"},
    {Qt::NoDockWidgetArea, "floating"},
}};

// Sizes from a file someone may have edited: only sensible ones count.
QSize ReadSize(const QSettings& file, const char* key) {
    const QSize size = file.value(key).toSize();
    return size.width() > 0 && size.height() > 0 && size.width() < 100000 && size.height() < 100000 ? size : QSize();
}

}  // namespace

bool ReadFrameLayout(const QString& path, FrameLayout& layout) {
    if (!QFileInfo::exists(path)) return false;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) return false;
    FrameLayout read;
    read.geometry = file.value("MainWindow/Geometry").toByteArray();
    read.bars = file.value("MainWindow/Bars").toByteArray();
    for (const QString& width : file.value("MainWindow/Columns").toStringList()) {
        bool ok = false;
        const int value = width.toInt(&ok);
        if (!ok || value < 0 || value > 100000) {
            read.columns.clear();
            break;
        }
        read.columns << value;
    }
    const QString area = file.value("UtilityWindow/Side").toString();
    for (const auto& [value, name] : kAreas)
        if (area == QLatin1String(name)) read.utilityArea = value;
    read.utilityAcross = ReadSize(file, "UtilityWindow/TopOrBottom");
    read.utilityAlong = ReadSize(file, "UtilityWindow/LeftOrRight");
    read.utilityFloating = ReadSize(file, "UtilityWindow/Floating");
    if (read.geometry.isEmpty() && read.columns.isEmpty() && area.isEmpty()) return false;
    layout = read;
    return true;
}

bool WriteFrameLayout(const QString& path, const FrameLayout& layout) {
    if (!QDir().mkpath(QFileInfo(path).path())) return false;
    QSettings file(path, QSettings::IniFormat);
    file.setValue("MainWindow/Geometry", layout.geometry);
    file.setValue("MainWindow/Bars", layout.bars);
    QStringList columns;
    for (int width : layout.columns) columns << QString::number(width);
    file.setValue("MainWindow/Columns", columns);
    for (const auto& [value, name] : kAreas)
        if (layout.utilityArea == value) file.setValue("UtilityWindow/Side", QLatin1String(name));
    auto writeSize = [&file](const char* key, QSize size) {
        if (size.isValid()) {
            file.setValue(key, size);
        } else {
            file.remove(key);
        }
    };
    writeSize("UtilityWindow/TopOrBottom", layout.utilityAcross);
    writeSize("UtilityWindow/LeftOrRight", layout.utilityAlong);
    writeSize("UtilityWindow/Floating", layout.utilityFloating);
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace velto
