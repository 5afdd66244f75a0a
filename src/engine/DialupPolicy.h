#pragma once
// When the engine dials and hangs up: a check may need a dial-up connection,
// and a connection the engine dialled goes down once the check is over.
#include <functional>
#include <memory>
#include <vector>

#include "engine/EngineServices.h"

namespace velto {

class DialupPolicy {
public:
    // dialup may be null: always online.
    explicit DialupPolicy(IDialup* dialup) : m_dialup(dialup) {}
    DialupPolicy(const DialupPolicy&) = delete;
    DialupPolicy& operator=(const DialupPolicy&) = delete;

    // Online check before a check: then(true) when a connection is up (or
    // dial-up is off, or the service cannot tell). With dialAllowed and no
    // connection, the dialling dialog opens and then follows its close.
    // Never waits: then runs at once, or later on the UI thread when the
    // service's first answers or the dialog are still to come. A call while
    // the dialog is open opens no second one and shares its outcome; then
    // is dropped if this policy is gone by the time it would run.
    void EnsureOnline(bool dialAllowed, std::function<void(bool online)> then);
    // The same answer without ever dialling, from what the service last said.
    bool IsOnline();
    // After a check: hangs up the "Active RAS" connection if the engine
    // dialled it and "No Disconnect" is off. With no match the next call
    // tries again.
    void HangUpAfterCheck();
    bool DialledByUs() const { return m_dialledByUs; }
    // Whether the desktop says the internet can be reached (true when it
    // cannot tell).
    bool Reachable() { return !m_dialup || m_dialup->HasConnectivity(); }

private:
    void Decide(bool dialAllowed, std::function<void(bool)> then);
    void DialClosed();

    IDialup* m_dialup;
    bool m_dialledByUs = false;
    bool m_dialling = false;
    std::vector<std::function<void(bool)>> m_waiting;  // for the open dialog's outcome
    // The service calls back later; its calls reach this policy only while
    // it lives.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

}  // namespace velto
