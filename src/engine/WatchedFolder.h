#pragma once
// What one watched IMAP folder held unseen when its watch last looked, so
// that news heard on the watch's own connection is told from it: headers of
// unseen messages the list lacks are fetched over that connection and go
// into the list, and messages no longer unseen (read or removed elsewhere)
// leave it. Until the watch has looked once, or once the folder's
// UIDVALIDITY has changed, it cannot say what changed: the account is
// checked instead. Used on the watch's thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "engine/MessageStore.h"
#include "settings/Settings.h"

namespace velto {

class CImapMail;

class WatchedFolder {
public:
    struct Outcome {
        bool answered = false;      // the folder answered; else its connection is made again
        bool checkAccount = false;  // what changed cannot be told here
        int added = 0;              // records now in the list
        int dropped = 0;            // records taken off it
    };
    WatchedFolder(AccountSettings account, std::string folder);

    // The folder is open (examined) on imap with this UIDVALIDITY.
    Outcome Look(CImapMail& imap, std::uint32_t uidValidity, MessageStore& messages, const MessageOwners& owners);

private:
    AccountSettings m_account;
    std::string m_folder;
    std::optional<std::unordered_set<std::uint32_t>> m_unseen;  // ids, as last looked at
    std::uint32_t m_validity = 0;
};

}  // namespace velto
