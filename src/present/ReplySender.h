#pragma once
// Sends one reply on a thread of its own, so the windows keep painting while
// a slow or silent server is waited for. The outcome comes back on the
// user-interface thread; Cancel cuts this send's connection at once.
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/EngineServices.h"
#include "protocol/SmtpMail.h"
#include "settings/Settings.h"

namespace velto {

struct ReplyOutcome {
    bool sent = false;
    bool cancelled = false;
    std::string text;  // what the "Notification" box says
    // The server's certificate, when the send failed for want of trust in it.
    PeerCertificate untrusted;
    // A browser sign-in would mend the failure.
    bool signInNeeded = false;
};

// How the reply goes out: the account's outgoing protection and sign-in.
struct ReplySecurity {
    SmtpTls mode = SmtpTls::None;
    std::shared_ptr<ITlsLayer> tls;
    std::string pinned;  // a certificate the user chose to trust
    // The account whose sending sign-in the service gives (its password or
    // token); none: the reply goes without signing in.
    std::shared_ptr<ISignIn> signIn;
    std::shared_ptr<const AccountSettings> account;
};

class CReplySender : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const ReplyOutcome&)>;

    explicit CReplySender(QObject* parent = nullptr) : QObject(parent) {}
    // Cancels a send still running and waits for its thread.
    ~CReplySender() override;

    // False (and nothing starts) while another send runs. transports: made
    // for this send alone, so that Cancel ends no other connection.
    bool Start(const std::string& server, int port, COutgoingMessage message, const std::string& originalId,
               std::shared_ptr<ITransportFactory> transports, Done done, ReplySecurity security = {});
    void Cancel();
    bool Busy() const { return m_thread.joinable(); }

private:
    void Finish(ReplyOutcome outcome);

    std::thread m_thread;
    std::shared_ptr<ITransportFactory> m_transports;
    Done m_done;
    bool m_cancelled = false;
};

}  // namespace velto
