#pragma once
// Push for IMAP accounts: a connection per watched folder idling there (the
// server tells it of new mail at once), a few per server at most, re-issued well
// within the servers' limits, and made again with a growing delay when it
// dies. Each watch holds its account as the settings were when it was made;
// a change of the account replaces its watches at once, and an unchanged
// account keeps them. What a watch hears it follows up on its own
// connection, with no new sign-in: the new unseen headers of its folder go
// into the message list, messages read or removed elsewhere leave it, and
// fetched tells what changed. Where it cannot say what changed (when it
// first stands: mail that came before was told to nobody; when the folder's
// UIDVALIDITY changed) it calls news, and that account is checked. A watch
// that cannot be made says why through state, and clears it once it stands
// again. All three are called on the watch's own thread.
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <stop_token>
#include <vector>

#include "engine/EngineServices.h"
#include "engine/MessageStore.h"
#include "engine/OwnedThreads.h"
#include "protocol/Transport.h"
#include "settings/Settings.h"

namespace velto {

class CImapMail;
class WatchedFolder;

// What one watch's follow-up changed in the message list.
struct WatchNews {
    std::string account, folder;
    int added = 0;    // records fetched and listed (new mail)
    int dropped = 0;  // records taken off the list
};

class ImapWatch {
public:
    struct Hooks {
        std::function<void(const std::string& account)> news;
        std::function<void(const WatchNews& news)> fetched;
        // reason: why the folder's watch cannot be made; empty once it stands.
        std::function<void(const std::string& account, const std::string& folder, const std::string& reason)> state;
    };
    // transports: a factory of the watch's own, so stopping it cuts nothing
    // else. Idle: how long one IDLE lasts before it is re-issued. messages:
    // the list the watches follow up into; none: every word is news.
    using Transports = std::function<std::shared_ptr<ITransportFactory>()>;
    ImapWatch(Transports transports, std::shared_ptr<ITlsLayer> tls, std::shared_ptr<ISignIn> signIn, Hooks hooks,
              std::chrono::milliseconds idle = std::chrono::minutes(9), std::shared_ptr<MessageStore> messages = {});
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
    // After news, on the watch's own connection; false when it must be made again.
    static bool FollowUp(One& one, WatchedFolder& watched, CImapMail& imap, std::uint32_t uidValidity);
    void End(One& one);

    Transports m_transports;
    std::shared_ptr<ITlsLayer> m_tls;
    std::shared_ptr<ISignIn> m_signIn;
    Hooks m_hooks;
    std::chrono::milliseconds m_idle;
    std::shared_ptr<MessageStore> m_messages;
    std::vector<std::shared_ptr<One>> m_watches;
    OwnedThreads m_threads;  // declared last: joined before the rest goes
};

}  // namespace velto
