#include "support/RedirectTransport.h"

#include "net/RoutedTransport.h"

namespace velto::test {

RedirectTransportFactory::RedirectTransportFactory(TransportTimeLimits limits)
    : m_inner(WithRoute(MakePosixTransportFactory(limits), [this](const std::string& host, int port) {
          auto it = m_routes.find(host);
          return it == m_routes.end() ? std::pair{host, port} : std::pair{std::string("127.0.0.1"), it->second};
      })) {}

std::unique_ptr<ITransport> RedirectTransportFactory::Create() { return m_inner->Create(); }

}  // namespace velto::test
