#pragma once
// Connections sent somewhere else than the mail clients ask for.
//
// For the demo and for trying the program against a private server, the
// environment variable VELTOMAIL_POP3_PORT=n sends every connection to port
// 110 (POP3 in clear, the usual port of an account set up before secure
// connections) to port n of the same host instead; VELTOMAIL_SMTP_PORT=n
// does the same for connections to port 25 (replies in clear). Other ports
// an account names are left alone. Unset (or not a port number), nothing
// changes.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "protocol/Transport.h"

namespace velto {

inline constexpr const char* kPop3PortVariable = "VELTOMAIL_POP3_PORT";
inline constexpr int kPop3Port = 110;
inline constexpr const char* kSmtpPortVariable = "VELTOMAIL_SMTP_PORT";
inline constexpr int kSmtpServerPort = 25;

// Where a connection goes instead: the host and port asked for in, the host
// and port to use out.
using ConnectRoute = std::function<std::pair<std::string, int>(const std::string& host, int port)>;

// The inner factory's connections, each sent where the route says; all else
// passes through unchanged.
std::shared_ptr<ITransportFactory> WithRoute(std::shared_ptr<ITransportFactory> inner, ConnectRoute route);

// The port a value of the variable names; nothing for a missing or invalid one.
std::optional<int> ParsePortOverride(const char* value);

// Connections to port `asked` go to `port`; everything else passes unchanged.
std::shared_ptr<ITransportFactory> WithPort(std::shared_ptr<ITransportFactory> inner, int asked, int port);
inline std::shared_ptr<ITransportFactory> WithPop3Port(std::shared_ptr<ITransportFactory> inner, int port) {
    return WithPort(std::move(inner), kPop3Port, port);
}

// The factory with the environment's override applied, if any.
std::shared_ptr<ITransportFactory> WithPop3PortFromEnvironment(std::shared_ptr<ITransportFactory> inner);
std::shared_ptr<ITransportFactory> WithSmtpPortFromEnvironment(std::shared_ptr<ITransportFactory> inner);

}  // namespace velto
