#pragma once
// Blocking TCP over POSIX sockets (IPv4 and IPv6) with time limits, for the
// mail clients.
#include <chrono>
#include <memory>

#include "protocol/Transport.h"

namespace velto {

// A server that does not accept a connection, or stays silent in the middle
// of an exchange, must not hold a thread for ever.
inline constexpr std::chrono::milliseconds kConnectTimeLimit{30'000};
inline constexpr std::chrono::milliseconds kReceiveTimeLimit{60'000};
// Sending blocks only while the server does not read; same limit.
inline constexpr std::chrono::milliseconds kSendTimeLimit{60'000};

struct TransportTimeLimits {
    std::chrono::milliseconds connect = kConnectTimeLimit;
    std::chrono::milliseconds receive = kReceiveTimeLimit;
    std::chrono::milliseconds send = kSendTimeLimit;
};

std::shared_ptr<ITransportFactory> MakePosixTransportFactory(TransportTimeLimits limits = {});

// Windows Sockets code for a system error number.
int WsaCodeForErrno(int error);
// Windows Sockets code for a getaddrinfo result (systemError: errno, for
// EAI_SYSTEM).
int WsaCodeForResolverError(int error, int systemError);

}  // namespace velto
