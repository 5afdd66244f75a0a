#include "present/WidgetText.h"

#include <QFile>
#include <QStringDecoder>

namespace velto {

namespace {

QByteArray Bytes(const std::string& text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

QString FromSetting(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToSetting(const QString& text) { return text.toLocal8Bit().toStdString(); }

QString FromMessageText(const std::string& raw) {
    QByteArray bytes = Bytes(raw);
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text;
}

std::string ToMessageText(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n");
    bytes.replace('\n', "\r\n");
    return bytes.toStdString();
}

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

std::string ToUtf8(const QString& text) { return text.toStdString(); }

QString FromFileName(const std::string& path) { return QFile::decodeName(Bytes(path)); }

std::string ToFileName(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace velto
