#include "platform/OAuthSignIn.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include "platform/QtDesktop.h"

namespace velto {

namespace {

constexpr qsizetype kMaxRequest = 16 * 1024;
constexpr qint64 kMaxTokenAnswer = 1024 * 1024;

QString RandomText(int bytes) {
    QByteArray random(bytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), bytes / 4);
    return QString::fromLatin1(random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString Challenge(const QString& verifier) {
    return QString::fromLatin1(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

QNetworkRequest TokenRequest(const OAuthClient& client) {
    QNetworkRequest request(QUrl(Q(client.endpoints.tokenUrl)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

QByteArray Form(const OAuthClient& client, QList<QPair<QString, QString>> fields) {
    fields.append({"client_id", Q(client.clientId)});
    if (!client.clientSecret.empty()) fields.append({"client_secret", Q(client.clientSecret)});
    QUrlQuery form;
    for (const auto& [name, value] : fields)
        form.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(name)), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    return form.query(QUrl::FullyEncoded).toLatin1();
}

// The token endpoint's answer; an answer without a refresh token keeps the
// one held (as Google's refresh answers do).
bool ReadTokens(QNetworkReply* reply, OAuthTokens& tokens, std::string& error) {
    const QByteArray body = reply->read(kMaxTokenAnswer);
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    if (json.contains("error")) {
        error = (json.value("error").toString() + ": " + json.value("error_description").toString()).toStdString();
        return false;
    }
    if (reply->error() != QNetworkReply::NoError) {
        error = reply->errorString().toStdString();
        return false;
    }
    const QString access = json.value("access_token").toString();
    if (access.isEmpty()) {
        error = "the provider's answer holds no access token";
        return false;
    }
    tokens.access = access.toStdString();
    if (json.contains("refresh_token")) tokens.refresh = json.value("refresh_token").toString().toStdString();
    const qint64 lifetime = json.value("expires_in").toInteger();
    tokens.expiresAt = lifetime > 0 ? QDateTime::currentSecsSinceEpoch() + lifetime : 0;
    return true;
}

bool CheckEndpoints(const OAuthClient& client, std::string& error) {
    for (const std::string& address : {client.endpoints.authorizationUrl, client.endpoints.tokenUrl}) {
        if (!AcceptableEndpoint(QUrl(Q(address)))) {
            error = "not a secure (https) address: " + address;
            return false;
        }
    }
    return true;
}

}  // namespace

bool AcceptableEndpoint(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    if (url.scheme() == "https") return true;
    return url.scheme() == "http" && QHostAddress(url.host()).isLoopback();
}

bool RefreshTokens(const OAuthClient& client, const std::string& refreshToken, OAuthTokens& out, std::string& error,
                   std::chrono::milliseconds limit, const std::atomic<bool>* abort, bool* refused) {
    if (!CheckEndpoints(client, error)) return false;
    if (abort && *abort) {
        error = "cancelled";
        return false;
    }
    QNetworkAccessManager network;
    QEventLoop loop;
    QNetworkReply* reply =
        network.post(TokenRequest(client), Form(client, {{"grant_type", "refresh_token"}, {"refresh_token", Q(refreshToken)}}));
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limit, &loop, [&] { reply->abort(); });
    QTimer watch;  // the flag is set from another thread: looked at often
    if (abort) {
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (*abort) reply->abort();
        });
        watch.start(50);
    }
    if (!reply->isFinished()) loop.exec();
    OAuthTokens tokens;
    tokens.refresh = refreshToken;
    const bool ok = ReadTokens(reply, tokens, error);
    if (!ok && abort && *abort) error = "cancelled";
    // An OAuth2 error answer (invalid_grant and the like), not a failure on the way.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (refused) *refused = !ok && (status == 400 || status == 401);
    delete reply;
    if (ok) out = tokens;
    return ok;
}

OAuthSignIn::OAuthSignIn(OAuthClient client, OpenBrowser open, QObject* parent)
    : QObject(parent), m_client(std::move(client)), m_open(std::move(open)) {
    if (!m_open) m_open = OpenWithDesktop;
}

OAuthSignIn::~OAuthSignIn() = default;

bool OAuthSignIn::Start(QString& error, std::chrono::milliseconds limit) {
    std::string why;
    if (!CheckEndpoints(m_client, why)) {
        error = Q(why);
        return false;
    }
    m_server = new QTcpServer(this);
    if (!m_server->listen(QHostAddress::LocalHost, 0)) {
        error = m_server->errorString();
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &OAuthSignIn::OnConnection);
    m_redirect = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server->serverPort()));
    m_verifier = RandomText(48);
    m_state = RandomText(16);
    QUrl address(Q(m_client.endpoints.authorizationUrl));
    QUrlQuery query(address);
    query.addQueryItem("response_type", "code");
    query.addQueryItem("client_id", QString::fromLatin1(QUrl::toPercentEncoding(Q(m_client.clientId))));
    query.addQueryItem("redirect_uri", QString::fromLatin1(QUrl::toPercentEncoding(RedirectUrl().toString())));
    query.addQueryItem("scope", QString::fromLatin1(QUrl::toPercentEncoding(Q(m_client.endpoints.scope))));
    query.addQueryItem("state", m_state);
    query.addQueryItem("code_challenge", Challenge(m_verifier));
    query.addQueryItem("code_challenge_method", "S256");
    query.addQueryItem("access_type", "offline");  // Google's way to ask for a refresh token
    address.setQuery(query);
    m_limit = new QTimer(this);
    m_limit->setSingleShot(true);
    connect(m_limit, &QTimer::timeout, this, [this] { Finish(false, "the sign-in was not finished in time"); });
    m_limit->start(limit);
    if (!m_open(address)) {
        error = "the web browser could not be opened";
        m_server->close();
        return false;
    }
    return true;
}

void OAuthSignIn::Cancel() { Finish(false, "the sign-in was cancelled"); }

void OAuthSignIn::OnConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_callbackTaken) {
            socket->abort();
            continue;
        }
        // One callback is taken, whatever it says; then nobody else is heard.
        m_callbackTaken = true;
        m_server->close();
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
            request->append(socket->read(kMaxRequest - request->size()));
            if (request->contains("\r\n\r\n") || request->size() >= kMaxRequest) {
                socket->disconnect(this);
                Answer(socket, *request);
            }
        });
    }
}

void OAuthSignIn::Answer(QTcpSocket* socket, const QByteArray& request) {
    // "GET /?code=...&state=... HTTP/1.1"
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QUrl target(QStringLiteral("http://127.0.0.1") + QString::fromLatin1(words.value(1)));
    const QUrlQuery query(target);
    QString why;
    if (words.value(0) != "GET" || target.path() != "/") {
        why = "the browser came back to an unknown address";
    } else if (query.queryItemValue("state", QUrl::FullyDecoded) != m_state) {
        why = "the answer to the sign-in did not match it (state)";
    } else if (query.hasQueryItem("error")) {
        why = "the provider refused: " + query.queryItemValue("error", QUrl::FullyDecoded);
    } else if (query.queryItemValue("code").isEmpty()) {
        why = "the provider's answer holds no code";
    }
    const QByteArray page = why.isEmpty() ? QByteArray("<html><body><p>VeltoMail: signed in. You can close this window.</p></body></html>")
                                          : QByteArray("<html><body><p>VeltoMail: the sign-in failed. You can close this window.</p></body></html>");
    socket->write((why.isEmpty() ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 400 Bad Request\r\n") +
                  QByteArray("Content-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: ") +
                  QByteArray::number(page.size()) + "\r\n\r\n" + page);
    socket->disconnectFromHost();
    if (!why.isEmpty()) return Finish(false, why);
    Exchange(query.queryItemValue("code", QUrl::FullyDecoded));
}

void OAuthSignIn::Exchange(const QString& code) {
    auto* network = new QNetworkAccessManager(this);
    QNetworkReply* reply = network->post(
        TokenRequest(m_client), Form(m_client, {{"grant_type", "authorization_code"},
                                                {"code", code},
                                                {"redirect_uri", RedirectUrl().toString()},
                                                {"code_verifier", m_verifier}}));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        std::string error;
        const bool ok = ReadTokens(reply, m_tokens, error);
        reply->deleteLater();
        Finish(ok, Q(error));
    });
}

void OAuthSignIn::Finish(bool ok, const QString& why) {
    if (m_done) return;
    m_done = true;
    if (m_limit) m_limit->stop();
    if (m_server) m_server->close();
    emit finished(ok, why);
}

}  // namespace velto
