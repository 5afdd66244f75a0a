#include "engine/ImapWatch.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "engine/ImapWorkers.h"
#include "protocol/ImapMail.h"

namespace velto {

namespace {
constexpr std::chrono::seconds kFirstDelay{1};
constexpr std::chrono::minutes kLongestDelay{5};
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
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool woken = false;
    std::atomic<bool> standing = false;
};

ImapWatch::ImapWatch(Transports transports, std::shared_ptr<ITlsLayer> tls, std::shared_ptr<ISignIn> signIn,
                     Hooks hooks, std::chrono::milliseconds idle)
    : m_transports(std::move(transports)),
      m_tls(std::move(tls)),
      m_signIn(std::move(signIn)),
      m_hooks(std::move(hooks)),
      m_idle(idle) {}

ImapWatch::~ImapWatch() { Stop(); }

void ImapWatch::Watch(const std::vector<AccountSettings>& accounts) {
    Stop(false);
    if (!m_transports) return;
    std::map<std::string, int> perServer;
    for (const AccountSettings& account : accounts) {
        if (!account.IsImap() || account.m_disabled) continue;
        // A watch per folder while the server's share lasts; the folders
        // beyond it are checked at the interval.
        for (const std::string& folder : account.ImapFolders()) {
            if (perServer[account.GetServerName()]++ >= kWatchesPerServer) break;
            auto one = std::make_shared<One>();
            one->account = account;
            one->folder = folder;
            one->transports = m_transports();
            one->tls = m_tls;
            one->signIn = m_signIn;
            one->hooks = m_hooks;
            one->idle = m_idle;
            one->thread = std::thread([one] { Run(one); });
            m_watches.push_back(std::move(one));
        }
    }
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

void ImapWatch::Stop(bool wait) {
    for (auto& one : m_watches) {
        {
            std::lock_guard lock(one->mutex);
            one->stop = true;
            one->wake.notify_all();
        }
        if (one->transports) one->transports->AbortAll();
    }
    for (auto& one : m_watches) {
        if (!one->thread.joinable()) continue;
        if (wait) one->thread.join();
        else one->thread.detach();
    }
    m_watches.clear();
}

int ImapWatch::Standing() const {
    return static_cast<int>(std::count_if(m_watches.begin(), m_watches.end(), [](const auto& one) { return one->standing.load(); }));
}

void ImapWatch::Run(const std::shared_ptr<One>& shared) {
    One& one = *shared;
    const std::string name = one.account.GetAccountName();
    const std::string& folder = one.folder;
    std::chrono::milliseconds delay = kFirstDelay;
    bool dropped = false;  // a watch stood before and fell
    auto stopped = [&] {
        std::lock_guard lock(one.mutex);
        return one.stop;
    };
    // Waits out the delay before the next try; a wake or stop ends it early.
    auto pause = [&] {
        std::unique_lock lock(one.mutex);
        one.wake.wait_for(lock, delay, [&] { return one.stop || one.woken; });
        if (std::exchange(one.woken, false)) delay = kFirstDelay;
        else delay = std::min<std::chrono::milliseconds>(delay * 2, kLongestDelay);
    };
    while (!stopped()) {
        one.transports->Resume();  // a wake cut the last connection
        CImapMail imap(nullptr, one.transports);
        std::string reason;
        ImapOpen with;
        with.tls = one.tls.get();
        with.signIn = one.signIn.get();
        ImapFolderState state;
        if (!OpenImap(imap, one.account, with, reason) || !imap.Examine(folder, state)) {
            if (stopped()) break;
            dropped = true;
            if (reason.empty()) reason = "the folder " + folder + " could not be opened";
            // A Cancel's cut is the user's, not the account's failure.
            if (reason != "cancelled" && one.hooks.state) one.hooks.state(name, reason);
            pause();
            continue;
        }
        if (!imap.Capability() || !imap.HasCapability("IDLE")) {
            // No push here: the account is checked at the interval.
            imap.Logout();
            return;
        }
        one.standing = true;
        if (one.hooks.state) one.hooks.state(name, {});
        // Mail that came while the watch was down was told to nobody.
        if (std::exchange(dropped, false) && one.hooks.news) one.hooks.news(name);
        delay = kFirstDelay;
        for (;;) {
            ImapIdleNews news;
            const bool alive = imap.Idle(static_cast<long>(one.idle.count()), news);
            if (stopped()) break;
            if (news.exists || news.expunge || news.fetch) {
                if (one.hooks.news) one.hooks.news(name);
            }
            if (!alive || news.bye) break;
            // Re-issued: servers drop an IDLE that runs too long.
        }
        one.standing = false;
        if (stopped()) break;
        if (imap.IsConnected()) imap.Logout();
        // Made again at once; only a watch that cannot be made is told.
        dropped = true;
        delay = std::chrono::milliseconds(0);
        pause();
        delay = kFirstDelay;
    }
    one.standing = false;
}

}  // namespace velto
