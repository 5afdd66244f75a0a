#include "net/RoutedTransport.h"

#include <cstdlib>

namespace velto {

namespace {

class RoutedTransport : public ITransport {
public:
    RoutedTransport(std::unique_ptr<ITransport> inner, const ConnectRoute& route)
        : m_inner(std::move(inner)), m_route(route) {}
    bool Connect(const std::string& host, int port) override {
        const auto [toHost, toPort] = m_route(host, port);
        return m_inner->Connect(toHost, toPort);
    }
    long Send(const char* data, std::size_t length) override { return m_inner->Send(data, length); }
    long Receive(char* buffer, std::size_t capacity) override { return m_inner->Receive(buffer, capacity); }
    void Close() override { m_inner->Close(); }
    int LastError() const override { return m_inner->LastError(); }

private:
    std::unique_ptr<ITransport> m_inner;
    ConnectRoute m_route;
};

class RoutedFactory : public ITransportFactory {
public:
    RoutedFactory(std::shared_ptr<ITransportFactory> inner, ConnectRoute route)
        : m_inner(std::move(inner)), m_route(std::move(route)) {}
    std::unique_ptr<ITransport> Create() override {
        return std::make_unique<RoutedTransport>(m_inner->Create(), m_route);
    }
    void AbortAll() override { m_inner->AbortAll(); }
    void Resume() override { m_inner->Resume(); }

private:
    std::shared_ptr<ITransportFactory> m_inner;
    ConnectRoute m_route;
};

}  // namespace

std::shared_ptr<ITransportFactory> WithRoute(std::shared_ptr<ITransportFactory> inner, ConnectRoute route) {
    return std::make_shared<RoutedFactory>(std::move(inner), std::move(route));
}

std::optional<int> ParsePortOverride(const char* value) {
    if (!value || *value < '0' || *value > '9') return std::nullopt;
    char* end = nullptr;
    const long port = std::strtol(value, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return std::nullopt;
    return static_cast<int>(port);
}

std::shared_ptr<ITransportFactory> WithPort(std::shared_ptr<ITransportFactory> inner, int asked, int port) {
    return WithRoute(std::move(inner), [asked, port](const std::string& host, int wanted) {
        return std::pair{host, wanted == asked ? port : wanted};
    });
}

namespace {

std::shared_ptr<ITransportFactory> WithPortFromEnvironment(std::shared_ptr<ITransportFactory> inner,
                                                           const char* variable, int asked) {
    const auto port = ParsePortOverride(std::getenv(variable));
    return port ? WithPort(std::move(inner), asked, *port) : inner;
}

}  // namespace

std::shared_ptr<ITransportFactory> WithPop3PortFromEnvironment(std::shared_ptr<ITransportFactory> inner) {
    return WithPortFromEnvironment(std::move(inner), kPop3PortVariable, kPop3Port);
}

std::shared_ptr<ITransportFactory> WithSmtpPortFromEnvironment(std::shared_ptr<ITransportFactory> inner) {
    return WithPortFromEnvironment(std::move(inner), kSmtpPortVariable, kSmtpServerPort);
}

}  // namespace velto
