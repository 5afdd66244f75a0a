#pragma once
// Push for IMAP accounts: a connection per watched folder idling there (the
// server tells it of new mail at once), a few per server at most, re-issued well
// within the servers' limits, and made again with a growing delay when it
// dies. Each watch holds its account as the settings were when it was made;
// a change of the account replaces its watches at once, and an unchanged
// account keeps them. What a watch hears goes to news (a check of that
// account follows), also when it first stands: mail that came before it
// stood was told to nobody. A watch that cannot be made says why through
// state, and clears it once it stands again. Both are called on the watch's
// own thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <stop_token>
#include <vector>

#include "engine/EngineServices.h"
#include "engine/OwnedThreads.h"
#include "protocol/Transport.h"
#include "settings/Settings.h"

namespace velto {

class ImapWatch {
public:
    struct Hooks {
        std::function<void(const std::string& account)> news;
        // reason: why the folder's watch cannot be made; empty once it stands.
        std::function<void(const std::string& account, const std::string& folder, const std::string& reason)> state;
    };
    // transports: a factory of the watch's own, so stopping it cuts nothing
    // else. Idle: how long one IDLE lasts before it is re-issued.
    using Transports = std::function<std::shared_ptr<ITransportFactory>()>;
    ImapWatch(Transports transports, std::shared_ptr<ITlsLayer> tls, std::shared_ptr<ISignIn> signIn, Hooks hooks,
              std::chrono::milliseconds idle = std::chrono::minutes(9));
    ~ImapWatch();

    // User-interface thread. Watches the IMAP accounts among these: a watch
    // of an account whose settings are unchanged stays, the others' are made
    // anew or end.
    void Watch(const std::vector<AccountSettings>& accounts);
    // The account was signed in again: its watches are made anew now.
    void Renew(const std::string& account);
    // The network is back, or the machine woke up: every watch is made anew
    // now (one that stood may be dead without a word), a failing one without
    // waiting out its delay.
    void Wake();
    // Every watch ends, its connection cut at once; waits at most limit for
    // their threads. False when one had not returned by then (it is still
    // owned here, and joined when this object goes).
    bool Stop(std::chrono::milliseconds limit);
    // How many watches stand (signed in and idling); for tests.
    int Standing() const;

private:
    struct One;
    static void Run(const std::shared_ptr<One>& one);
    void End(One& one);

    Transports m_transports;
    std::shared_ptr<ITlsLayer> m_tls;
    std::shared_ptr<ISignIn> m_signIn;
    Hooks m_hooks;
    std::chrono::milliseconds m_idle;
    std::vector<std::shared_ptr<One>> m_watches;
    OwnedThreads m_threads;  // declared last: joined before the rest goes
};

}  // namespace velto
