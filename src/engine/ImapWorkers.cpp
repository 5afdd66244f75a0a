#include "engine/ImapWorkers.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "engine/CheckFailures.h"
#include "protocol/ImapMail.h"
#include "settings/Crc32.h"

namespace velto {

namespace {

std::uint32_t HashOf(const std::string& folder, std::uint32_t uidValidity, std::uint32_t uid) {
    return ImapMessageHash(folder, uidValidity, uid);
}

// What a worker opens its sessions with.
ImapOpen WorkerOpen(const AccountSettings& account, WorkerContext& ctx) {
    ImapOpen with;
    with.tls = ctx.tls.get();
    with.signIn = ctx.signIn.get();
    with.log = ctx.output;
    with.stop = ctx.stop;
    const std::string name = account.GetAccountName();
    with.untrusted = [&ctx, name](const PeerCertificate& certificate) { ctx.view.PostUntrustedCertificate(name, certificate); };
    with.expired = [&ctx, name] {
        if (!ctx.cancelRequest->IsSet()) ctx.view.PostSignInExpired(name);
    };
    return with;
}

bool Open(CImapMail& imap, const AccountSettings& account, WorkerContext& ctx, std::string& reason) {
    return OpenImap(imap, account, WorkerOpen(account, ctx), reason);
}

void Store(CMailHeader& record, const AccountSettings& account, WorkerContext& ctx) {
    record.SetAccountInfo(account.GetServerName(), account.GetEmailAddress(), account.GetOutgoingServer());
    // The folder's watch may have fetched it a moment ago.
    if (!ctx.messages->AppendFreshUnlessKnown(record, ctx.owners)) return;
    ctx.newMailFound->store(true);
    ctx.newCount->fetch_add(1);
}

// The selected records of the account that the open folder lists among
// uids: their UIDs, and where each stands in the selection.
struct Chosen {
    std::vector<std::uint32_t> uids;
    std::vector<std::size_t> which;
};
Chosen ChooseSelected(const std::vector<std::uint32_t>& uids, const std::string& folder, std::uint32_t uidValidity,
                      const AccountSettings& account, const WorkerContext& ctx, const std::vector<bool>& done) {
    Chosen chosen;
    for (std::uint32_t uid : uids)
        for (std::size_t n = 0; n < ctx.selected.size(); ++n)
            if (!done[n] && ctx.owners.CountsFor(ctx.selected[n], account) &&
                HashOf(folder, uidValidity, uid) == ctx.selected[n].id) {
                chosen.uids.push_back(uid);
                chosen.which.push_back(n);
            }
    return chosen;
}

bool AnyFor(const AccountSettings& account, const WorkerContext& ctx, const std::vector<bool>& done) {
    for (std::size_t n = 0; n < ctx.selected.size(); ++n)
        if (!done[n] && ctx.owners.CountsFor(ctx.selected[n], account)) return true;
    return false;
}

}  // namespace

std::uint32_t ImapMessageHash(const std::string& folder, std::uint32_t uidValidity, std::uint32_t uid) {
    return Crc32::Of(CImapMail::MessageId(folder, uidValidity, uid));
}

bool OpenImap(CImapMail& imap, const AccountSettings& account, const ImapOpen& with, std::string& reason) {
    const std::string server = account.GetServerName();
    const int port = account.IncomingPort();
    const std::string& pin = account.m_incomingCertificate;
    bool connected = false;
    if (account.m_incomingSecurity == kSecurityNone) connected = imap.Connect(server, port);
    else if (with.tls)
        connected = account.m_incomingSecurity == kSecurityTls
                        ? imap.ConnectTls(server, port, *with.tls, pin)
                        : imap.Connect(server, port) && imap.StartTls(*with.tls, pin);
    if (!connected) {
        if (imap.GetLastSocketError() == localerr::kCertificateUntrusted && with.untrusted)
            with.untrusted(imap.GetCertificate());
        reason = ConnectionFailureReason(imap.GetLastSocketError());
        return false;
    }
    if (imap.IsLoggedIn()) return true;  // PREAUTH
    if (!with.signIn) {
        reason = "no sign-in here";
        imap.Logout();
        return false;
    }
    // A password goes in clear only where the user chose no security.
    const bool allowClear = account.m_incomingSecurity == kSecurityNone;
    const SignInResult result = with.signIn->Run(
        account, SignInDirection::Incoming,
        [&](bool oauth, const std::string& user, const std::string& secret) {
            const bool ok = oauth ? imap.LoginOAuth(user, secret) : imap.Login(user, secret, allowClear);
            SignInTry tried;
            const int code = imap.GetLastSocketError();
            if (ok) tried.verdict = SignInTry::Done;
            else if (code == localerr::kTokenNeedsTls) tried.verdict = SignInTry::NeedsTls;
            else if (code == localerr::kTokenNotTaken) tried.verdict = SignInTry::NotTaken;
            else if (code == localerr::kTokenRefused || (!oauth && imap.IsConnected() && code == 0))
                tried.verdict = SignInTry::Refused;
            if (!ok && code != 0 && code != localerr::kTokenRefused) tried.why = ConnectionFailureReason(code);
            return tried;
        },
        with.log, with.stop);
    if (result.askUser && with.expired) with.expired();
    if (!result.ok) {
        reason = result.reason;
        if (imap.IsConnected()) imap.Logout();
    }
    return result.ok;
}

bool ListImapFolders(const AccountSettings& account, std::shared_ptr<ITransportFactory> transports,
                     const ImapOpen& with, std::vector<std::string>& folders, std::string& why) {
    CImapMail imap(with.log, std::move(transports));
    if (!OpenImap(imap, account, with, why)) return false;
    std::vector<ImapFolder> listed;
    const bool ok = imap.List(listed);
    if (!ok) why = "the server did not list its folders";
    for (const ImapFolder& folder : listed)
        if (folder.selectable) folders.push_back(folder.name);
    imap.Logout();
    return ok;
}

ImapCheck CheckImapAccount(const AccountSettings& account, WorkerContext& ctx, bool getMail) {
    ImapCheck out;
    CImapMail imap(ctx.output, ctx.transports);
    if (!Open(imap, account, ctx, out.reason)) {
        out.cancelled = ctx.cancelRequest->IsSet();
        return out;
    }
    out.opened = true;
    const std::string server = account.GetServerName();
    const std::string address = account.GetEmailAddress();
    const MessageOwners& owners = ctx.owners;
    std::unordered_set<std::uint32_t> unseen;
    bool complete = true;
    // What the list held before the server was asked: a record a watch adds
    // meanwhile is newer than this check's answer, and stays.
    std::unordered_set<std::uint32_t> before;
    ctx.messages->WithList([&](const std::vector<StoredHeader>& list) {
        for (const StoredHeader& record : list)
            if (owners.CountsFor(record.AccountServer(), record.AccountAddress(), server, address))
                before.insert(record.Id());
    });
    for (const std::string& folder : account.ImapFolders()) {
        ImapFolderState state;
        std::vector<std::uint32_t> uids;
        if (!imap.Examine(folder, state) || !imap.SearchUnseen(uids)) {
            complete = false;
            out.error = true;
            // Told as the account's state, in the words its watch uses, so
            // a check and the watch agree on it.
            if (out.reason.empty()) out.reason = "the folder " + folder + " could not be opened";
            if (!imap.IsConnected()) break;
            continue;
        }
        std::vector<std::uint32_t> wanted;
        for (std::uint32_t uid : uids) {
            const std::uint32_t id = HashOf(folder, state.uidValidity, uid);
            unseen.insert(id);
            if (!ctx.messages->ContainsFor(id, owners, server, address)) wanted.push_back(uid);
        }
        const int count = static_cast<int>(wanted.size());
        if (getMail) ctx.view.PostProgressRange(std::max(count, 1) * 10);
        else ctx.view.SendProgressStart("Connected to " + server, std::max(count, 1) * 10);
        int done = 0;
        const bool all = imap.FetchHeaders(wanted, [&](std::uint32_t, CMailHeader& record) {
            Store(record, account, ctx);
            ++done;
            if (getMail) ctx.view.PostProgressAdvance(10);
            return !ctx.cancelRequest->IsSet();
        });
        if (ctx.cancelRequest->IsSet()) {
            imap.Logout();
            out.cancelled = true;
            return out;
        }
        if (!all) out.error = true;
        if (getMail) ctx.view.PostProgressReset();
        else ctx.view.SendProgressEnd();
    }
    // Read or removed elsewhere: the server knows, and the list follows it.
    // Only when every folder answered: a folder that failed proves nothing.
    if (complete) {
        ctx.messages->Modify([&](std::vector<StoredHeader>& list) {
            std::erase_if(list, [&](const StoredHeader& record) {
                return owners.CountsFor(record.AccountServer(), record.AccountAddress(), server, address) &&
                       !unseen.contains(record.Id()) && before.contains(record.Id());
            });
        });
    }
    imap.Logout();
    return out;
}

RetrieveResult ReadImapMessage(const AccountSettings& account, const MessageKey& key, WorkerContext& ctx,
                               std::string& text) {
    CImapMail imap(ctx.output, ctx.transports);
    std::string reason;
    if (!Open(imap, account, ctx, reason)) return RetrieveResult::Nothing;
    RetrieveResult result = RetrieveResult::NotOnServer;
    for (const std::string& folder : account.ImapFolders()) {
        ImapFolderState state;
        std::vector<std::uint32_t> uids;
        if (!imap.Examine(folder, state) || !imap.SearchUnseen(uids)) {
            if (!imap.IsConnected()) return RetrieveResult::Nothing;
            result = RetrieveResult::Nothing;  // not every folder could be asked
            continue;
        }
        const auto it = std::find_if(uids.begin(), uids.end(), [&](std::uint32_t uid) {
            return HashOf(folder, state.uidValidity, uid) == key.id;
        });
        if (it == uids.end()) continue;
        ctx.view.SendProgressStep("Retrieving the message from " + account.GetServerName(), 0);
        result = imap.FetchMessage(*it, text) ? RetrieveResult::Fetched : RetrieveResult::Nothing;
        break;
    }
    imap.Logout();
    return result;
}

bool DeleteImapMessages(const AccountSettings& account, WorkerContext& ctx, std::vector<bool>& deleted) {
    if (!AnyFor(account, ctx, deleted)) return true;
    CImapMail imap(ctx.output, ctx.transports);
    std::string reason;
    if (!Open(imap, account, ctx, reason)) return false;
    std::optional<std::string> trash;  // asked for once, when there is something to delete
    bool shown = false;                // the status bar says what is done
    for (const std::string& folder : account.ImapFolders()) {
        ImapFolderState state;
        std::vector<std::uint32_t> uids;
        if (!imap.Examine(folder, state) || !imap.SearchUnseen(uids)) {
            if (!imap.IsConnected()) return false;
            continue;
        }
        const Chosen chosen = ChooseSelected(uids, folder, state.uidValidity, account, ctx, deleted);
        if (chosen.uids.empty()) continue;
        if (!shown) ctx.view.SendProgressStep("Deleting on " + account.GetServerName(), 0);
        shown = true;
        if (!trash) {
            std::string name;
            trash = imap.FindTrash(name) ? name : std::string();
            if (!imap.IsConnected()) return false;
        }
        bool gone = false;
        // Mail deleted in the Trash itself is gone for good.
        const bool done = !trash->empty() && *trash != folder ? imap.MoveTo(chosen.uids, *trash, gone)
                                                             : imap.Delete(chosen.uids, false, gone);
        if (!done) continue;
        // In the Trash, or flagged \Deleted at least: gone for the user either way.
        for (std::size_t n : chosen.which) deleted[n] = ctx.messages->RemoveFirst(ctx.selected[n]);
    }
    imap.Logout();
    return true;
}

bool MarkImapRead(const AccountSettings& account, WorkerContext& ctx, std::vector<bool>& done) {
    if (!AnyFor(account, ctx, done)) return true;
    CImapMail imap(ctx.output, ctx.transports);
    std::string reason;
    if (!Open(imap, account, ctx, reason)) return false;
    std::unordered_set<std::uint32_t> unseen;
    bool complete = true;
    bool shown = false;  // the status bar says what is done
    for (const std::string& folder : account.ImapFolders()) {
        ImapFolderState state;
        std::vector<std::uint32_t> uids;
        if (!imap.Examine(folder, state) || !imap.SearchUnseen(uids)) {
            if (!imap.IsConnected()) return false;
            complete = false;
            continue;
        }
        for (std::uint32_t uid : uids) unseen.insert(HashOf(folder, state.uidValidity, uid));
        const Chosen chosen = ChooseSelected(uids, folder, state.uidValidity, account, ctx, done);
        if (chosen.uids.empty()) continue;
        if (!shown) ctx.view.SendProgressStep("Marking read on " + account.GetServerName(), 0);
        shown = true;
        if (!imap.MarkSeen(chosen.uids)) {
            complete = false;
            if (!imap.IsConnected()) return false;
            continue;
        }
        for (std::size_t n : chosen.which) {
            ctx.messages->RemoveFirst(ctx.selected[n]);
            done[n] = true;
        }
    }
    // Not unseen in any folder: read elsewhere already, and off the list too.
    // Only when every folder answered: a folder that failed proves nothing.
    if (complete)
        for (std::size_t n = 0; n < ctx.selected.size(); ++n)
            if (!done[n] && ctx.owners.CountsFor(ctx.selected[n], account) && !unseen.contains(ctx.selected[n].id)) {
                ctx.messages->RemoveFirst(ctx.selected[n]);
                done[n] = true;
            }
    imap.Logout();
    return true;
}

}  // namespace velto
