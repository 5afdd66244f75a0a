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
#include <algorithm>

#include "platform/QtDesktop.h"

namespace velto {

namespace {

constexpr qsizetype kMaxRequest = 16 * 1024;
constexpr qint64 kMaxTokenAnswer = 1024 * 1024;
constexpr double kMaxLifetime = 366.0 * 24 * 3600;
// Connections to the listener served at once; more are closed at once, so
// that nobody can hold it up with silent ones.
constexpr qsizetype kMaxOpenConnections = 8;
// Set on a reply that was cut: why, for its reader.
constexpr char kCutReason[] = "veltoCutReason";
constexpr char kTooLarge[] = "the provider's answer is too large (over 1 MiB)";

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

void Cut(QNetworkReply* reply, const char* why) {
    if (reply->property(kCutReason).isValid() || reply->isFinished()) return;
    reply->setProperty(kCutReason, QString::fromLatin1(why));
    reply->abort();
}

// An answer of the provider's is held in memory whole: one larger than any
// token answer is cut as soon as it says so or goes past it, and one that
// trickles is cut at the limit.
void Bound(QNetworkReply* reply, std::chrono::milliseconds limit) {
    reply->setReadBufferSize(kMaxTokenAnswer + 1);
    auto check = [reply](qint64 size) {
        if (size > kMaxTokenAnswer) Cut(reply, kTooLarge);
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, check] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) check(length.toLongLong());
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, check] { check(reply->bytesAvailable()); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [check](qint64 received, qint64 total) { check(std::max(received, total)); });
    QTimer::singleShot(limit, reply, [reply] { Cut(reply, "the provider did not answer in time"); });
}

// A lifetime in seconds, a number or a numeric string; kept to a year, so
// that no later sum overflows.
qint64 Lifetime(const QJsonValue& value) {
    bool ok = true;
    const double seconds = value.isString() ? value.toString().toDouble(&ok) : value.toDouble();
    if (!ok || !(seconds > 0)) return 0;
    return static_cast<qint64>(std::min(seconds, kMaxLifetime));
}

// The token endpoint's answer; an answer without a refresh token (or with an
// empty one) keeps the one held, as Google's refresh answers do.
bool ReadTokens(QNetworkReply* reply, OAuthTokens& tokens, std::string& error, QJsonObject* answer = nullptr) {
    if (const QVariant cut = reply->property(kCutReason); cut.isValid()) {
        error = cut.toString().toStdString();
        return false;
    }
    const QJsonObject json = QJsonDocument::fromJson(reply->read(kMaxTokenAnswer)).object();
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
    if (const QString refresh = json.value("refresh_token").toString(); !refresh.isEmpty())
        tokens.refresh = refresh.toStdString();
    const qint64 lifetime = Lifetime(json.value("expires_in"));
    tokens.expiresAt = lifetime > 0 ? QDateTime::currentSecsSinceEpoch() + lifetime : 0;
    if (answer) *answer = json;
    return true;
}

// The e-mail claim of an id token. Its signature is not checked: the token
// came straight from the token endpoint, over TLS.
QString EmailOfIdToken(const QString& idToken) {
    const QStringList parts = idToken.split('.');
    if (parts.size() < 2) return {};
    const QByteArray payload = QByteArray::fromBase64(
        parts[1].toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    const QJsonObject claims = QJsonDocument::fromJson(payload).object();
    // Microsoft's tokens may name the mailbox only as the user's sign-in name.
    const QString email = claims.value("email").toString();
    const QString name = claims.value("preferred_username").toString();
    return !email.isEmpty() ? email : name.contains('@') ? name : QString();
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

QByteArray Page(const QByteArray& status, const QByteArray& text, const QByteArray& headers = {}) {
    const QByteArray page = "<html><body><p>VeltoMail: " + text + "</p></body></html>";
    return "HTTP/1.1 " + status + "\r\n" + headers +
           "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\n"
           "Content-Length: " +
           QByteArray::number(page.size()) + "\r\n\r\n" + page;
}

}  // namespace

bool AcceptableEndpoint(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    if (url.scheme() == "https") return true;
    return url.scheme() == "http" && QHostAddress(url.host()).isLoopback();
}

bool RefreshTokens(const OAuthClient& client, const std::string& refreshToken, OAuthTokens& out, std::string& error,
                   std::chrono::milliseconds limit, const std::atomic<bool>* abort, bool* refused,
                   std::stop_token stop) {
    if (!CheckEndpoints(client, error)) return false;
    auto cut = [&] { return (abort && *abort) || stop.stop_requested(); };
    if (cut()) {
        error = "cancelled";
        return false;
    }
    QNetworkAccessManager network;
    QEventLoop loop;
    QNetworkReply* reply =
        network.post(TokenRequest(client), Form(client, {{"grant_type", "refresh_token"}, {"refresh_token", Q(refreshToken)}}));
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    Bound(reply, limit);
    QTimer watch;  // the cut comes from another thread: looked at often
    if (abort || stop.stop_possible()) {
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (cut()) Cut(reply, "cancelled");
        });
        watch.start(50);
    }
    if (!reply->isFinished()) loop.exec();
    OAuthTokens tokens;
    tokens.refresh = refreshToken;
    const bool ok = ReadTokens(reply, tokens, error);
    if (!ok && cut()) error = "cancelled";
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

void OAuthSignIn::ExpectIdentity(const QString& address, const QUrl& userInfo) {
    m_expected = address.trimmed();
    m_userInfo = userInfo;
}

bool OAuthSignIn::Start(QString& error, std::chrono::milliseconds limit) {
    if (Q(m_client.clientId).trimmed().isEmpty()) {
        error = "no client id: enter the client id your provider gave you";
        return false;
    }
    std::string why;
    if (!CheckEndpoints(m_client, why)) {
        error = Q(why);
        return false;
    }
    if (!m_userInfo.isEmpty() && !AcceptableEndpoint(m_userInfo)) {
        error = "not a secure (https) address: " + m_userInfo.toString();
        return false;
    }
    m_server = new QTcpServer(this);
    if (!m_server->listen(QHostAddress::LocalHost, 0)) {
        error = m_server->errorString();
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &OAuthSignIn::OnConnection);
    m_network = new QNetworkAccessManager(this);
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort());
    m_redirect = QUrl(origin + "/");
    m_verifier = RandomText(48);
    m_state = RandomText(16);
    // The browser's command line is readable by every user: it carries only
    // this path, and the listener sends the browser on to the provider.
    m_startPath = "/" + RandomText(24);
    m_browserAddress = QUrl(origin + m_startPath);
    m_authorization = QUrl(Q(m_client.endpoints.authorizationUrl));
    QUrlQuery query(m_authorization);
    query.addQueryItem("response_type", "code");
    query.addQueryItem("client_id", QString::fromLatin1(QUrl::toPercentEncoding(Q(m_client.clientId))));
    query.addQueryItem("redirect_uri", QString::fromLatin1(QUrl::toPercentEncoding(RedirectUrl().toString())));
    query.addQueryItem("scope", QString::fromLatin1(QUrl::toPercentEncoding(Q(m_client.endpoints.scope))));
    query.addQueryItem("state", m_state);
    query.addQueryItem("code_challenge", Challenge(m_verifier));
    query.addQueryItem("code_challenge_method", "S256");
    query.addQueryItem("access_type", "offline");  // Google's way to ask for a refresh token
    m_authorization.setQuery(query);
    m_limit = new QTimer(this);
    m_limit->setSingleShot(true);
    connect(m_limit, &QTimer::timeout, this, [this] { Finish(false, "the sign-in was not finished in time"); });
    m_limit->start(limit);
    if (!m_open(m_browserAddress)) {
        // The listener waits on: the user can open the address by hand. Told
        // later, so that a caller connecting after Start hears it too.
        QMetaObject::invokeMethod(
            this, [this] { if (!m_done) emit browserNotOpened(m_browserAddress); }, Qt::QueuedConnection);
    }
    return true;
}

void OAuthSignIn::Cancel() { Finish(false, "the sign-in was cancelled"); }

void OAuthSignIn::OnConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (m_sockets.size() >= kMaxOpenConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Each connection has a few seconds to ask; whatever it asks, the
        // listener waits on for the provider's answer to this sign-in.
        m_sockets.insert(socket);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        QTimer::singleShot(m_connectionDeadline, socket, [this, socket] { Drop(socket); });
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
            if (!m_sockets.contains(socket)) return;
            request->append(socket->read(kMaxRequest - request->size()));
            if (request->contains("\r\n\r\n") || request->size() >= kMaxRequest) Answer(socket, *request);
        });
    }
}

void OAuthSignIn::Drop(QTcpSocket* socket) {
    if (!m_sockets.remove(socket)) return;
    socket->abort();
    socket->deleteLater();
}

void OAuthSignIn::Answer(QTcpSocket* socket, const QByteArray& request) {
    // Answered: it closes once the page is written, and no longer counts.
    m_sockets.remove(socket);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto reply = [socket](const QByteArray& page) {
        socket->write(page);
        socket->disconnectFromHost();
    };
    // "GET /?code=...&state=... HTTP/1.1"
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QUrl target(QStringLiteral("http://127.0.0.1") + QString::fromLatin1(words.value(1)));
    const QUrlQuery query(target);
    const bool get = words.size() == 3 && words[0] == "GET";
    if (get && !m_startPath.isEmpty() && target.path() == m_startPath) {
        m_startPath.clear();  // once: whoever asks again is not sent on
        return reply(Page("302 Found", "on to the sign-in.", "Location: " + m_authorization.toEncoded() + "\r\n"));
    }
    if (!get || target.path() != "/" || query.queryItemValue("state", QUrl::FullyDecoded) != m_state)
        return reply(Page("400 Bad Request", "this is not the answer to the sign-in."));
    // The provider's answer to this sign-in: nobody else is heard now.
    m_server->close();
    for (QTcpSocket* other : QSet<QTcpSocket*>(m_sockets)) Drop(other);
    QString why;
    if (query.hasQueryItem("error")) {
        why = "the provider refused: " + query.queryItemValue("error", QUrl::FullyDecoded);
    } else if (query.queryItemValue("code").isEmpty()) {
        why = "the provider's answer holds no code";
    }
    reply(why.isEmpty() ? Page("200 OK", "signed in. You can close this window.")
                        : Page("400 Bad Request", "the sign-in failed. You can close this window."));
    if (!why.isEmpty()) return Finish(false, why);
    Exchange(query.queryItemValue("code", QUrl::FullyDecoded));
}

void OAuthSignIn::Exchange(const QString& code) {
    QNetworkReply* reply = m_network->post(
        TokenRequest(m_client), Form(m_client, {{"grant_type", "authorization_code"},
                                                {"code", code},
                                                {"redirect_uri", RedirectUrl().toString()},
                                                {"code_verifier", m_verifier}}));
    Bound(reply, kTokenTransferLimit);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (m_done) return;
        std::string error;
        QJsonObject answer;
        if (!ReadTokens(reply, m_tokens, error, &answer)) return Finish(false, Q(error));
        m_identity = EmailOfIdToken(answer.value("id_token").toString());
        if (m_identity.isEmpty() && !m_userInfo.isEmpty()) return LearnIdentity();
        CheckIdentity();
    });
}

void OAuthSignIn::LearnIdentity() {
    QNetworkRequest request(m_userInfo);
    request.setRawHeader("Authorization", "Bearer " + QByteArray::fromStdString(m_tokens.access));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    Bound(reply, kTokenTransferLimit);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (m_done) return;
        // An answer without an e-mail (the scope may not cover it) says
        // nothing of who signed in.
        if (!reply->property(kCutReason).isValid() && reply->error() == QNetworkReply::NoError)
            m_identity = QJsonDocument::fromJson(reply->read(kMaxTokenAnswer)).object().value("email").toString();
        CheckIdentity();
    });
}

void OAuthSignIn::CheckIdentity() {
    // A provider that does not say who signed in leaves nothing to check.
    if (!m_expected.isEmpty() && !m_identity.isEmpty() && m_identity.compare(m_expected, Qt::CaseInsensitive) != 0)
        return Finish(false, QString("signed in as %1, not as the account's address %2").arg(m_identity, m_expected));
    Finish(true, {});
}

void OAuthSignIn::Finish(bool ok, const QString& why) {
    if (m_done) return;
    m_done = true;
    if (!ok) m_tokens = {};  // nothing of a refused sign-in is kept
    if (m_limit) m_limit->stop();
    if (m_server) m_server->close();
    for (QTcpSocket* socket : QSet<QTcpSocket*>(m_sockets)) Drop(socket);
    emit finished(ok, why);
}

}  // namespace velto
