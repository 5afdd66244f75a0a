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
        auto attempt = [&](bool oauth, const std::string& user, const std::string& secret) {
            CReplyMail mail(server, port, transports, originalId, ownId);
            if (security.mode != SmtpTls::None) mail.SetTls(security.mode, security.tls, security.pinned);
            if (oauth) mail.SetOAuthSignIn(user, secret);
            else if (!user.empty()) mail.SetSignIn(user, secret);
            SignInTry tried;
            if (mail.Connect()) {
                tried.verdict = SignInTry::Done;
                outcome.sent = mail.SendMail(message);
                outcome.text = outcome.sent ? "Message Successfully Sent" : mail.GetErrorText() + "\r\n";
                mail.Disconnect();
                return tried;
            }
            tried.why = mail.GetErrorText();
            outcome.text = tried.why + "\r\n";
            if (!mail.GetCertificate().problem.empty()) outcome.untrusted = mail.GetCertificate();
            tried.verdict = mail.TokenRefused() ? SignInTry::Refused : SignInTry::Failed;
            return tried;
        };
        if (!security.account || !security.signIn) {
            attempt(false, {}, {});
        } else {
            const SignInResult result =
                security.signIn->Run(*security.account, SignInDirection::Outgoing, attempt, nullptr);
            // Not sent for want of a sign-in: the reason in the user's words.
            if (!result.ok && outcome.untrusted.fingerprint.empty() && !outcome.sent && !result.reason.empty() &&
                outcome.text.empty())
                outcome.text = "Sign-in: " + result.reason + "\r\n";
            else if (!result.ok && result.askUser)
                outcome.text = "Sign-in: " + result.reason + "\r\n";
            outcome.signInNeeded = result.askUser;
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
