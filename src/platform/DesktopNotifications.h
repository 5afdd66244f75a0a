#pragma once
// Notices through the desktop's notification service
// (org.freedesktop.Notifications): buttons for the actions, a newer notice
// of a tag replacing the older one. Where the service is missing, or does
// not answer, the tray's balloon shows title and text instead.
#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <map>
#include <string>

#include "engine/Notifications.h"

namespace velto {

class DesktopNotifications : public QObject, public INotifications {
    Q_OBJECT
public:
    // The balloon: title, text, and what a click on it does.
    using Balloon = std::function<void(const std::string&, const std::string&, std::function<void()>)>;

    // tokenGiven hears the activation token the service hands out just
    // before it tells an action of ours.
    using TokenGiven = std::function<void(const std::string&)>;

    DesktopNotifications(QDBusConnection bus, Balloon balloon, TokenGiven tokenGiven = {}, QObject* parent = nullptr);

    void Show(Notice notice) override;
    void Withdraw(const std::string& tag) override;

private Q_SLOTS:
    void OnActionInvoked(uint id, const QString& key);
    void OnActivationToken(uint id, const QString& token);
    void OnClosed(uint id, uint reason);

private:
    struct Shown {
        uint id = 0;           // the service's number for it; 0 until it answers
        bool waiting = false;  // a Notify is on its way
        bool queued = false;   // a newer notice came meanwhile
        Notice notice, next;
    };
    void Send(Shown& shown);

    QDBusConnection m_bus;
    Balloon m_balloon;
    TokenGiven m_tokenGiven;
    // The service reads the body as markup: most do, and until it has said
    // otherwise an escaped "&lt;" is better than a subject cut at a "<".
    bool m_markup = true;
    std::map<std::string, Shown> m_byTag;
};

}  // namespace velto
