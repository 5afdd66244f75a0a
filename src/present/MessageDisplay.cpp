#include "present/MessageDisplay.h"

#include <QStringDecoder>

namespace velto {

QString DisplayText(const std::string& raw) {
    QByteArray bytes(raw.data(), static_cast<qsizetype>(raw.size()));
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

std::string MessageTextFromDisplay(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n");
    bytes.replace('\n', "\r\n");
    return bytes.toStdString();
}

std::string CertificateQuestion(const std::string& account, const PeerCertificate& certificate) {
    const std::string server = certificate.host.empty() ? "The mail server" : "The mail server " + certificate.host;
    return server + " of the account \"" + account + "\" showed a certificate that could not be verified:\n" +
           certificate.problem + "\n\nSubject: " + certificate.subject + "\nIssuer: " + certificate.issuer +
           "\nValid from: " + certificate.validFrom + "\nValid until: " + certificate.validUntil +
           "\nSHA-256 fingerprint:\n" + certificate.fingerprint +
           "\n\nTrust this certificate for this account from now on? Only say Yes if you know it is your server's.";
}

}  // namespace velto
