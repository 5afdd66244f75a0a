#pragma once
// Push for IMAP accounts: a connection per watched folder idling there (the
// server tells it of new mail at once), a few per server at most, re-issued well
// within the servers' limits, and made again with a growing delay when it
// dies. What it hears goes to news (a check of that account follows); a
// watch that cannot be made says why through state, and clears it once it
// stands again. Both are called on the watch's own thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineServices.h"
#include "protocol/Transport.h"
#include "settings/Settings.h"

namespace velto {

class ImapWatch {
public:
    struct Hooks {
        std::function<void(const std::string& account)> news;
        std::function<void(const std::string& account, const std::string& reason)> state;
    };
    // transports: a factory of the watch's own, so stopping it cuts nothing
    // else. Idle: how long one IDLE lasts before it is re-issued.
    using Transports = std::function<std::shared_ptr<ITransportFactory>()>;
    ImapWatch(Transports transports, std::shared_ptr<ITlsLayer> tls, std::shared_ptr<ISignIn> signIn, Hooks hooks,
              std::chrono::milliseconds idle = std::chrono::minutes(9));
    ~ImapWatch();

    // User-interface thread. Watches the IMAP accounts among these (the
    // others' watches end).
    void Watch(const std::vector<AccountSettings>& accounts);
    // The network is back, or the machine woke up: every watch is made anew
    // now (one that stood may be dead without a word), a failing one without
    // waiting out its delay.
    void Wake();
    // Every watch ends, its connection cut at once; wait: until their
    // threads have returned (the end), else they go on their own.
    void Stop(bool wait = true);
    // How many watches stand (signed in and idling); for tests.
    int Standing() const;

private:
    struct One;
    static void Run(const std::shared_ptr<One>& one);

    Transports m_transports;
    std::shared_ptr<ITlsLayer> m_tls;
    std::shared_ptr<ISignIn> m_signIn;
    Hooks m_hooks;
    std::chrono::milliseconds m_idle;
    std::vector<std::shared_ptr<One>> m_watches;
};

}  // namespace velto
