#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "engine/MessageListModel.h"
#include "present/WidgetText.h"

namespace velto {

namespace {
const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";
// The key the service uses for a click on the notice itself.
const std::string kDefaultKey = "default";

QDBusMessage Call(const QString& method) { return QDBusMessage::createMethodCall(kService, kPath, kInterface, method); }
}  // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, Balloon balloon, TokenGiven tokenGiven,
                                           QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_balloon(std::move(balloon)), m_tokenGiven(std::move(tokenGiven)) {
    if (!m_bus.isConnected()) return;
    m_bus.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(OnClosed(uint, uint)));
    m_bus.connect(kService, kPath, kInterface, "ActivationToken", this, SLOT(OnActivationToken(uint, QString)));
    // Asked once; a service that reads markup needs the text escaped.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(Call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<QStringList> reply = *watcher;
        if (reply.isValid()) m_markup = reply.value().contains("body-markup");
        watcher->deleteLater();
    });
}

void DesktopNotifications::Show(Notice notice) {
    Shown& shown = m_byTag[notice.tag];
    if (shown.waiting) {
        // Its number is not known yet: send this one as its replacement
        // once it is, rather than beside it.
        shown.next = std::move(notice);
        shown.queued = true;
        return;
    }
    shown.notice = std::move(notice);
    Send(shown);
}

void DesktopNotifications::Send(Shown& shown) {
    const Notice& notice = shown.notice;
    if (!m_bus.isConnected()) {
        m_balloon(notice.title, notice.text, notice.onClick);
        return;
    }
    QStringList actions;
    if (notice.onClick) actions << FromUtf8(kDefaultKey) << "Open";
    for (const auto& action : notice.actions)
        actions << FromUtf8(action.key) << FromUtf8(action.label);
    QString body = ToDisplay(notice.text);
    if (m_markup) body = body.toHtmlEscaped();
    QVariantMap hints;
    hints["desktop-entry"] = QStringLiteral("veltomail");
    QDBusMessage call = Call("Notify");
    call << QStringLiteral("VeltoMail") << shown.id << QStringLiteral("veltomail") << ToDisplay(notice.title) << body
         << actions << hints << -1;
    shown.waiting = true;
    const std::string tag = notice.tag;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, tag] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        Shown& shown = m_byTag[tag];
        shown.waiting = false;
        if (reply.isValid()) {
            shown.id = reply.value();
        } else {
            // No service on this desktop (or a broken one): the balloon.
            shown.id = 0;
            m_balloon(shown.notice.title, shown.notice.text, shown.notice.onClick);
        }
        if (std::exchange(shown.queued, false)) {
            shown.notice = std::move(shown.next);
            Send(shown);
        }
    });
}

void DesktopNotifications::Withdraw(const std::string& tag) {
    const auto it = m_byTag.find(tag);
    if (it == m_byTag.end()) return;
    it->second.queued = false;
    if (it->second.id != 0 && m_bus.isConnected()) {
        QDBusMessage call = Call("CloseNotification");
        call << it->second.id;
        m_bus.asyncCall(call);
    }
    if (!it->second.waiting) m_byTag.erase(it);
}

void DesktopNotifications::OnActionInvoked(uint id, const QString& key) {
    for (auto& [tag, shown] : m_byTag) {
        if (shown.id != id || id == 0) continue;
        // A copy: the action may show a window, whose loop may bring
        // another notice for this tag.
        const Notice notice = shown.notice;
        if (ToUtf8(key) == kDefaultKey) {
            if (notice.onClick) notice.onClick();
            return;
        }
        for (const auto& action : notice.actions)
            if (action.key == ToUtf8(key) && action.run) action.run();
        return;
    }
}

void DesktopNotifications::OnActivationToken(uint id, const QString& token) {
    if (!m_tokenGiven || id == 0) return;
    for (const auto& [tag, shown] : m_byTag)
        if (shown.id == id) return m_tokenGiven(ToUtf8(token));
}

void DesktopNotifications::OnClosed(uint id, uint) {
    for (auto it = m_byTag.begin(); it != m_byTag.end(); ++it)
        if (it->second.id == id && id != 0 && !it->second.waiting) {
            // The next notice of this tag starts a new one.
            it->second.id = 0;
            return;
        }
}

}  // namespace velto
