#include "engine/CheckFailures.h"

#include <algorithm>

#include "protocol/PopMail.h"
#include "protocol/SocketErrors.h"

namespace velto {

namespace {

std::string SocketReason(int code) {
    switch (code) {
    case wsa::kTimedOut: return "the server did not answer";
    case wsa::kConnectionRefused: return "the server refused the connection";
    case wsa::kHostNotFound:
    case wsa::kTryAgain: return "the server's name was not found";
    case wsa::kNetworkDown:
    case wsa::kNetworkUnreachable:
    case wsa::kHostUnreachable:
    case wsa::kHostDown: return "the network does not reach the server";
    case 0:
    case wsa::kConnectionReset:
    case wsa::kConnectionAborted: return "the server closed the connection";
    case localerr::kCertificateUntrusted: return "the server's certificate is not trusted";
    case localerr::kTlsFailed:
    case localerr::kTlsRefused: return "no secure connection could be made";
    case localerr::kLineBreakInArgument: return "the user name or password has a line break";
    case localerr::kCancelled: return "cancelled";
    case localerr::kLoginDisabled: return "the server takes no password sign-in (LOGINDISABLED)";
    case localerr::kPasswordNeedsTls: return "a password is sent only over a secure connection";
    default: return "the connection failed";
    }
}

}  // namespace

std::string ConnectionFailureReason(int code) { return SocketReason(code); }

std::string CheckFailureReason(const CPopMail& pop, CheckStage stage) {
    // A failure of the connection drops it; a server that said no keeps it
    // open (after its greeting, the client's own "LOCAL ERROR" line tells).
    const bool refused = stage == CheckStage::Connect ? pop.GetLastResponse().rfind("LOCAL ERROR", 0) != 0
                                                      : pop.IsConnected();
    if (!refused) return SocketReason(pop.GetLastSocketError());
    switch (stage) {
    case CheckStage::Connect: return "the server refused the connection";
    case CheckStage::Login: return "the server refused the password";
    case CheckStage::Mailbox: return "the server would not open the mailbox";
    }
    return "the connection failed";
}

std::string CouldNotCheck(const std::string& account, const std::string& reason) {
    return "Could not check " + account + ": " + reason;
}

std::vector<std::string> CheckFailures::Update(const std::vector<AccountCheck>& results) {
    std::vector<std::string> firstFailures;
    for (const auto& result : results) {
        if (result.reason.empty()) {
            m_failed.erase(result.account);
            continue;
        }
        if (!m_failed.contains(result.account)) firstFailures.push_back(CouldNotCheck(result.account, result.reason));
        m_failed[result.account] = result.reason;
    }
    return firstFailures;
}

void CheckFailures::Keep(const std::vector<std::string>& accounts) {
    std::erase_if(m_failed, [&](const auto& entry) {
        return std::find(accounts.begin(), accounts.end(), entry.first) == accounts.end();
    });
}

std::vector<std::string> CheckFailures::Lines() const {
    std::vector<std::string> lines;
    for (const auto& [account, reason] : m_failed) lines.push_back(CouldNotCheck(account, reason));
    return lines;
}

}  // namespace velto
