#pragma once
// Telling the user: the tray's tooltip (with the accounts that could not be
// checked), the new-mail notice with Read and Show, its sound, and the one
// notice of accounts that failed for the first time.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/CheckFailures.h"
#include "engine/EngineServices.h"
#include "engine/HeaderStoreFile.h"
#include "engine/MessageStore.h"
#include "engine/Notifications.h"

namespace velto {

inline const std::string kIdleTip = "VeltoMail 98";
inline const std::string kCheckingTip = "VeltoMail 98 - Checking For New Mail";
inline const std::string kCheckFailedTag = "check-failed";
inline const std::string kNewMailTag = "new-mail";

class NewMailAnnouncer {
public:
    struct Services {
        ITray* tray = nullptr;
        INotifications* notifications = nullptr;  // else the tray's balloon
        ISound* sound = nullptr;
        IHeaderStoreFile* store = nullptr;  // whether the sound file exists
        IDockCount* dock = nullptr;
    };
    // show: the main window; read: the message of that id.
    NewMailAnnouncer(Services services, std::shared_ptr<MessageStore> messages, std::function<void()> show,
                     std::function<void(const MessageKey&)> read)
        : m_s(services), m_messages(std::move(messages)), m_show(std::move(show)), m_read(std::move(read)) {}

    // The tooltip: the text given, then the failing accounts, one a line.
    void SetTip(const std::string& tip);
    // count new messages came: tooltip, dock count, notice (the newest one)
    // and sound. markRead, when given, is the notice's "Mark as Read".
    void NewMail(int count, std::function<void()> markRead = {});
    // Some of the new messages were read here: tooltip and dock count say
    // how many are left; none left, the notice goes too.
    void Recount(int count);
    // The user looked at the list: the dock's count goes with the tray's.
    void Seen() { ShowCount(0); }
    // The accounts' results of a check: the failures named until their next
    // good check, a notice for first failures. Returns the status bar text.
    std::string Checked(const std::vector<std::string>& enabledAccounts, const std::vector<AccountCheck>& results);

private:
    void NoticeOfNewest(const std::string& title, std::function<void()> markRead);
    void NoticeOfFailures(const std::vector<std::string>& lines);
    void ShowCount(int count);

    Services m_s;
    std::shared_ptr<MessageStore> m_messages;
    std::function<void()> m_show;
    std::function<void(const MessageKey&)> m_read;
    CheckFailures m_failures;
    int m_dockCount = 0;
};

}  // namespace velto
