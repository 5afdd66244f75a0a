#pragma once
// When the engine dials and hangs up: a check may need a dial-up connection,
// and a connection the engine dialled goes down once the check is over.
#include "engine/EngineServices.h"

namespace velto {

class DialupPolicy {
public:
    // dialup may be null: always online.
    explicit DialupPolicy(IDialup* dialup) : m_dialup(dialup) {}

    // Online check before a check: true when a connection is up (or dial-up
    // is off, or the service cannot tell). With dialAllowed and no
    // connection, runs the dialling dialog first.
    bool EnsureOnline(bool dialAllowed);
    // The same answer without ever dialling.
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
    IDialup* m_dialup;
    bool m_dialledByUs = false;
    bool m_dialling = false;
};

}  // namespace velto
