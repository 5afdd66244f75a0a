#include "present/ReplySender.h"

#include <QMetaObject>

#include "present/ReplyMail.h"

namespace velto {

CReplySender::~CReplySender() {
    if (m_transports) m_transports->AbortAll();
    if (m_thread.joinable()) m_thread.join();
}

bool CReplySender::Start(const std::string& server, int port, COutgoingMessage message,
                         const std::string& originalId, std::shared_ptr<ITransportFactory> transports, Done done,
                         ReplySecurity security) {
    if (Busy()) return false;
    m_transports = std::move(transports);
    m_done = std::move(done);
    m_cancelled = false;
    const std::string ownId = CReplyMail::NewMessageId(message.m_sender);
    m_thread = std::thread([this, server, port, message = std::move(message), originalId, ownId,
                            transports = m_transports, security = std::move(security)]() mutable {
        ReplyOutcome outcome;
        // With OAuth2, a token the server refuses gets one more try with a
        // fresh one.
        for (bool fresh : {false, true}) {
            CReplyMail mail(server, port, transports, originalId, ownId);
            if (security.mode != SmtpTls::None) mail.SetTls(security.mode, security.tls, security.pinned);
            if (!security.user.empty()) mail.SetSignIn(security.user, security.password);
            if (security.oauthAccount) {
                std::string token;
                TokenProblem problem;
                if (!security.tokens || !security.tokens->AccessToken(*security.oauthAccount, fresh, token, problem)) {
                    outcome.text =
                        "Sign-in: " + (security.tokens ? problem.why : std::string("no OAuth2 sign-in here")) + "\r\n";
                    break;
                }
                mail.SetOAuthSignIn(security.oauthAccount->GetEmailAddress(), token);
            }
            if (mail.Connect()) {
                outcome.sent = mail.SendMail(message);
                outcome.text = outcome.sent ? "Message Successfully Sent" : mail.GetErrorText() + "\r\n";
                mail.Disconnect();
                break;
            }
            outcome.text = mail.GetErrorText() + "\r\n";
            if (!mail.GetCertificate().problem.empty()) outcome.untrusted = mail.GetCertificate();
            if (!mail.TokenRefused() || fresh) break;
        }
        // The object outlives the thread (its destructor joins), so the
        // queued call either runs on it or is dropped with it.
        QMetaObject::invokeMethod(this, [this, outcome] { Finish(outcome); }, Qt::QueuedConnection);
    });
    return true;
}

void CReplySender::Cancel() {
    if (!Busy()) return;
    m_cancelled = true;
    if (m_transports) m_transports->AbortAll();
}

void CReplySender::Finish(ReplyOutcome outcome) {
    if (m_thread.joinable()) m_thread.join();
    m_transports.reset();
    outcome.cancelled = m_cancelled;
    // Taken first: the callback may start the next send.
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done) done(outcome);
}

}  // namespace velto
