#pragma once
// The program's parts put together: the main frame, the engine and the
// desktop services it uses, built in the order they depend on each other
// and torn down in reverse.
#include <chrono>
#include <memory>

#include "engine/CorvaneView.h"
#include "engine/HeaderStoreFile.h"
#include "engine/OwnedThreads.h"
#include "engine/WindowLogSink.h"
#include "platform/DesktopNotifications.h"
#include "platform/LauncherEntry.h"
#include "platform/KeyringSecrets.h"
#include "platform/NmDialup.h"
#include "platform/OAuthTokens.h"
#include "platform/OnlineAccounts.h"
#include "platform/QtDesktop.h"
#include "platform/QtSound.h"
#include "platform/QtTimerHost.h"
#include "platform/QtTray.h"
#include "platform/SignIn.h"
#include "shell/MainFrame.h"

namespace velto {

class AppWiring {
public:
    AppWiring();
    AppWiring(const AppWiring&) = delete;
    AppWiring& operator=(const AppWiring&) = delete;

    CMainFrame& Frame() { return *m_frame; }
    CCorvaneView& View() { return *m_view; }
    WindowLogSink& Output() { return m_output; }
    // Another start handed over: the window comes up, raised with the
    // desktop's token when there is one.
    void Activate(const std::string& token);
    // This start's own token, once the window is shown: it comes to the
    // front and the launcher's feedback ends. A window started minimised
    // stays so.
    void Started(const std::string& token);
    // Drops the engine once its worker has stopped.
    void ReleaseView() { m_view.reset(); }
    // The end: cuts Mailbox Setup's folder listings and waits for them at
    // most limit; false when one had not returned by then (it stays owned).
    bool StopListers(std::chrono::milliseconds limit);

private:
    QtDesktop m_desktop;
    // Before the engine: its workers may still ask for tokens while it stops.
    std::shared_ptr<KeyringSecrets> m_secrets = std::make_shared<KeyringSecrets>();
    std::shared_ptr<OAuthTokenStore> m_tokens = std::make_shared<OAuthTokenStore>(m_secrets);
    // GNOME Online Accounts first, where the desktop holds the account.
    std::shared_ptr<ITokenSource> m_desktopTokens = std::make_shared<OnlineAccountsTokens>(m_tokens);
    // The one sign-in of checks, replies and the windows.
    std::shared_ptr<SignIn> m_signIn = std::make_shared<SignIn>(m_secrets, m_desktopTokens, m_tokens);
    // Mailbox Setup's folder listings; outlive the frame whose sheet starts them.
    OwnedThreads m_listers;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CCorvaneView> m_view;
    QtTray m_tray;
    DesktopNotifications m_notifications;
    LauncherEntry m_dock{QDBusConnection::sessionBus()};
    QtSound m_sound;
    QtTimerHost m_timers;
    NmDialup m_dialup;
    HeaderStoreFile m_store;
    WindowLogSink m_output;
};

}  // namespace velto
