#pragma once
// OAuth2 sign-in for mail accounts: the authorization code flow with PKCE
// (S256) and a random state, the browser sent to the provider and back to a
// listener on 127.0.0.1 on a port the system picks; the code exchanged for
// tokens; tokens refreshed. Provider addresses must be https, except on a
// loopback address.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "settings/Settings.h"

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

// https, or http to a loopback address (127.0.0.0/8, ::1).
bool AcceptableEndpoint(const QUrl& url);

// Exchanges a refresh token for a new access token, waiting at most limit
// (any thread), and given up once abort is set. An answer without a new
// refresh token keeps the one given. False with the reason in error;
// refused tells an answer of the provider's (a revoked sign-in) from one
// that never came.
bool RefreshTokens(const OAuthClient& client, const std::string& refreshToken, OAuthTokens& out, std::string& error,
                   std::chrono::milliseconds limit = std::chrono::seconds(30),
                   const std::atomic<bool>* abort = nullptr, bool* refused = nullptr);

class OAuthSignIn : public QObject {
    Q_OBJECT
public:
    // Opens the authorization address in the user's browser.
    using OpenBrowser = std::function<bool(const QUrl&)>;
    explicit OAuthSignIn(OAuthClient client, OpenBrowser open = {}, QObject* parent = nullptr);
    ~OAuthSignIn() override;

    // Listens and opens the browser; finished() follows, once. False (and
    // no signal) when it cannot start, with the reason in error.
    bool Start(QString& error, std::chrono::milliseconds limit = std::chrono::minutes(5));
    void Cancel();
    const OAuthTokens& Tokens() const { return m_tokens; }
    QUrl RedirectUrl() const { return m_redirect; }

signals:
    // ok: Tokens() holds them; else why it did not.
    void finished(bool ok, const QString& why);

private:
    void OnConnection();
    void Answer(QTcpSocket* socket, const QByteArray& request);
    void Exchange(const QString& code);
    void Finish(bool ok, const QString& why);

    OAuthClient m_client;
    OpenBrowser m_open;
    QTcpServer* m_server = nullptr;
    QTimer* m_limit = nullptr;
    QString m_verifier, m_state;
    QUrl m_redirect;  // kept: the exchange names it after the listener closed
    OAuthTokens m_tokens;
    bool m_callbackTaken = false;
    bool m_done = false;
};

}  // namespace velto
