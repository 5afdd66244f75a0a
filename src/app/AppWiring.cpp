#include "app/AppWiring.h"

#include <cstdio>

#include "app/FolderListing.h"
#include "net/OpenSslLayer.h"
#include "platform/FileHiveStorage.h"
#include "platform/WindowActivation.h"
#include "net/PosixTransport.h"
#include "net/RoutedTransport.h"
#include "present/WebViews.h"
#include "present/WidgetText.h"
#include "shell/MailPropertySheet.h"
#include "shell/OutputWindow.h"

namespace velto {

AppWiring::AppWiring()
    : m_frame(std::make_unique<CMainFrame>(m_desktop)),
      m_tray(QtTray::Commands{
          // The tray host may have handed the toolkit's icon a token.
          [this] {
              m_desktop.OfferToken(WindowActivation::TakeEnvironmentToken());
              m_frame->ShowMainWindow();
          },
          [this] { m_view->OnRefresh(); },
          [this] { m_frame->ShowAbout(); },
          [this] { m_frame->close(); },
          [this] { m_frame->SetTrayAvailable(true); },
          [this] { m_frame->SetTrayAvailable(false); },
      }),
      m_notifications(QDBusConnection::sessionBus(),
                      [this](const std::string& title, const std::string& text, std::function<void()> onClick) {
                          m_tray.ShowBalloon(title, text, std::move(onClick));
                      },
                      [this](const std::string& token) { m_desktop.OfferToken(token); }),
      m_timers([this](int id) {
          if (m_view) m_view->OnTimer(id);
      }),
      m_output(m_frame.get(), [this](const std::string& text) { m_frame->AppendOutput(text); }) {
    SetWebViewsNotice([this](const std::string& text) { m_frame->AppendOutput(text); });
    m_dialup.SetDialogParent(m_frame.get());

    CCorvaneView::Services services;
    services.ui = m_frame.get();
    services.tray = &m_tray;
    services.notifications = &m_notifications;
    services.sound = &m_sound;
    services.dock = &m_dock;
    services.timers = &m_timers;
    services.dialup = &m_dialup;
    services.store = &m_store;
    services.output = &m_output;
    services.transports = WithPop3PortFromEnvironment(MakePosixTransportFactory());
    services.saveAfterEachCheck = true;
    services.tls = MakeOpenSslLayer();
    services.signIn = m_signIn;
    // Each IMAP watch on connections of its own, cut without touching a check's.
    services.watchTransports = [] { return WithPop3PortFromEnvironment(MakePosixTransportFactory()); };
    m_view = std::make_unique<CCorvaneView>(services);
    m_signIn->SetSignedInListener([this](const std::string& account) {
        if (m_view) m_view->OnSignedIn(account);
    });

    // Where the user left the window, kept apart from the settings.
    m_frame->SetLayoutFile(FromUtf8(UserFolder("XDG_STATE_HOME", ".local/state") + "/VeltoMail/window.ini"));
    m_frame->SetTrayAvailable(m_tray.IsAvailable());
    // Mailbox Setup's "Folders...": one LIST a thread, cut by StopListers.
    ImapFolderLister lister = MakeImapFolderLister(m_listers, m_signIn, services.tls, [] {
        return WithPop3PortFromEnvironment(MakePosixTransportFactory());
    });
    m_frame->SetOptionsSheetMaker([this, lister](QWidget* parent) {
        return MakeMailPropertySheet(parent, &m_sound, &m_dialup, m_signIn.get(), lister);
    });
    m_frame->SetStopSound([this] { m_sound.Stop(); });
    m_frame->SetReplyTransports([] { return WithSmtpPortFromEnvironment(MakePosixTransportFactory()); });
    m_frame->SetReplyTls(services.tls);
    m_frame->SetSignIn(m_signIn);
    m_frame->AttachView(m_view.get());
}

bool AppWiring::StopListers(std::chrono::milliseconds limit) {
    m_listers.RequestStop();
    return m_listers.JoinAll(limit);
}

void AppWiring::Activate(const std::string& token) {
    m_desktop.OfferToken(token);
    m_frame->ShowMainWindow();
    std::fprintf(stderr, "VeltoMail: another start handed over%s; the window is shown\n",
                 token.empty() ? "" : " with an activation token");
}

void AppWiring::Started(const std::string& token) {
    if (!m_frame->isVisible() || m_frame->isMinimized()) return m_desktop.EndLaunchFeedback(m_frame.get(), token);
    m_desktop.OfferToken(token);
    m_desktop.BringToFront(m_frame.get());
}

}  // namespace velto
