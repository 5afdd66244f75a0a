#include "platform/OnlineAccounts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>

#include "present/WidgetText.h"
#include "settings/Settings.h"

namespace velto {

namespace {

const QString kService = QStringLiteral("org.gnome.OnlineAccounts");
const QString kAccount = QStringLiteral("org.gnome.OnlineAccounts.Account");
const QString kOAuth2 = QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based");
constexpr int kTimeoutMs = 10000;

bool ProviderMatches(const QString& type, const std::string& provider) {
    if (provider == "Google") return type == "google";
    if (provider == "Microsoft") return type == "ms365" || type == "windows_live" || type == "exchange";
    return false;
}

}  // namespace

OnlineAccountsTokens::OnlineAccountsTokens(std::shared_ptr<ITokenSource> others, QDBusConnection bus)
    : m_others(std::move(others)), m_bus(std::move(bus)) {}

void OnlineAccountsTokens::AbortAll() {
    m_aborted = true;
    if (m_others) m_others->AbortAll();
}

void OnlineAccountsTokens::Resume() {
    m_aborted = false;
    if (m_others) m_others->Resume();
}

// Waits for the answer within the time limit, and no longer once AbortAll
// was called (from another thread).
QDBusMessage OnlineAccountsTokens::Call(const QString& path, const QString& iface, const QString& method,
                                        std::stop_token stop) {
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, path, iface, method);
    if (m_aborted || stop.stop_requested()) return call.createErrorReply(QDBusError::Other, "cancelled");
    QDBusPendingCallWatcher watcher(m_bus.asyncCall(call, kTimeoutMs));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (m_aborted || stop.stop_requested()) loop.quit();
    });
    watch.start(50);
    if (!watcher.isFinished()) loop.exec();
    return watcher.isFinished() ? watcher.reply() : call.createErrorReply(QDBusError::Other, "cancelled");
}

QString OnlineAccountsTokens::Find(const std::string& provider, const std::string& address, std::stop_token stop) {
    if (provider != "Google" && provider != "Microsoft") return {};
    const QDBusMessage reply =
        Call("/org/gnome/OnlineAccounts", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", stop);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    const QString wanted = FromUtf8(address).trimmed();
    const QDBusArgument objects = reply.arguments().at(0).value<QDBusArgument>();
    QString found;
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        objects.beginMapEntry();
        objects >> path >> interfaces;
        objects.endMapEntry();
        const QVariantMap account = interfaces.value(kAccount);
        if (found.isEmpty() && interfaces.contains(kOAuth2) &&
            ProviderMatches(account.value("ProviderType").toString(), provider) &&
            !account.value("MailDisabled").toBool() &&
            (account.value("Identity").toString().compare(wanted, Qt::CaseInsensitive) == 0 ||
             account.value("PresentationIdentity").toString().compare(wanted, Qt::CaseInsensitive) == 0))
            found = path.path();
    }
    objects.endMap();
    return found;
}

bool OnlineAccountsTokens::AccessToken(const AccountSettings& account, bool fresh, std::string& token,
                                       TokenProblem& problem, std::stop_token stop) {
    const QString path = Find(account.m_oauthProvider, account.GetEmailAddress(), stop);
    if (path.isEmpty()) {
        if (m_others) return m_others->AccessToken(account, fresh, token, problem, stop);
        problem.why = "not signed in";
        return false;
    }
    // The desktop holds this sign-in: it is mended there, not in our browser.
    problem.signInMends = false;
    // The desktop renews what it holds; asking it again is all "fresh" needs.
    Call(path, kAccount, "EnsureCredentials", stop);
    const QDBusMessage reply = Call(path, kOAuth2, "GetAccessToken", stop);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        problem.why = "GNOME Online Accounts: " + ToUtf8(reply.errorMessage()) +
                      " (sign in again in the desktop's Online Accounts settings)";
        return false;
    }
    token = ToUtf8(reply.arguments().at(0).toString());
    return !token.empty();
}

}  // namespace velto
