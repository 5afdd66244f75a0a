#pragma once
// OAuth2 sign-in for mail accounts: the authorization code flow with PKCE
// (S256) and a random state, the browser sent to the provider and back to a
// listener on 127.0.0.1 on a port the system picks; the code exchanged for
// tokens; who signed in checked against the account; tokens refreshed.
// Provider addresses must be https, except on a loopback address.
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>

#include "settings/Settings.h"

class QNetworkAccessManager;
class QTcpServer;
class QTcpSocket;
class QTimer;

namespace velto {

struct OAuthClient {
    std::string clientId, clientSecret;
    OAuthEndpoints endpoints;
};

struct OAuthTokens {
    std::string access, refresh;
    std::int64_t expiresAt = 0;  // seconds since 1970; 0 when not told
};

// How long one answer of the token endpoint may take.
inline constexpr std::chrono::seconds kTokenTransferLimit{30};

// https, or http to a loopback address (127.0.0.0/8, ::1).
bool AcceptableEndpoint(const QUrl& url);

// Exchanges a refresh token for a new access token, waiting at most limit
// (any thread), and given up once abort is set. An answer without a new
// refresh token keeps the one given. False with the reason in error;
// refused tells an answer of the provider's (a revoked sign-in) from one
// that never came.
bool RefreshTokens(const OAuthClient& client, const std::string& refreshToken, OAuthTokens& out, std::string& error,
                   std::chrono::milliseconds limit = kTokenTransferLimit,
                   const std::atomic<bool>* abort = nullptr, bool* refused = nullptr, std::stop_token stop = {});

class OAuthSignIn : public QObject {
    Q_OBJECT
public:
    // Opens an address in the user's browser; false when none could.
    using OpenBrowser = std::function<bool(const QUrl&)>;
    explicit OAuthSignIn(OAuthClient client, OpenBrowser open = {}, QObject* parent = nullptr);
    ~OAuthSignIn() override;

    // The account's address: a sign-in as anyone else is refused (case
    // aside). Who signed in comes from the id token's e-mail, else from
    // userInfo (the provider's user-info address) when given. Before Start.
    void ExpectIdentity(const QString& address, const QUrl& userInfo = {});
    // How long one connection to the listener may take to ask; then it is
    // closed. A few seconds unless set.
    void SetConnectionDeadline(std::chrono::milliseconds deadline) { m_connectionDeadline = deadline; }

    // Listens and opens the browser; finished() follows, once. False (and
    // no signal) when it cannot start, with the reason in error. A browser
    // that cannot be opened does not end it: browserNotOpened() follows and
    // the listener waits for the address to be opened by hand.
    bool Start(QString& error, std::chrono::milliseconds limit = std::chrono::minutes(5));
    void Cancel();
    const OAuthTokens& Tokens() const { return m_tokens; }
    QUrl RedirectUrl() const { return m_redirect; }
    // Who signed in, as the provider said; empty when it did not say.
    QString Identity() const { return m_identity; }

signals:
    // ok: Tokens() holds them; else why it did not.
    void finished(bool ok, const QString& why);
    // No browser took the address: the user has to open it.
    void browserNotOpened(const QUrl& address);

private:
    void OnConnection();
    void Drop(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const QByteArray& request);
    void Exchange(const QString& code);
    void LearnIdentity();
    void CheckIdentity();
    void Finish(bool ok, const QString& why);

    OAuthClient m_client;
    OpenBrowser m_open;
    QString m_expected;
    QUrl m_userInfo;
    std::chrono::milliseconds m_connectionDeadline = std::chrono::seconds(5);
    QTcpServer* m_server = nullptr;
    QSet<QTcpSocket*> m_sockets;  // open connections to the listener
    QNetworkAccessManager* m_network = nullptr;
    QTimer* m_limit = nullptr;
    QString m_verifier, m_state, m_startPath;
    QUrl m_redirect;  // kept: the exchange names it after the listener closed
    // The browser goes to the listener's own address, which sends it on to
    // the provider's: no secret shows on a command line.
    QUrl m_authorization, m_browserAddress;
    OAuthTokens m_tokens;
    QString m_identity;
    bool m_done = false;
};

}  // namespace velto
