#pragma once
// The new-mail count on docks and task bars (GNOME's Dash to Dock, KDE's
// task manager, Plank): the Unity launcher entry signal on the session bus,
// naming the program by its desktop entry.
#include <QDBusConnection>
#include <QString>

#include "engine/EngineServices.h"

namespace velto {

class LauncherEntry : public IDockCount {
public:
    explicit LauncherEntry(QDBusConnection bus, QString desktopId = QStringLiteral("veltomail.desktop"));
    void SetCount(int count) override;

private:
    QDBusConnection m_bus;
    QString m_appUri;
};

}  // namespace velto
