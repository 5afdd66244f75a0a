#include "engine/MailWorkers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_set>

#include "engine/CheckFailures.h"
#include "engine/ImapWorkers.h"
#include "protocol/PopMail.h"
#include "settings/Crc32.h"

namespace velto {

namespace {

std::string Format(const char* format, const std::string& text) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, format, text.c_str());
    return buf;
}

std::string Format(const char* format, int a, int b) {
    char buf[200];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

std::string Format(const char* format, const std::string& text, int a, int b) {
    char buf[1300];
    std::snprintf(buf, sizeof buf, format, text.c_str(), a, b);
    return buf;
}

// As the account's settings ask: in clear, POP3S or STLS. A certificate that
// failed verification goes to the view, which may ask the user about it once
// the worker is done; a worker never shows anything.
bool ConnectAccount(CPopMail& pop, const AccountSettings& account, WorkerContext& ctx) {
    const std::string server = account.GetServerName();
    const int port = account.IncomingPort();
    if (account.m_incomingSecurity == kSecurityNone) return pop.Connect(server, port);
    if (!ctx.tls) return false;
    const std::string& pin = account.m_incomingCertificate;
    const bool ok = account.m_incomingSecurity == kSecurityTls
                        ? pop.ConnectTls(server, port, *ctx.tls, pin)
                        : pop.Connect(server, port) && pop.StartTls(*ctx.tls, pin);
    if (!ok && pop.GetLastSocketError() == localerr::kCertificateUntrusted)
        ctx.view.PostUntrustedCertificate(account.GetAccountName(), pop.GetCertificate());
    return ok;
}

// The account's way in, through the one sign-in service: its password or
// its token. On failure, reason says why in plain words; the user is asked
// to sign in again where that would help, unless the check was cancelled.
bool SignIn(CPopMail& pop, const AccountSettings& account, WorkerContext& ctx, std::string& reason) {
    if (!ctx.signIn) {
        reason = "no sign-in here";
        return false;
    }
    const SignInResult result = ctx.signIn->Run(
        account, SignInDirection::Incoming,
        [&](bool oauth, const std::string& user, const std::string& secret) {
            const bool ok = oauth ? pop.LoginXOAuth2(user, secret) : pop.Login(user, secret);
            SignInTry tried;
            if (ok) tried.verdict = SignInTry::Done;
            else if (pop.GetLastSocketError() == localerr::kTokenNeedsTls) tried.verdict = SignInTry::NeedsTls;
            else if (pop.GetLastSocketError() == localerr::kTokenNotTaken) tried.verdict = SignInTry::NotTaken;
            else if (oauth ? pop.GetLastSocketError() == localerr::kTokenRefused : pop.IsConnected())
                tried.verdict = SignInTry::Refused;
            tried.why = oauth ? std::string() : CheckFailureReason(pop, CheckStage::Login);
            return tried;
        },
        ctx.output, ctx.stop);
    if (result.askUser && !ctx.cancelRequest->IsSet()) ctx.view.PostSignInExpired(account.GetAccountName());
    reason = result.reason;
    return result.ok;
}

// Connect, log in and count; on failure the account is skipped. Returns the
// message count, or -1, with reason saying why in plain words.
int OpenMailbox(CPopMail& pop, const AccountSettings& account, WorkerContext& ctx, bool getMail, std::string& reason) {
    const std::string server = account.GetServerName();
    if (!ConnectAccount(pop, account, ctx)) {
        reason = CheckFailureReason(pop, CheckStage::Connect);
        return -1;
    }
    if (getMail) ctx.view.PostProgressText(Format("Status: Connected to host %s", server));
    if (std::string why; !SignIn(pop, account, ctx, why)) {
        reason = why;
        // Also when no password was tried (the keyring did not give it).
        if (pop.WasAnswered() || pop.IsConnected()) pop.Quit();
        return -1;
    }
    if (getMail)
        ctx.view.PostProgressText(Format("Status: Connected - User %s login complete", account.GetUserName()));
    int count = 0, size = 0;
    if (!pop.GetMailboxStatus(count, size)) {
        reason = CheckFailureReason(pop, CheckStage::Mailbox);
        pop.Quit();
        return -1;
    }
    return count < 0 ? 0 : count;
}

// A cancel that cut the connection while an account was being opened (or
// kept the next one from being made): the check ends there.
bool CancelledBetweenAccounts(WorkerContext& ctx) {
    if (!ctx.cancelRequest->IsSet()) return false;
    ctx.cancelRequest->Reset();
    ctx.Finish();
    ctx.view.PostWorkerDone();
    return true;
}

// Progress for each message would cost a trip to the UI thread per message,
// more than the exchange itself on a fast server; people cannot read faster
// than this anyway. The first and the last message always show.
class ProgressGate {
public:
    bool Due(int i, int count) {
        const auto now = std::chrono::steady_clock::now();
        if (i != 1 && i != count && now - m_last < kInterval) return false;
        m_last = now;
        return true;
    }

private:
    static constexpr std::chrono::milliseconds kInterval{40};
    std::chrono::steady_clock::time_point m_last{};
};

// Polled once per message. On a cancel request the worker ends at once.
bool Cancelled(CPopMail& pop, WorkerContext& ctx) {
    if (!ctx.cancelRequest->IsSet()) return false;
    pop.Quit();
    ctx.cancelRequest->Reset();
    ctx.Finish();
    ctx.view.PostWorkerDone();
    return true;
}

// Walks a mailbox's messages by id for retrieve and delete: progress, the
// id of each, and the cancel poll. visit(i, checksum, position) returns
// true to stop the walk. A message whose id cannot be read is skipped: it
// could be any message. With the quick check the ids come in one listing.
enum class Walk { Done, Stopped, Cancelled };

template <typename Visit>
Walk WalkIds(CPopMail& pop, WorkerContext& ctx, const std::string& server, int count, Visit visit) {
    ctx.view.SendProgressStart(Format("Connected to %s", server), count * 10);
    std::vector<CPopMail::UniqueId> listing;
    const bool listed = ctx.quickCheck && count > 0 && pop.ListUniqueIds(count, listing);
    ProgressGate gate;
    for (int i = 1; i <= count; ++i) {
        const int position = 10 * i;
        if (gate.Due(i, count))
            ctx.view.SendProgressStep(Format("%s - Scanning Message %d of %d", server, i, count), position);
        std::string uid;
        const bool haveUid = listed ? (uid = listing[static_cast<std::size_t>(i - 1)].id, true) : pop.GetUniqueId(i, uid);
        if (haveUid && visit(i, CPopMail::HashUniqueId(uid), position)) return Walk::Stopped;
        if (Cancelled(pop, ctx)) return Walk::Cancelled;
    }
    return Walk::Done;
}

// One account's messages in a check or scan: the headers of those whose id
// is not known yet, stored in message order.
class AccountScan {
public:
    AccountScan(CPopMail& pop, WorkerContext& ctx, const AccountSettings& account, int count)
        : m_pop(pop), m_ctx(ctx), m_account(account), m_server(account.GetServerName()), m_count(count),
          m_getMail(ctx.kind == WorkerKind::CheckMail) {}

    // Each id asked for on its own ("UIDL n"). False when cancelled.
    bool OneAtATime() {
        for (int i = 1; i <= m_count; ++i) {
            Progress(i);
            std::string uid;
            const bool haveUid = m_pop.GetUniqueId(i, uid);
            // Without a unique id the message is known by its header text's
            // checksum, which is what the header fetch gives it; never by the
            // id of the message before it.
            if (!haveUid || !Known(CPopMail::HashUniqueId(uid))) {
                CMailHeader record;
                if (m_pop.GetHeader(i, record)) {
                    if (haveUid || !Known(record.m_uidlHash)) Store(record);
                } else {
                    m_error = true;
                }
            }
            if (Cancelled(m_pop, m_ctx)) return false;
        }
        return true;
    }

    // Whether a listed id is one to fetch: not known, and not listed before
    // under the same checksum (as when the first is stored before the second
    // is asked for).
    bool Wanted(const std::string& uid) {
        const std::uint32_t id = CPopMail::HashUniqueId(uid);
        return !Known(id) && m_chosen.insert(id).second;
    }

    // The new messages of one listing: their headers, in batches where the
    // server takes them. False when cancelled.
    bool Quick(const std::vector<CPopMail::UniqueId>& wanted) {
        bool cancelled = false;
        if (!wanted.empty()) {
            const bool pipelining = m_pop.SupportsPipelining();
            const bool all = m_pop.GetHeaders(wanted, pipelining, [&](const CPopMail::UniqueId& which, CMailHeader& record) {
                Progress(which.number);
                Store(record);
                cancelled = m_ctx.cancelRequest->IsSet();
                return !cancelled;
            });
            if (!all) m_error = true;
        }
        Progress(m_count);
        return !Cancelled(m_pop, m_ctx);
    }

    bool Failed() const { return m_error; }

private:
    // Known to this account: another account's record with the same id is
    // another message (MessageOwners says whose a record is).
    bool Known(std::uint32_t id) const {
        return m_ctx.messages->ContainsFor(id, m_ctx.owners, m_server, m_account.GetEmailAddress());
    }

    void Progress(int i) {
        if (!m_gate.Due(i, m_count)) return;
        if (m_getMail) {
            m_ctx.view.PostProgressText(Format("Status: Connected - Retrieving %d of %d headers", i, m_count));
            m_ctx.view.PostProgressAdvance(10 * (i - m_shown));
        } else {
            m_ctx.view.SendProgressStep(Format("%s - Scanning Message %d of %d", m_server, i, m_count), 10 * i);
        }
        m_shown = i;
    }

    void Store(CMailHeader& record) {
        record.SetAccountInfo(m_server, m_account.GetEmailAddress(), m_account.GetOutgoingServer());
        m_ctx.messages->AppendFresh(record);
        m_ctx.newMailFound->store(true);
        m_ctx.newCount->fetch_add(1);
    }

    CPopMail& m_pop;
    WorkerContext& m_ctx;
    const AccountSettings& m_account;
    const std::string m_server;
    const int m_count;
    const bool m_getMail;
    ProgressGate m_gate;
    int m_shown = 0;
    bool m_error = false;
    std::unordered_set<std::uint32_t> m_chosen;
};

// Check (Get Mail, with its progress window) and scan (status bar): the
// headers of every message whose id is not known yet.
void CheckOrScan(WorkerContext& ctx) {
    const bool getMail = ctx.kind == WorkerKind::CheckMail;
    CPopMail pop(ctx.output, ctx.transports);
    bool error = false;
    std::vector<AccountCheck> results;
    for (const AccountSettings& account : ctx.accounts) {
        const std::string server = account.GetServerName();
        if (getMail) ctx.view.PostProgressText(Format("Status: Connecting to host %s.. ", server));
        if (account.m_disabled) continue;
        if (account.IsImap()) {
            const ImapCheck checked = CheckImapAccount(account, ctx, getMail);
            if (checked.cancelled) {
                ctx.cancelRequest->Reset();
                ctx.Finish();
                ctx.view.PostWorkerDone();
                return;
            }
            error = error || !checked.opened || checked.error;
            results.push_back({account.GetAccountName(), checked.reason});
            continue;
        }
        std::string reason;
        const int count = OpenMailbox(pop, account, ctx, getMail, reason);
        if (count < 0) {
            if (CancelledBetweenAccounts(ctx)) return;
            error = true;
            results.push_back({account.GetAccountName(), reason});
            continue;
        }
        results.push_back({account.GetAccountName(), {}});
        if (getMail) {
            ctx.view.PostProgressRange(count * 10);
        } else {
            ctx.view.SendProgressStart(Format("Connected to %s", server), count * 10);
        }
        AccountScan scan(pop, ctx, account, count);
        std::vector<CPopMail::UniqueId> wanted;
        if (ctx.quickCheck && count > 0 &&
            pop.ListUniqueIds(count, wanted, [&](const std::string& uid) { return scan.Wanted(uid); })) {
            if (!scan.Quick(wanted)) return;
        } else if (!scan.OneAtATime()) {
            return;
        }
        error = error || scan.Failed();
        if (getMail) {
            ctx.view.PostProgressReset();
        } else {
            ctx.view.SendProgressEnd();
        }
        pop.Quit();
    }
    if (error) ctx.view.PostCheckFailed();
    ctx.view.PostAccountsChecked(std::move(results));
    ctx.Finish();
    ctx.view.PostListRefresh();
}

// The first account the record counts for (MessageOwners).
const AccountSettings* AccountFor(const std::vector<AccountSettings>& accounts, const MessageOwners& owners,
                                  const MessageKey& key) {
    for (const auto& a : accounts)
        if (owners.CountsFor(key, a)) return &a;
    return nullptr;
}

void Retrieve(WorkerContext& ctx) {
    CPopMail pop(ctx.output, ctx.transports);
    auto nothing = [&] {
        ctx.Finish();
        ctx.view.SendRetrieveDone(RetrieveResult::Nothing);
    };
    if (ctx.selected.empty()) return nothing();
    const MessageKey& key = ctx.selected.front();
    const std::uint32_t id = key.id;
    CMailHeader record;
    if (!ctx.messages->FindFirst(key, record)) return nothing();
    const AccountSettings* account = AccountFor(ctx.accounts, ctx.owners, key);
    if (!account || account->m_disabled) return nothing();
    if (account->IsImap()) {
        std::string text;
        const RetrieveResult result = ReadImapMessage(*account, key, ctx, text);
        ctx.view.PostProgressEnd();
        ctx.Finish();
        ctx.view.PostRetrieveDone(result, std::move(text));
        return;
    }
    const std::string server = account->GetServerName();
    if (!ConnectAccount(pop, *account, ctx)) return nothing();
    int count = 0, size = 0;
    if (std::string why; !SignIn(pop, *account, ctx, why) || !pop.GetMailboxStatus(count, size)) {
        pop.Quit();
        return nothing();
    }
    bool matched = false;
    std::string text;
    const Walk walk = WalkIds(pop, ctx, server, count, [&](int i, std::uint32_t c, int position) {
        if (c != id) return false;
        matched = true;
        ctx.view.SendProgressStep(Format("%s - Retrieving Message %d of %d", server, i, count), position);
        return pop.GetMessage(i, text);
    });
    if (walk == Walk::Cancelled) return;
    if (walk == Walk::Stopped) {
        pop.Quit();
        ctx.view.PostProgressEnd();
        ctx.Finish();
        ctx.view.PostRetrieveDone(RetrieveResult::Fetched, std::move(text));
        return;
    }
    ctx.view.SendProgressEnd();
    pop.Quit();
    ctx.Finish();
    ctx.view.SendRetrieveDone(matched ? RetrieveResult::Nothing : RetrieveResult::NotOnServer);
}

void Delete(WorkerContext& ctx) {
    CPopMail pop(ctx.output, ctx.transports);
    bool error = false;
    const MessageOwners& owners = ctx.owners;
    std::vector<bool> deleted(ctx.selected.size(), false);
    for (const AccountSettings& account : ctx.accounts) {
        if (account.m_disabled) continue;
        if (account.IsImap()) {
            if (!DeleteImapMessages(account, ctx, deleted)) error = true;
            ctx.view.SendProgressEnd();
            if (ctx.cancelRequest->IsSet()) break;
            continue;
        }
        const std::string server = account.GetServerName();
        std::string reason;
        const int count = OpenMailbox(pop, account, ctx, false, reason);
        if (count < 0) {
            error = true;
            continue;
        }
        const Walk walk = WalkIds(pop, ctx, server, count, [&](int i, std::uint32_t c, int position) {
            // Only this account's: another's message may have the same id.
            // A record deleted once is done: no other account deletes it again.
            for (std::size_t n = 0; n < ctx.selected.size(); ++n) {
                const MessageKey& selected = ctx.selected[n];
                if (selected.id != c || deleted[n] || !owners.CountsFor(selected, account)) continue;
                ctx.view.SendProgressStep(Format("%s - Deleting Message %d of %d", server, i, count), position);
                if (pop.DeleteMessage(i)) deleted[n] = ctx.messages->RemoveFirst(selected);
            }
            return false;
        });
        if (walk == Walk::Cancelled) return;
        ctx.view.SendProgressEnd();
        pop.Quit();
    }
    if (error) ctx.view.PostCheckFailed();
    ctx.Finish();
    ctx.view.SendDeleteDone();
}

// Mark as Read: IMAP accounts only; POP3 has no such thing to set.
void MarkRead(WorkerContext& ctx) {
    bool error = false;
    std::vector<bool> done(ctx.selected.size(), false);
    for (const AccountSettings& account : ctx.accounts) {
        if (account.m_disabled || !account.IsImap()) continue;
        if (!MarkImapRead(account, ctx, done)) error = true;
        if (ctx.cancelRequest->IsSet()) break;
    }
    ctx.view.SendProgressEnd();
    if (error) ctx.view.PostCheckFailed();
    ctx.Finish();
    ctx.view.PostMarkedRead();
}

}  // namespace

void RunMailWorker(WorkerContext& context) {
    switch (context.kind) {
    case WorkerKind::CheckMail:
    case WorkerKind::Scan:
        CheckOrScan(context);
        break;
    case WorkerKind::Retrieve:
        Retrieve(context);
        break;
    case WorkerKind::Delete:
        Delete(context);
        break;
    case WorkerKind::MarkRead:
        MarkRead(context);
        break;
    }
    // Whatever way it ended, the worker is no longer active.
    context.Finish();
}

}  // namespace velto
