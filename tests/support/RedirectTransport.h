#pragma once
// Connections to named servers land on loopback ports instead: the engine
// always asks for port 110, the test servers listen where the system put them.
#include <map>
#include <memory>
#include <string>

#include "net/PosixTransport.h"
#include "protocol/Transport.h"

namespace velto::test {

class RedirectTransportFactory : public ITransportFactory {
public:
    explicit RedirectTransportFactory(TransportTimeLimits limits = {});
    // host -> 127.0.0.1:port
    void Route(const std::string& host, int port) { m_routes[host] = port; }
    std::unique_ptr<ITransport> Create() override;
    void AbortAll() override { m_inner->AbortAll(); }
    void Resume() override { m_inner->Resume(); }

private:
    std::shared_ptr<ITransportFactory> m_inner;
    std::map<std::string, int> m_routes;
};

}  // namespace velto::test
