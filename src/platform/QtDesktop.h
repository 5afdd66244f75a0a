#pragma once
// The desktop as Qt reaches it: the system clipboard's change notification
// and text, the default handler for addresses (xdg-open and the like), the
// bell, and message boxes.
#include <QObject>
#include <chrono>
#include <string>

#include "platform/WindowActivation.h"
#include "shell/Desktop.h"

class QUrl;

namespace velto {

// The address in the user's default handler. Where the windowing system's
// plugin has no way to (a headless session), xdg-open, which still honours
// BROWSER. False when neither would take it.
bool OpenWithDesktop(const QUrl& url);

class QtDesktop : public QObject, public IDesktop {
    Q_OBJECT
public:
    explicit QtDesktop(QObject* parent = nullptr);

    bool ClipboardText(QString& text) override;
    void WatchClipboard(std::function<void()> changed) override;
    void Open(const QString& target) override;
    void Sound(Beep kind) override;
    void MessageBox(QWidget* owner, const QString& text) override;
    void AskYesNo(QWidget* owner, const QString& text, std::function<void(bool)> answer,
                  const QString& key = {}) override;
    void BringToFront(QWidget* window) override;
    // The desktop's token for what the user just did (a second start, a
    // notification's button, the tray): the next window brought to the
    // front uses it, once, while the desktop still honours it.
    void OfferToken(const std::string& token);
    // This start's token when no window comes to the front with it.
    void EndLaunchFeedback(QWidget* window, const std::string& token) { m_activation.EndFeedback(window, token); }

private:
    std::function<void()> m_changed;
    WindowActivation m_activation;
    std::string m_token;
    std::chrono::steady_clock::time_point m_tokenGiven;
};

}  // namespace velto
