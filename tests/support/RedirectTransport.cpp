#include "support/RedirectTransport.h"

namespace velto::test {

namespace {

class RedirectTransport : public ITransport {
public:
    RedirectTransport(std::unique_ptr<ITransport> inner, const std::map<std::string, int>& routes)
        : m_inner(std::move(inner)), m_routes(routes) {}
    bool Connect(const std::string& host, int port) override {
        auto it = m_routes.find(host);
        if (it == m_routes.end()) return m_inner->Connect(host, port);
        return m_inner->Connect("127.0.0.1", it->second);
    }
    long Send(const char* data, std::size_t length) override { return m_inner->Send(data, length); }
    long Receive(char* buffer, std::size_t capacity) override { return m_inner->Receive(buffer, capacity); }
    void Close() override { m_inner->Close(); }
    int LastError() const override { return m_inner->LastError(); }

private:
    std::unique_ptr<ITransport> m_inner;
    std::map<std::string, int> m_routes;
};

}  // namespace

RedirectTransportFactory::RedirectTransportFactory(TransportTimeLimits limits)
    : m_inner(MakePosixTransportFactory(limits)) {}

std::unique_ptr<ITransport> RedirectTransportFactory::Create() {
    return std::make_unique<RedirectTransport>(m_inner->Create(), m_routes);
}

}  // namespace velto::test
