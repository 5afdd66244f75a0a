#pragma once
// Accounts always reach their POP3 server on port 110. For the demo and for
// trying the program against a private server, the environment variable
// VELTOMAIL_POP3_PORT=n sends every such connection to port n of the same
// host instead. Unset (or not a port number), nothing changes.
#include <memory>
#include <optional>

#include "protocol/Transport.h"

namespace velto {

inline constexpr const char* kPop3PortVariable = "VELTOMAIL_POP3_PORT";
inline constexpr int kPop3Port = 110;

// The port a value of the variable names; nothing for a missing or invalid one.
std::optional<int> ParsePortOverride(const char* value);

// Connections to port 110 go to `port`; everything else passes unchanged.
std::shared_ptr<ITransportFactory> WithPop3Port(std::shared_ptr<ITransportFactory> inner, int port);

// The factory with the environment's override applied, if any.
std::shared_ptr<ITransportFactory> WithPop3PortFromEnvironment(std::shared_ptr<ITransportFactory> inner);

}  // namespace velto
