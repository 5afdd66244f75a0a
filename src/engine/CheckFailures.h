#pragma once
// Which accounts the last checks could not reach, and why, in plain words:
// the tray tooltip and the status bar name them until the account's next
// good check, and an account's first failure is worth one notification.
#include <map>
#include <string>
#include <vector>

namespace velto {

class CPopMail;

// One account's part of a check: reason is empty when it went well.
struct AccountCheck {
    std::string account;
    std::string reason;
};

// Where in the exchange an account failed; a "-ERR" means something else
// after the password than after the greeting.
enum class CheckStage { Connect, Login, Mailbox };

// The plain-words reason for the client's last failure at that stage.
std::string CheckFailureReason(const CPopMail& pop, CheckStage stage);
// The plain words for a connection's failure code (SocketErrors.h).
std::string ConnectionFailureReason(int code);

class CheckFailures {
public:
    // Takes one check's results; returns the "Could not check" lines of the
    // accounts that failed now and did not at their last check.
    std::vector<std::string> Update(const std::vector<AccountCheck>& results);
    // Forgets accounts that are no longer set up or checked.
    void Keep(const std::vector<std::string>& accounts);
    bool Empty() const { return m_failed.empty(); }
    // "Could not check %s: %s", one per failed account, by account name.
    std::vector<std::string> Lines() const;

private:
    std::map<std::string, std::string> m_failed;  // account -> reason
};

std::string CouldNotCheck(const std::string& account, const std::string& reason);

}  // namespace velto
