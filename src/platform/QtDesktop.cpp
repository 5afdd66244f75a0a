#include "platform/QtDesktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <utility>

#include "present/Questions.h"
#include "present/WindowFit.h"

namespace velto {

bool OpenWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url) ||
           QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

QtDesktop::QtDesktop(QObject* parent) : QObject(parent) {
    // Only the clipboard proper: a mere selection with the mouse is not a copy.
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && m_changed) m_changed();
    });
}

bool QtDesktop::ClipboardText(QString& text) {
    text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    return true;
}

void QtDesktop::WatchClipboard(std::function<void()> changed) { m_changed = std::move(changed); }

void QtDesktop::Open(const QString& target) {
    const QUrl url = QUrl::fromUserInput(target.trimmed());
    if (url.isValid()) OpenWithDesktop(url);  // a failure stays silent
}

void QtDesktop::Sound(Beep) {
    // The desktop has one bell for both.
    QApplication::beep();
}

void QtDesktop::MessageBox(QWidget* owner, const QString& text) {
    Questions::Instance().Tell(owner, QStringLiteral("VeltoMail"), text);
}

void QtDesktop::AskYesNo(QWidget* owner, const QString& text, std::function<void(bool)> answer, const QString& key) {
    Questions::Instance().Ask(owner, QStringLiteral("VeltoMail"), text, std::move(answer), key);
}

void QtDesktop::OfferToken(const std::string& token) {
    if (!WindowActivation::IsToken(token)) return;
    m_token = token;
    m_tokenGiven = std::chrono::steady_clock::now();
}

void QtDesktop::BringToFront(QWidget* window) {
    // Compositors forget a token after some seconds; reading a message
    // may take a while to fetch it first.
    constexpr auto kTokenLife = std::chrono::seconds(30);
    std::string token = std::exchange(m_token, {});
    if (std::chrono::steady_clock::now() - m_tokenGiven > kTokenLife) token.clear();
    m_activation.Activate(window, token);
}

}  // namespace velto
