#include "engine/MailWorkers.h"

#include <chrono>
#include <cstdio>

#include "protocol/PopMail.h"
#include "settings/Crc32.h"

namespace velto {

namespace {

constexpr int kPop3Port = 110;

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

// Connect, log in and count; on failure the account is skipped. Returns the
// message count, or -1.
int OpenMailbox(CPopMail& pop, const AccountSettings& account, WorkerContext& ctx, bool getMail) {
    const std::string server = account.GetServerName();
    if (!pop.Connect(server, kPop3Port)) return -1;
    if (getMail) ctx.view.PostProgressText(Format("Status: Connected to host %s", server));
    if (!pop.Login(account.GetUserName(), account.GetUserPassword())) {
        if (pop.WasAnswered()) pop.Quit();
        return -1;
    }
    if (getMail)
        ctx.view.PostProgressText(Format("Status: Connected - User %s login complete", account.GetUserName()));
    int count = 0, size = 0;
    if (!pop.GetMailboxStatus(count, size)) {
        pop.Quit();
        return -1;
    }
    return count < 0 ? 0 : count;
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
// UIDL of each, and the cancel poll. visit(i, checksum, position) returns
// true to stop the walk. A message whose id cannot be read is skipped: it
// could be any message.
enum class Walk { Done, Stopped, Cancelled };

template <typename Visit>
Walk WalkIds(CPopMail& pop, WorkerContext& ctx, const std::string& server, int count, Visit visit) {
    ctx.view.SendProgressStart(Format("Connected to %s", server), count * 10);
    ProgressGate gate;
    for (int i = 1; i <= count; ++i) {
        const int position = 10 * i;
        if (gate.Due(i, count))
            ctx.view.SendProgressStep(Format("%s - Scanning Message %d of %d", server, i, count), position);
        std::string uid;
        if (pop.GetUniqueId(i, uid) && visit(i, Crc32::Of(uid), position)) return Walk::Stopped;
        if (Cancelled(pop, ctx)) return Walk::Cancelled;
    }
    return Walk::Done;
}

// Check (Get Mail, with its progress window) and scan (status bar): the
// headers of every message whose id is not known yet.
void CheckOrScan(WorkerContext& ctx) {
    const bool getMail = ctx.kind == WorkerKind::CheckMail;
    CPopMail pop(ctx.output, ctx.transports);
    bool error = false;
    for (const AccountSettings& account : ctx.accounts) {
        const std::string server = account.GetServerName();
        if (getMail) ctx.view.PostProgressText(Format("Status: Connecting to host %s.. ", server));
        if (account.m_disabled) continue;
        const int count = OpenMailbox(pop, account, ctx, getMail);
        if (count < 0) {
            error = true;
            continue;
        }
        if (getMail) {
            ctx.view.PostProgressRange(count * 10);
        } else {
            ctx.view.SendProgressStart(Format("Connected to %s", server), count * 10);
        }
        ProgressGate gate;
        int shown = 0;
        for (int i = 1; i <= count; ++i) {
            if (gate.Due(i, count)) {
                if (getMail) {
                    ctx.view.PostProgressText(Format("Status: Connected - Retrieving %d of %d headers", i, count));
                    ctx.view.PostProgressAdvance(10 * (i - shown));
                } else {
                    ctx.view.SendProgressStep(Format("%s - Scanning Message %d of %d", server, i, count), 10 * i);
                }
                shown = i;
            }
            std::string uid;
            const bool haveUid = pop.GetUniqueId(i, uid);
            // Without a unique id the message is known by its header text's
            // checksum, which is what the header fetch gives it; never by the
            // id of the message before it.
            if (!haveUid || !ctx.messages->Contains(Crc32::Of(uid))) {
                CMailHeader record;
                record.SetAccountInfo(server, account.GetEmailAddress(), account.GetOutgoingServer());
                if (pop.GetHeader(i, record)) {
                    if (haveUid || !ctx.messages->Contains(record.m_uidlHash)) {
                        ctx.messages->Append(record);
                        ctx.newMailFound->store(true);
                        ctx.newCount->fetch_add(1);
                    }
                } else {
                    error = true;
                }
            }
            if (Cancelled(pop, ctx)) return;
        }
        if (getMail) {
            ctx.view.PostProgressReset();
        } else {
            ctx.view.SendProgressEnd();
        }
        pop.Quit();
    }
    if (error) ctx.view.PostCheckFailed();
    ctx.Finish();
    ctx.view.PostListRefresh();
}

// The first account whose server is the record's mailbox (exact match).
const AccountSettings* AccountFor(const std::vector<AccountSettings>& accounts, const std::string& mailbox) {
    for (const auto& a : accounts)
        if (a.GetServerName() == mailbox) return &a;
    return nullptr;
}

void Retrieve(WorkerContext& ctx) {
    CPopMail pop(ctx.output, ctx.transports);
    auto nothing = [&] {
        ctx.Finish();
        ctx.view.SendRetrieveDone(RetrieveResult::Nothing);
    };
    if (ctx.selectedIds.empty()) return nothing();
    const std::uint32_t id = ctx.selectedIds.front();
    CMailHeader record;
    if (!ctx.messages->FindFirst(id, record)) return nothing();
    const AccountSettings* account = AccountFor(ctx.accounts, record.m_accountServer);
    if (!account || account->m_disabled) return nothing();
    const std::string server = account->GetServerName();
    if (!pop.Connect(server, kPop3Port)) return nothing();
    int count = 0, size = 0;
    if (!pop.Login(account->GetUserName(), account->GetUserPassword()) || !pop.GetMailboxStatus(count, size)) {
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
    for (const AccountSettings& account : ctx.accounts) {
        if (account.m_disabled) continue;
        const std::string server = account.GetServerName();
        const int count = OpenMailbox(pop, account, ctx, false);
        if (count < 0) {
            error = true;
            continue;
        }
        const Walk walk = WalkIds(pop, ctx, server, count, [&](int i, std::uint32_t c, int position) {
            for (std::uint32_t selected : ctx.selectedIds) {
                if (selected != c) continue;
                ctx.view.SendProgressStep(Format("%s - Deleting Message %d of %d", server, i, count), position);
                if (pop.DeleteMessage(i)) ctx.messages->RemoveFirst(c);
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
    }
    // Whatever way it ended, the worker is no longer active.
    context.Finish();
}

}  // namespace velto
