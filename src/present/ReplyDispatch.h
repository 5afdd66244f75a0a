#pragma once
// Sends the Message Center's reply: finds the route the answered message's
// account gives (server, port, protection, sign-in), shows the window that
// says a reply is going out, and puts the outcome to the user: a box, a
// new sign-in or a certificate to trust, after which it sends again.
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "present/ReplySender.h"

class QWidget;

namespace velto {

class CMailHeader;
class ITransportFactory;
struct MessageCenterPrompts;

class CReplyDispatch : public QObject {
public:
    using TransportMaker = std::function<std::shared_ptr<ITransportFactory>()>;
    // What the owning window does at the dispatch's turns.
    struct Hooks {
        // Send Reply again, with the reply as it reads by then.
        std::function<void()> sendAgain;
        // A reply started going out (true) or is over (false).
        std::function<void(bool sending)> sending;
        // The server took the reply.
        std::function<void()> sent;
    };

    // window: parent of the boxes and of the sending window. prompts: the
    // owner's, kept by reference. transports: a fresh factory for each
    // send, so Cancel ends only it.
    CReplyDispatch(QWidget* window, const MessageCenterPrompts& prompts, TransportMaker transports, Hooks hooks);
    ~CReplyDispatch() override;

    void SetTlsLayer(std::shared_ptr<ITlsLayer> tls) { m_tls = std::move(tls); }
    void SetSignIn(std::shared_ptr<ISignIn> signIn) { m_signIn = std::move(signIn); }

    // Sends the reply to the message of that header; nothing starts while
    // another reply goes or when the account has no sending server (the
    // user is told).
    void Send(const CMailHeader& answered, const QString& recipient, const QString& subject, const QString& body);

    bool Busy() const { return m_sender.Busy(); }
    // The window that says a reply is being sent; null when none is.
    QProgressDialog* SendingWindow() const { return m_sending; }

private:
    void OnDone(const ReplyOutcome& outcome);
    void SendAgain();

    QWidget* m_window;
    const MessageCenterPrompts& m_prompts;
    TransportMaker m_transports;
    Hooks m_hooks;
    std::shared_ptr<ITlsLayer> m_tls;
    std::shared_ptr<ISignIn> m_signIn;
    std::string m_sendingAccount;  // the account the reply goes out for
    QPointer<QProgressDialog> m_sending;
    CReplySender m_sender;
};

}  // namespace velto
