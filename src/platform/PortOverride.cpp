#include "platform/PortOverride.h"

#include <cstdlib>
#include <string>

namespace velto {

namespace {

class PortOverrideTransport : public ITransport {
public:
    PortOverrideTransport(std::unique_ptr<ITransport> inner, int port) : m_inner(std::move(inner)), m_port(port) {}
    bool Connect(const std::string& host, int port) override {
        return m_inner->Connect(host, port == kPop3Port ? m_port : port);
    }
    long Send(const char* data, std::size_t length) override { return m_inner->Send(data, length); }
    long Receive(char* buffer, std::size_t capacity) override { return m_inner->Receive(buffer, capacity); }
    void Close() override { m_inner->Close(); }
    int LastError() const override { return m_inner->LastError(); }

private:
    std::unique_ptr<ITransport> m_inner;
    int m_port;
};

class PortOverrideFactory : public ITransportFactory {
public:
    PortOverrideFactory(std::shared_ptr<ITransportFactory> inner, int port) : m_inner(std::move(inner)), m_port(port) {}
    std::unique_ptr<ITransport> Create() override {
        return std::make_unique<PortOverrideTransport>(m_inner->Create(), m_port);
    }

private:
    std::shared_ptr<ITransportFactory> m_inner;
    int m_port;
};

}  // namespace

std::optional<int> ParsePortOverride(const char* value) {
    if (!value || *value < '0' || *value > '9') return std::nullopt;
    char* end = nullptr;
    const long port = std::strtol(value, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return std::nullopt;
    return static_cast<int>(port);
}

std::shared_ptr<ITransportFactory> WithPop3Port(std::shared_ptr<ITransportFactory> inner, int port) {
    return std::make_shared<PortOverrideFactory>(std::move(inner), port);
}

std::shared_ptr<ITransportFactory> WithPop3PortFromEnvironment(std::shared_ptr<ITransportFactory> inner) {
    const auto port = ParsePortOverride(std::getenv(kPop3PortVariable));
    return port ? WithPop3Port(std::move(inner), *port) : inner;
}

}  // namespace velto
