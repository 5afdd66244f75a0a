#include "engine/ImapWatch.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "engine/ImapWorkers.h"
#include "engine/ReconnectDelay.h"
#include "engine/WatchedFolder.h"
#include "protocol/ImapMail.h"

namespace velto {

namespace {
// Connections that idle on one server at once. Servers limit them per
// account for every client together (Gmail: 15), and a phone needs some.
constexpr int kWatchesPerServer = 4;
}  // namespace

// Everything one watch's thread uses is its own: a watch let go finishes
// without the object that started it.
struct ImapWatch::One {
    AccountSettings account;
    std::string folder;
    std::shared_ptr<ITransportFactory> transports;
    std::shared_ptr<ITlsLayer> tls;
    std::shared_ptr<ISignIn> signIn;
    Hooks hooks;
    std::chrono::milliseconds idle{0};
    std::shared_ptr<MessageStore> messages;
    std::shared_ptr<const MessageOwners> owners;  // under mutex: accounts change
    std::stop_source stopSource;  // cuts its sign-in and keyring waits
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool woken = false;
    std::atomic<bool> standing = false;
};

ImapWatch::ImapWatch(Transports transports, std::shared_ptr<ITlsLayer> tls, std::shared_ptr<ISignIn> signIn,
                     Hooks hooks, std::chrono::milliseconds idle, std::shared_ptr<MessageStore> messages)
    : m_transports(std::move(transports)),
      m_tls(std::move(tls)),
      m_signIn(std::move(signIn)),
      m_hooks(std::move(hooks)),
      m_idle(idle),
      m_messages(std::move(messages)) {}

ImapWatch::~ImapWatch() { Stop(std::chrono::milliseconds(0)); }

void ImapWatch::End(One& one) {
    {
        std::lock_guard lock(one.mutex);
        one.stop = true;
        one.wake.notify_all();
    }
    one.stopSource.request_stop();
    if (one.transports) one.transports->AbortAll();
}

void ImapWatch::Watch(const std::vector<AccountSettings>& accounts) {
    if (!m_transports) return;
    std::vector<std::shared_ptr<One>> kept, made;
    std::map<std::string, int> perServer;
    // Whose records are whose, from every account: kept watches learn it too.
    const auto owners = std::make_shared<const MessageOwners>(accounts);
    for (const AccountSettings& account : accounts) {
        if (!account.IsImap() || account.m_disabled) continue;
        // A watch per folder while the server's share lasts; the folders
        // beyond it are checked at the interval.
        for (const std::string& folder : account.ImapFolders()) {
            if (perServer[account.GetServerName()]++ >= kWatchesPerServer) break;
            auto same = std::find_if(m_watches.begin(), m_watches.end(), [&](const std::shared_ptr<One>& one) {
                return one && one->folder == folder && one->account.SameValues(account);
            });
            if (same != m_watches.end()) {
                {
                    std::lock_guard lock((*same)->mutex);
                    (*same)->owners = owners;
                }
                kept.push_back(std::move(*same));
                continue;
            }
            auto one = std::make_shared<One>();
            one->account = account;
            one->folder = folder;
            one->transports = m_transports();
            one->tls = m_tls;
            one->signIn = m_signIn;
            one->hooks = m_hooks;
            one->idle = m_idle;
            one->messages = m_messages;
            one->owners = owners;
            made.push_back(std::move(one));
        }
    }
    // The watches of changed or removed accounts end; their threads stay
    // owned here until they have returned.
    for (auto& one : m_watches)
        if (one) End(*one);
    m_watches = std::move(kept);
    for (auto& one : made) {
        m_threads.Start([one](std::stop_token) { Run(one); });
        m_watches.push_back(std::move(one));
    }
}

void ImapWatch::Renew(const std::string& account) {
    // Each account once, as its watches hold it.
    std::vector<AccountSettings> accounts;
    for (const auto& one : m_watches) {
        const std::string name = one->account.GetAccountName();
        if (std::none_of(accounts.begin(), accounts.end(), [&](const AccountSettings& a) { return a.GetAccountName() == name; }))
            accounts.push_back(one->account);
    }
    for (auto& one : m_watches) {
        if (one->account.GetAccountName() != account) continue;
        End(*one);
        one.reset();
    }
    std::erase(m_watches, nullptr);
    Watch(accounts);  // the others stay; this account's are made anew
}

void ImapWatch::Wake() {
    for (auto& one : m_watches) {
        {
            std::lock_guard lock(one->mutex);
            one->woken = true;
            one->wake.notify_all();
        }
        // A connection that stood across a sleep or a network change may be
        // dead without a word: it is made anew.
        if (one->transports) one->transports->AbortAll();
    }
}

bool ImapWatch::Stop(std::chrono::milliseconds limit) {
    for (auto& one : m_watches) End(*one);
    m_watches.clear();
    return m_threads.JoinAll(limit);
}

int ImapWatch::Standing() const {
    return static_cast<int>(std::count_if(m_watches.begin(), m_watches.end(), [](const auto& one) { return one->standing.load(); }));
}

bool ImapWatch::FollowUp(One& one, WatchedFolder& watched, CImapMail& imap, std::uint32_t uidValidity) {
    const std::string name = one.account.GetAccountName();
    std::shared_ptr<const MessageOwners> owners;
    {
        std::lock_guard lock(one.mutex);
        owners = one.owners;
    }
    if (!one.messages || !owners) {
        if (one.hooks.news) one.hooks.news(name);
        return imap.IsConnected();
    }
    const WatchedFolder::Outcome outcome = watched.Look(imap, uidValidity, *one.messages, *owners);
    if (outcome.checkAccount && one.hooks.news) one.hooks.news(name);
    if ((outcome.added || outcome.dropped) && one.hooks.fetched)
        one.hooks.fetched(WatchNews{name, one.folder, outcome.added, outcome.dropped});
    return outcome.answered;
}

void ImapWatch::Run(const std::shared_ptr<One>& shared) {
    One& one = *shared;
    const std::string name = one.account.GetAccountName();
    const std::string& folder = one.folder;
    ReconnectDelay backoff;
    WatchedFolder watched(one.account, folder);  // outlives each connection
    auto stopped = [&] {
        std::lock_guard lock(one.mutex);
        return one.stop;
    };
    // Waits before the next try; a stop ends it early, and so does a wake,
    // after which the count starts over.
    auto pause = [&](std::chrono::milliseconds delay) {
        std::unique_lock lock(one.mutex);
        one.wake.wait_for(lock, delay, [&] { return one.stop || one.woken; });
        if (std::exchange(one.woken, false)) backoff.Reset();
    };
    while (!stopped()) {
        one.transports->Resume();  // a wake cut the last connection
        CImapMail imap(nullptr, one.transports);
        std::string reason;
        ImapOpen with;
        with.tls = one.tls.get();
        with.signIn = one.signIn.get();
        with.stop = one.stopSource.get_token();
        ImapFolderState state;
        if (!OpenImap(imap, one.account, with, reason) || !imap.Examine(folder, state)) {
            if (stopped()) break;
            if (reason.empty()) reason = "the folder " + folder + " could not be opened";
            // A Cancel's cut is the user's, not the account's failure.
            if (reason != "cancelled" && one.hooks.state) one.hooks.state(name, folder, reason);
            pause(backoff.Next(ReconnectDelay::Clock::now()));
            continue;
        }
        if (!imap.Capability() || !imap.HasCapability("IDLE")) {
            // No push here: the account is checked at the interval.
            imap.Logout();
            return;
        }
        one.standing = true;
        backoff.Stood(ReconnectDelay::Clock::now());
        if (one.hooks.state) one.hooks.state(name, folder, {});
        // What came while nobody watched (or, the first time, before): told
        // from what the folder held when the watch last looked, else by a
        // check of the account.
        bool alive = FollowUp(one, watched, imap, state.uidValidity);
        while (alive) {
            ImapIdleNews news;
            alive = imap.Idle(static_cast<long>(one.idle.count()), news);
            if (stopped()) break;
            // Followed up on this connection: no sign-in, no other folder.
            if (news.exists || news.expunge || news.fetch) alive = FollowUp(one, watched, imap, state.uidValidity) && alive;
            if (news.bye) break;
            // Re-issued: servers drop an IDLE that runs too long.
        }
        one.standing = false;
        if (stopped()) break;
        if (imap.IsConnected()) imap.Logout();
        // Made again at once after a watch that stood a while; a watch that
        // keeps falling waits longer each time.
        pause(backoff.Next(ReconnectDelay::Clock::now()));
    }
    one.standing = false;
}

}  // namespace velto
