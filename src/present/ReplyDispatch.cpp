#include "present/ReplyDispatch.h"

#include "present/MessageCenter.h"
#include "present/MessageDisplay.h"
#include "present/WidgetText.h"
#include "protocol/MailHeader.h"
#include "settings/RegistryDatabase.h"
#include "settings/Settings.h"

namespace velto {

namespace {

const QString kAppCaption = QStringLiteral("VeltoMail");
const QString kNotification = QStringLiteral("Notification");

}  // namespace

CReplyDispatch::CReplyDispatch(QWidget* window, const MessageCenterPrompts& prompts, TransportMaker transports,
                               Hooks hooks)
    : m_window(window), m_prompts(prompts), m_transports(std::move(transports)), m_hooks(std::move(hooks)) {}

CReplyDispatch::~CReplyDispatch() = default;

void CReplyDispatch::Send(const CMailHeader& answered, const QString& recipient, const QString& subject,
                          const QString& body) {
    if (m_sender.Busy()) return;
    // The account the message came from decides the server, port,
    // protection and sign-in: its sending server as it is now, not as it
    // was when the message came (the user may have left that one).
    const SendingRoute route = FindSendingRoute(answered.m_accountServer, answered.m_accountAddress);
    const std::string server = route.account.empty() ? answered.m_accountOutgoing : route.server;
    if (server.empty()) {
        m_prompts.messageBox(m_window, kAppCaption, QStringLiteral("Outgoing Server address not setup in Properties!"));
        return;
    }
    COutgoingMessage message;
    message.m_sender = answered.m_accountAddress;
    message.AddRecipient(ToMessageText(recipient), "");
    message.m_subject = ToMessageText(subject);
    message.m_body = ToMessageText(body);

    ReplySecurity security;
    security.mode = route.security == kSecurityTls        ? SmtpTls::Implicit
                    : route.security == kSecurityStartTls ? SmtpTls::StartTls
                                                          : SmtpTls::None;
    if (!route.account.empty()) {
        security.tls = m_tls;
        security.signIn = m_signIn;
        // The worker asks the sign-in service for the password or token.
        security.account = std::make_shared<const AccountSettings>(keys::Join(keys::kAccounts, route.account));
    }
    security.pinned = route.pinned;
    m_sendingAccount = route.account;
    if (!m_sender.Start(server, route.port, std::move(message), answered.m_messageId,
                        m_transports ? m_transports() : nullptr, [this](const ReplyOutcome& o) { OnDone(o); },
                        std::move(security)))
        return;
    if (m_hooks.sending) m_hooks.sending(true);
    // Modal to the window only; everything keeps painting, and Cancel
    // cuts the connection.
    m_sending = new QProgressDialog(QStringLiteral("Sending the reply through %1...").arg(FromUtf8(server)),
                                    QStringLiteral("Cancel"), 0, 0, m_window);
    m_sending->setWindowTitle(QStringLiteral("Send Reply"));
    m_sending->setWindowModality(Qt::WindowModal);
    m_sending->setMinimumDuration(0);
    m_sending->setAutoClose(false);
    m_sending->setAutoReset(false);
    connect(m_sending, &QProgressDialog::canceled, this, [this] { m_sender.Cancel(); });
    m_sending->open();
}

void CReplyDispatch::SendAgain() {
    if (m_hooks.sendAgain) m_hooks.sendAgain();
}

void CReplyDispatch::OnDone(const ReplyOutcome& outcome) {
    if (m_sending) {
        m_sending->disconnect(this);
        m_sending->deleteLater();
        m_sending = nullptr;
    }
    if (m_hooks.sending) m_hooks.sending(false);
    // The user who cancelled knows it did not go; a reply that went anyway
    // is still reported.
    if (outcome.cancelled && !outcome.sent) return;
    if (outcome.sent && m_hooks.sent) m_hooks.sent();
    const std::string account = m_sendingAccount;
    QPointer<CReplyDispatch> self(this);
    // A missing or revoked sign-in is put to the user; signed in, the reply
    // goes again.
    if (outcome.signInNeeded && !account.empty() && m_prompts.signInAgain) {
        m_prompts.messageBox(m_window, kNotification, FromUtf8(outcome.text));
        m_prompts.signInAgain(account, [self](bool signedIn) {
            if (self && signedIn) self->SendAgain();
        });
        return;
    }
    // The user sent it: a certificate that failed is put to the user in one
    // question that names the server, and a yes trusts exactly that one for
    // this account's sending and sends again at once.
    if (outcome.untrusted.fingerprint.empty() || account.empty() || !m_prompts.askYesNo) {
        m_prompts.messageBox(m_window, kNotification, FromUtf8(outcome.text));
        return;
    }
    const std::string fingerprint = outcome.untrusted.fingerprint;
    m_prompts.askYesNo(m_window, FromUtf8(CertificateQuestion(account, outcome.untrusted)),
                       [self, account, fingerprint](bool yes) {
                           if (self && yes && TrustCertificate(account, CertificateUse::Outgoing, fingerprint))
                               self->SendAgain();
                       });
}

}  // namespace velto
