#pragma once
// The network workers' part for IMAP accounts: the watched folders' unseen
// messages listed (new headers fetched in batches, messages read or removed
// elsewhere dropped from the list), one message read without marking it
// seen, and messages deleted. Worker threads only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/MailWorkers.h"

namespace velto {

class CImapMail;

// Connected as the account's settings ask and signed in through the sign-in
// service; reason says why not. A certificate that failed verification is
// told through untrusted; a missing or revoked sign-in through expired.
struct ImapOpen {
    ITlsLayer* tls = nullptr;
    ISignIn* signIn = nullptr;
    ILogSink* log = nullptr;
    std::function<void(const PeerCertificate&)> untrusted;
    std::function<void()> expired;
    std::stop_token stop;  // the work's own cut, for the sign-in's waits
};
bool OpenImap(CImapMail& imap, const AccountSettings& account, const ImapOpen& with, std::string& reason);

// The server's folders that can be watched (one LIST), names in UTF-8, for
// Mailbox Setup to offer. Any thread but the user-interface one.
bool ListImapFolders(const AccountSettings& account, std::shared_ptr<ITransportFactory> transports,
                     const ImapOpen& with, std::vector<std::string>& folders, std::string& why);

struct ImapCheck {
    bool opened = false;     // signed in: the account was checked
    std::string reason;      // why not (or which folder failed), in plain words
    bool error = false;      // a folder or a fetch failed
    bool cancelled = false;  // the worker must end now
};
ImapCheck CheckImapAccount(const AccountSettings& account, WorkerContext& ctx, bool getMail);

// text: the message when found. NotOnServer when no watched folder holds
// it unseen any more.
RetrieveResult ReadImapMessage(const AccountSettings& account, const MessageKey& key, WorkerContext& ctx,
                               std::string& text);

// Deletes the selected records that count for the account: into the
// server's Trash where it has one, else flagged and expunged as the server
// allows; deleted marks each one done. False when the account could not be
// opened.
bool DeleteImapMessages(const AccountSettings& account, WorkerContext& ctx, std::vector<bool>& deleted);

// Sets \Seen on the selected records that count for the account, in the
// folder each was found in, and takes them off the list; one that no
// watched folder holds unseen any more (read elsewhere) goes as well. done
// marks each one handled. False when the account could not be opened.
bool MarkImapRead(const AccountSettings& account, WorkerContext& ctx, std::vector<bool>& done);

// A message's record id: its folder, the folder's UIDVALIDITY, its UID.
std::uint32_t ImapMessageHash(const std::string& folder, std::uint32_t uidValidity, std::uint32_t uid);

}  // namespace velto
