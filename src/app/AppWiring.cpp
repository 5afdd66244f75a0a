#include "app/AppWiring.h"

#include <cstdio>

#include "net/OpenSslLayer.h"
#include "platform/FileHiveStorage.h"
#include "net/PosixTransport.h"
#include "net/RoutedTransport.h"
#include "present/WebViews.h"
#include "shell/MailPropertySheet.h"
#include "shell/OutputWindow.h"
#include "shell/SheetPrompts.h"

namespace velto {

AppWiring::AppWiring()
    : m_frame(std::make_unique<CMainFrame>(m_desktop)),
      m_tray(QtTray::Commands{
          [this] { m_frame->ShowMainWindow(); },
          [this] { m_view->OnRefresh(); },
          [this] { m_frame->ShowAbout(); },
          [this] { m_frame->close(); },
          [this] { m_frame->SetTrayAvailable(true); },
      }),
      m_notifications(QDBusConnection::sessionBus(),
                      [this](const std::string& title, const std::string& text, std::function<void()> onClick) {
                          m_tray.ShowBalloon(title, text, std::move(onClick));
                      }),
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
    services.timers = &m_timers;
    services.dialup = &m_dialup;
    services.store = &m_store;
    services.output = &m_output;
    services.transports = WithPop3PortFromEnvironment(MakePosixTransportFactory());
    services.saveAfterEachCheck = true;
    services.tls = MakeOpenSslLayer();
    services.tokens = m_signIns;
    services.secrets = &m_secrets;
    m_view = std::make_unique<CCorvaneView>(services);

    // Where the user left the window, kept apart from the settings.
    m_frame->SetLayoutFile(QString::fromStdString(UserFolder("XDG_STATE_HOME", ".local/state") + "/VeltoMail/window.ini"));
    m_frame->SetTrayAvailable(m_tray.IsAvailable());
    m_frame->SetOptionsSheetRunner([this](QWidget* parent) { return RunMailPropertySheet(parent, &m_sound, &m_dialup); });
    m_frame->SetStopSound([this] { m_sound.Stop(); });
    m_frame->SetReplyTransports([] { return WithSmtpPortFromEnvironment(MakePosixTransportFactory()); });
    m_frame->SetReplyTls(services.tls);
    m_frame->SetReplyTokens(m_signIns);
    m_frame->SetSecretStore(&m_secrets);
    SheetPrompts::Current().readSecret = [this](const std::string& key, std::string& secret) {
        return m_secrets.Read(key, secret);
    };
    SheetPrompts::Current().keepSecret = [this](const std::string& key, const std::string& secret, std::string* why) {
        return m_secrets.Write(key, secret, why);
    };
    SheetPrompts::Current().forgetSecrets = [this](const std::string& account) {
        m_secrets.Remove(PasswordKey(account, false));
        m_secrets.Remove(PasswordKey(account, true));
        m_tokens->Forget(account);
    };
    SheetPrompts::Current().note = [this](const QString& text) { m_frame->AppendOutput(text.toStdString()); };
    m_frame->AttachView(m_view.get());

    // Mailbox Setup's "Sign In...": the browser sign-in, its tokens kept.
    SheetPrompts::Current().oauthSignIn = [tokens = m_tokens](QWidget* parent, const AccountSettings& account,
                                                              std::function<void(bool, const QString&)> done) {
        auto* signIn = new OAuthSignIn(ClientOf(account), {}, parent);
        QObject::connect(signIn, &OAuthSignIn::finished, signIn, [=](bool ok, const QString& why) {
            QString text = "The sign-in failed: " + why;
            if (ok) {
                std::string notKept;
                text = QString("Signed in as %1").arg(QString::fromStdString(account.GetEmailAddress()));
                if (!tokens->Remember(account, signIn->Tokens(), &notKept))
                    text += " (for this run only: the keyring did not take the sign-in: " +
                            QString::fromStdString(notKept) + ")";
            }
            done(ok, text);
            signIn->deleteLater();
        });
        QString error;
        if (!signIn->Start(error)) {
            done(false, "The sign-in failed: " + error);
            signIn->deleteLater();
        }
    };
}

void AppWiring::Activate() {
    m_frame->ShowMainWindow();
    std::fprintf(stderr, "VeltoMail: another start handed over; the window is shown\n");
}

}  // namespace velto
