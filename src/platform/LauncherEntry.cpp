#include "platform/LauncherEntry.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace velto {

LauncherEntry::LauncherEntry(QDBusConnection bus, QString desktopId)
    : m_bus(std::move(bus)), m_appUri(QStringLiteral("application://") + desktopId) {}

void LauncherEntry::SetCount(int count) {
    // Docks listen on any path; the count's type is fixed by them (int64).
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/org/veltomail/VeltoMail/LauncherEntry"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    const QVariantMap properties{{QStringLiteral("count"), QVariant::fromValue<qint64>(count)},
                                 {QStringLiteral("count-visible"), count > 0}};
    update << m_appUri << properties;
    // Without a session bus there is no dock to tell.
    if (m_bus.isConnected()) m_bus.send(update);
}

}  // namespace velto
